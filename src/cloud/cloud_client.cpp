#include "cloud/cloud_client.h"

#include <utility>

#include "cloud/request_bodies.h"
#include "os/replace_file.h"
#include "os/stop_hold.h"
#include "os/text_file.h"
#include "scan/json_scan.h"

namespace tavorin::cloud {

CloudClient::CloudClient(http::Post post, std::string apiRoot, std::filesystem::path tokenFile,
                         std::chrono::milliseconds lockWait)
    : post_(std::move(post)),
      apiRoot_(std::move(apiRoot)),
      tokenFile_(std::move(tokenFile)),
      lockFile_(tokenFile_.string() + ".lock"),
      lockWait_(lockWait) {}

std::string CloudClient::CloudRequest(std::string_view path, std::string_view token, std::string_view body) const {
  const std::vector<http::HttpHeader> headers = {
      {"Authorization", "Bearer " + std::string(token)},
      {"Content-Type", "application/json"},
  };
  return post_(apiRoot_ + std::string(path), headers, body);
}

std::string CloudClient::ReadToken(std::string_view tokenType) const {
  return cloud::ReadToken(tokenFile_, tokenType);
}

std::string CloudClient::RefreshToken(std::string_view rejectedAt) const {
  // The cloud honours only the newest refresh token, so runs that refreshed at
  // the same time would all but one get a refusal, or store a pair the cloud
  // has already retired.
  const os::FileLock lock = LockFiles();
  const std::string stored = os::ReadTextFile(tokenFile_);
  const std::string rt(FindToken(stored, "rt"));
  std::string at(FindToken(stored, "at"));
  if (!at.empty() && at != rejectedAt) {
    return at;
  }
  // Once the cloud has issued a new pair, the stored one is dead. So a stop
  // request waits until the new pair is saved or the refresh has failed, and
  // the new file, with room for the pair, is made before the request: a
  // directory or a disk that cannot take it fails first. Declared in this
  // order, a failed refresh removes its temporary file before a held stop
  // request ends the run.
  const os::StopRequestHold hold;
  os::PendingReplacement save(lock, tokenFile_, os::FileAccess::OwnerOnly, TokenFileRoom(stored.size()));
  const std::string text = CloudRequest(kRefreshPath, at, RefreshBody(rt));
  std::string newAt = scan::ExtractJSON(text, "at");
  if (newAt.empty()) {
    return {};
  }
  const std::string newRt = scan::ExtractJSON(text, "rt");
  SaveTokens(save, newAt, newRt.empty() ? rt : newRt);
  return newAt;
}

std::optional<std::string> CloudClient::RequestWithRefresh(std::string_view path, std::string_view body) const {
  const std::string at = ReadToken("at");
  std::string text = CloudRequest(path, at, body);
  if (!scan::Contains(text, kTokenRejected)) {
    return text;
  }
  const std::string newAt = RefreshToken(at);
  if (newAt.empty()) {
    return std::nullopt;
  }
  return CloudRequest(path, newAt, body);
}

std::string CloudClient::GetDeviceStatus(std::string_view deviceId) const {
  return RequestWithRefresh(kStatusPath, StatusBody(deviceId)).value_or("");
}

os::FileLock CloudClient::LockFiles() const {
  return {lockFile_, lockWait_};
}

std::optional<os::FileLock> CloudClient::LockFilesWherePossible() const {
  return os::FileLock::WhereOpenable(lockFile_, lockWait_);
}

}  // namespace tavorin::cloud
