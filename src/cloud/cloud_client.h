#pragma once
// Every request to the device cloud, and the token refresh that keeps the
// stored credentials usable. Nothing is cached: each operation reads the token
// file again.

#include <filesystem>
#include <string>
#include <string_view>

#include "cloud/http_client.h"
#include "cloud/token_file.h"

namespace tavorin::cloud {

class CloudClient {
 public:
  // apiRoot is the scheme and host every path is appended to, such as
  // "https://eu-api.example.com".
  CloudClient(HttpClientFactory newHttpClient, std::string apiRoot,
              std::filesystem::path tokenFile = kTokenFileName);

  // POSTs body to path with token as bearer, on a fresh HTTP client, and
  // returns the response body whatever the HTTP status.
  [[nodiscard]] std::string CloudRequest(std::string_view path, std::string_view token,
                                         std::string_view body) const;

  [[nodiscard]] std::string ReadToken(std::string_view tokenType) const;
  void SaveTokens(std::string_view at, std::string_view rt) const;

  // Trades the stored refresh token for a new pair, saves it and returns the
  // new access token; empty text, with the file untouched, when the answer
  // carries no access token. A pair without a refresh token keeps the stored one.
  [[nodiscard]] std::string RefreshToken() const;

  // The cloud's status text for the device. A rejected access token is
  // refreshed and the query repeated once; empty text when that refresh fails.
  [[nodiscard]] std::string GetDeviceStatus(std::string_view deviceId) const;

 private:
  HttpClientFactory newHttpClient_;
  std::string apiRoot_;
  std::filesystem::path tokenFile_;
};

}  // namespace tavorin::cloud
