#include "cloud/cloud_client.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "cloud/request_bodies.h"
#include "cloud/token_file.h"
#include "os/kept_text.h"
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

// The most that a kept token file is read of: many times a pair's size, and
// the room a refresh reserves for it.
constexpr std::size_t kMostKeptSize = std::size_t{1} << 20;

struct KeptPair {
  std::size_t length;
  bool newer;
};

// A whole pair kept beside the token file: where the move after a refresh
// failed, or the run was killed before it.
std::optional<KeptPair> FindKeptPair(const std::filesystem::path& tokenFile) {
  const std::optional<os::KeptText> kept = os::FindKeptText(tokenFile, kMostKeptSize);
  const std::size_t length = kept ? WholeTokenFileLength(kept->text) : 0;
  if (length == 0) {
    return std::nullopt;
  }
  return KeptPair{length, kept->newer};
}

}  // namespace

CloudClient::CloudClient(http::Post post, std::string apiRoot, os::GuardedFile tokenFile, Notify notify)
    : post_(std::move(post)),
      apiRoot_(std::move(apiRoot)),
      tokenFile_(std::move(tokenFile)),
      notify_(std::move(notify)) {}

const os::GuardedFile& CloudClient::TokenFile() const {
  return tokenFile_;
}

std::string CloudClient::CloudRequest(std::string_view path, std::string_view token, std::string_view body) const {
  const std::vector<http::HttpHeader> headers = {
      {"Authorization", BearerValue(token)},
      {"Content-Type", "application/json"},
  };
  return post_(apiRoot_ + std::string(path), headers, body);
}

std::string CloudClient::ReadToken(std::string_view tokenType) const {
  return std::string(FindToken(tokenFile_.Read(), tokenType));
}

void CloudClient::SettleKeptPair(const os::FileLock& lock) const {
  const std::optional<KeptPair> kept = FindKeptPair(lock.Target());
  if (!kept) {
    return;
  }
  // The cloud retired the stored pair when it issued the kept one, unless the
  // token file was written since, by hand: then that is the live pair.
  if (kept->newer) {
    os::MoveKeptText(lock, kept->length, kNewPair);
    return;
  }
  os::SetKeptTextAside(lock);
  notify_(lock.Target().string() + " was written after an earlier run kept a token pair it could not save; " +
          "that pair is now in " + os::AsidePathOf(lock.Target()).string());
}

Reply CloudClient::RefreshToken(std::string_view rejectedAt) const {
  // The cloud honours only the newest refresh token, so runs that refreshed at
  // the same time would all but one get a refusal, or store a pair the cloud
  // has already retired.
  const os::FileLock lock = tokenFile_.Lock();
  SettleKeptPair(lock);
  const std::string stored = os::ReadTextFile(lock.Target());
  const std::string rt(FindToken(stored, "rt"));
  std::string at(FindToken(stored, "at"));
  if (!at.empty() && at != rejectedAt) {
    return {std::move(at), {}};
  }
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
  // A look without the lock first, which another run's refresh may hold for a
  // whole request: only a pair found there needs it.
  if (FindKeptPair(tokenFile_.Target())) {
    SettleKeptPair(tokenFile_.Lock());
  }
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
