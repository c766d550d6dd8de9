#pragma once
// Every request to the device cloud, and the token refresh that keeps the
// stored credentials usable. Nothing is cached: each operation reads the token
// file again.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_client.h"
#include "os/file_lock.h"

namespace tavorin::cloud {

// What the cloud gave: the text asked for, or, where a refresh gave no access
// token, none, with the refresh's answer as the refusal.
struct Reply {
  std::optional<std::string> text;
  std::string refusal;
};

// Tells the user something that does not change the outcome, as one line.
using Notify = std::function<void(std::string_view notice)>;

class CloudClient {
 public:
  // apiRoot is the scheme and host every path is appended to, such as
  // "https://eu-api.example.com". tokenFile is the token file and its lock.
  CloudClient(http::Post post, std::string apiRoot, os::GuardedFile tokenFile, Notify notify);

  [[nodiscard]] const os::GuardedFile& TokenFile() const;

  // POSTs body to path with token as bearer, on a fresh HTTP client, and
  // returns the response body whatever the HTTP status.
  [[nodiscard]] std::string CloudRequest(std::string_view path, std::string_view token, std::string_view body) const;

  [[nodiscard]] std::string ReadToken(std::string_view tokenType) const;

  // An access token to use instead of rejectedAt, which the cloud has just
  // refused. Runs hold the token file's lock for this, one at a time. When the
  // stored access token is no longer rejectedAt, another run has refreshed
  // meanwhile, and the stored one is returned without a request. Otherwise the
  // stored refresh token is traded for a new pair, which is saved and whose
  // access token is returned; none, with the file untouched and the answer as
  // the refusal, when the answer carries no access token. A pair without a
  // refresh token keeps the stored one.
  //
  // Throws before anything is sent when the lock cannot be had or the token
  // file could not be replaced. A new pair is never thrown away: where the
  // final move fails, it stays in the token file's temporary file, and the
  // error says so; where not even that could take it, the error carries it.
  [[nodiscard]] Reply RefreshToken(std::string_view rejectedAt) const;

  // Sends body to path with the stored access token; when the cloud rejects
  // it, refreshes once and sends again with the new one, and returns that
  // answer whatever it holds. A pair that an earlier run kept is settled first.
  [[nodiscard]] Reply RequestWithRefresh(std::string_view path, std::string_view body) const;

  // The cloud's status text for the device; none where a needed refresh gave
  // no access token.
  [[nodiscard]] Reply GetDeviceStatus(std::string_view deviceId) const;

 private:
  // A whole pair that an earlier run kept beside the token file (its move
  // failed, or the run was killed before it) goes into place, where it is
  // newer than the token file: the cloud retired the stored pair when it
  // issued it. Where the token file was written since, by hand, that one is
  // used and the kept pair is set aside, which notify tells. Throws, naming
  // where the pair is, when it cannot be moved.
  void SettleKeptPair(const os::FileLock& lock) const;

  http::Post post_;
  std::string apiRoot_;
  os::GuardedFile tokenFile_;
  Notify notify_;
};

}  // namespace tavorin::cloud
