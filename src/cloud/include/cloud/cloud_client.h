#pragma once
// Every request to the device cloud, and the token refresh that keeps the
// stored credentials usable. Nothing is cached: each operation reads the token
// file again.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "cloud/token_file.h"
#include "http/http_client.h"
#include "os/file_lock.h"

namespace tavorin::cloud {

// How long a run waits for the lock another run holds, unless the caller says
// otherwise: longer than one request may take with the default time-outs.
inline constexpr std::chrono::milliseconds kLockWait = std::chrono::seconds(90);

class CloudClient {
 public:
  // apiRoot is the scheme and host every path is appended to, such as
  // "https://eu-api.example.com". The files beside tokenFile are guarded by the
  // lock file tokenFile + ".lock", which a run waits up to lockWait for.
  CloudClient(http::Post post, std::string apiRoot, std::filesystem::path tokenFile = kTokenFileName,
              std::chrono::milliseconds lockWait = kLockWait);

  // POSTs body to path with token as bearer, on a fresh HTTP client, and
  // returns the response body whatever the HTTP status.
  [[nodiscard]] std::string CloudRequest(std::string_view path, std::string_view token, std::string_view body) const;

  [[nodiscard]] std::string ReadToken(std::string_view tokenType) const;

  // An access token to use instead of rejectedAt, which the cloud has just
  // refused. Runs hold the lock for this, one at a time. When the stored
  // access token is no longer rejectedAt, another run has refreshed meanwhile,
  // and the stored one is returned without a request. Otherwise the stored
  // refresh token is traded for a new pair, which is saved and whose access
  // token is returned; empty text, with the file untouched, when the answer
  // carries no access token. A pair without a refresh token keeps the stored
  // one. Throws before anything is sent when the lock cannot be had or the
  // token file's directory cannot take a new file.
  [[nodiscard]] std::string RefreshToken(std::string_view rejectedAt) const;

  // Sends body to path with the stored access token; when the cloud rejects
  // it, refreshes once and sends again with the new one, and returns that
  // answer whatever it holds. None when the refresh gives no access token.
  [[nodiscard]] std::optional<std::string> RequestWithRefresh(std::string_view path, std::string_view body) const;

  // The cloud's status text for the device, or empty text when a needed
  // refresh gives no access token.
  [[nodiscard]] std::string GetDeviceStatus(std::string_view deviceId) const;

  // The lock that guards the replacement of the files beside the token file.
  [[nodiscard]] os::FileLock LockFiles() const;
  // The same, or none where the lock file cannot be made.
  [[nodiscard]] std::optional<os::FileLock> LockFilesWherePossible() const;

 private:
  http::Post post_;
  std::string apiRoot_;
  std::filesystem::path tokenFile_;
  std::filesystem::path lockFile_;
  std::chrono::milliseconds lockWait_;
};

}  // namespace tavorin::cloud
