#pragma once
// Every request to the device cloud, and the token refresh that keeps the
// stored credentials usable. Nothing is cached: each operation reads the token
// file again.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "cloud/token_file.h"
#include "http/http_client.h"

namespace tavorin::cloud {

// How long a refresh waits for another run's refresh to end, unless the caller
// says otherwise: longer than one request may take with the default time-outs.
inline constexpr std::chrono::milliseconds kRefreshLockWait = std::chrono::seconds(90);

class CloudClient {
 public:
  // apiRoot is the scheme and host every path is appended to, such as
  // "https://eu-api.example.com". A refresh locks tokenFile + ".lock", waiting
  // up to lockWait for it.
  CloudClient(http::HttpClientFactory newHttpClient, std::string apiRoot,
              std::filesystem::path tokenFile = kTokenFileName, std::chrono::milliseconds lockWait = kRefreshLockWait);

  // POSTs body to path with token as bearer, on a fresh HTTP client, and
  // returns the response body whatever the HTTP status.
  [[nodiscard]] std::string CloudRequest(std::string_view path, std::string_view token, std::string_view body) const;

  [[nodiscard]] std::string ReadToken(std::string_view tokenType) const;

  // An access token to use instead of rejectedAt, which the cloud has just
  // refused. Runs hold the token file's lock for this, one at a time. When the
  // stored access token is no longer rejectedAt, another run has refreshed
  // meanwhile, and the stored one is returned without a request. Otherwise the
  // stored refresh token is traded for a new pair, which is saved and whose
  // access token is returned; empty text, with the file untouched, when the
  // answer carries no access token. A pair without a refresh token keeps the
  // stored one. Throws before anything is sent when the lock cannot be had or
  // the token file's directory cannot take a new file.
  [[nodiscard]] std::string RefreshToken(std::string_view rejectedAt) const;

  // The cloud's status text for the device. A rejected access token is
  // refreshed and the query repeated once; empty text when that refresh fails.
  [[nodiscard]] std::string GetDeviceStatus(std::string_view deviceId) const;

 private:
  http::HttpClientFactory newHttpClient_;
  std::string apiRoot_;
  std::filesystem::path tokenFile_;
  std::chrono::milliseconds lockWait_;
};

}  // namespace tavorin::cloud
