#include "cloud/cloud_client.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "cloud/request_bodies.h"
#include "cloud/token_file.h"
#include "os/replace_file.h"
#include "os/stop_hold.h"
#include "os/text_file.h"
#include "scan/json_scan.h"

namespace tavorin::cloud {
namespace {

constexpr std::string_view kNewPair = "the new token pair";

// The room kept in a new token file before the cloud is asked for the pair to
// go in it: 4 KiB, a block on most disks and many times the size of a usual
// pair, or twice the size of the stored file where that is more, in case the
// cloud's tokens have grown.
std::size_t TokenFileRoom(std::size_t storedSize) {
  return std::max<std::size_t>(4096, 2 * storedSize);
}

// A pair that an earlier run could not move into place is the only valid one
// there is: the cloud retired the stored pair when it issued it. A leftover
// that is no whole pair (a killed run's reserved room) is made anew.
void RefuseWhereAPairWaits(const std::filesystem::path& tokenFile) {
  const std::filesystem::path temporary = os::TemporaryPathOf(tokenFile);
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(temporary, error)) &&
      IsWholeTokenFile(os::ReadTextFile(temporary))) {
    throw std::runtime_error("cannot refresh the tokens: " + os::WhereKept(kNewPair, tokenFile));
  }
}

}  // namespace

CloudClient::CloudClient(http::Post post, std::string apiRoot, os::GuardedFile tokenFile)
    : post_(std::move(post)), apiRoot_(std::move(apiRoot)), tokenFile_(std::move(tokenFile)) {}

std::string CloudClient::CloudRequest(std::string_view path, std::string_view token, std::string_view body) const {
  const std::vector<http::HttpHeader> headers = {
      {"Authorization", "Bearer " + std::string(token)},
      {"Content-Type", "application/json"},
  };
  return post_(apiRoot_ + std::string(path), headers, body);
}

std::string CloudClient::ReadToken(std::string_view tokenType) const {
  return cloud::ReadToken(tokenFile_.Path(), tokenType);
}

Reply CloudClient::RefreshToken(std::string_view rejectedAt) const {
  // The cloud honours only the newest refresh token, so runs that refreshed at
  // the same time would all but one get a refusal, or store a pair the cloud
  // has already retired.
  const os::FileLock lock = tokenFile_.Lock();
  const std::string stored = os::ReadTextFile(lock.Target());
  const std::string rt(FindToken(stored, "rt"));
  std::string at(FindToken(stored, "at"));
  if (!at.empty() && at != rejectedAt) {
    return {std::move(at), {}};
  }
  RefuseWhereAPairWaits(lock.Target());
  // Once the cloud has issued a new pair, the stored one is dead. So a stop
  // request waits until the new pair is saved or the refresh has failed, and
  // the new file, with room for the pair, is made before the request: a
  // directory or a disk that cannot take it fails first. Declared in this
  // order, a failed refresh removes its temporary file before a held stop
  // request ends the run.
  const os::StopRequestHold hold;
  os::PendingReplacement save(lock, os::FileAccess::OwnerOnly, TokenFileRoom(stored.size()), kNewPair);
  std::string text = CloudRequest(kRefreshPath, at, RefreshBody(rt));
  std::string newAt = scan::ExtractJSON(text, "at");
  if (newAt.empty()) {
    return {std::nullopt, std::move(text)};
  }
  const std::string newRt = scan::ExtractJSON(text, "rt");
  SaveTokens(save, newAt, newRt.empty() ? rt : newRt);
  return {std::move(newAt), {}};
}

Reply CloudClient::RequestWithRefresh(std::string_view path, std::string_view body) const {
  const std::string at = ReadToken("at");
  std::string text = CloudRequest(path, at, body);
  if (!scan::Contains(text, kTokenRejected)) {
    return {std::move(text), {}};
  }
  Reply refreshed = RefreshToken(at);
  if (refreshed.text) {
    refreshed.text = CloudRequest(path, *refreshed.text, body);
  }
  return refreshed;
}

Reply CloudClient::GetDeviceStatus(std::string_view deviceId) const {
  return RequestWithRefresh(kStatusPath, StatusBody(deviceId));
}

}  // namespace tavorin::cloud
