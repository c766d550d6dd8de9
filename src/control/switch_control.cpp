#include "control/switch_control.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "cloud/request_bodies.h"
#include "control/activity_log.h"
#include "os/replace_file.h"
#include "scan/json_scan.h"

namespace tavorin::control {
namespace {

// The most of a cloud's text that a reason quotes.
constexpr std::size_t kMostQuoted = 80;

std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return lower;
}

ResultCode SwitchState(std::string_view switchValue) {
  return switchValue == "on" ? ResultCode::On : ResultCode::NotOn;
}

// Text from the cloud as a reason may show it: cut short, control characters
// escaped, in double quotes.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  quoted.append(EscapeControlCharacters(text.substr(0, kMostQuoted)));
  quoted.append(text.size() > kMostQuoted ? "...\"" : "\"");
  return quoted;
}

// " (error <code>, "<message>")" where answer carries an error other than 0.
std::string CloudError(std::string_view answer) {
  const std::string code = scan::ExtractJSONLenient(answer, "error");
  if (code.empty() || code == "0") {
    return {};
  }
  std::string error = " (error ";
  error.append(EscapeControlCharacters(std::string_view(code).substr(0, kMostQuoted)));
  error.append(", ").append(Quoted(scan::ExtractJSONLenient(answer, "msg"))).append(")");
  return error;
}

Outcome NotDone(std::string reason) {
  return {ResultCode::NotDone, "not done: " + std::move(reason)};
}

Outcome RefreshRefused(const cloud::Reply& reply) {
  return NotDone("the cloud refused the refresh token" + CloudError(reply.refusal) +
                 ": put a new token pair in tokens.txt");
}

}  // namespace

SwitchControl::SwitchControl(cloud::CloudClient cloud, TimestampSource now, os::GuardedFile activityLog)
    : cloud_(std::move(cloud)), now_(std::move(now)), activityLog_(std::move(activityLog)) {}

Outcome SwitchControl::ControlSwitch(std::string_view state, std::string_view deviceId) const {
  RefuseUnusableLog();
  Outcome outcome = Operate(state, deviceId);
  activityLog_.AppendLine(ActivityLine(now_(), deviceId, state, outcome.result));
  return outcome;
}

Outcome SwitchControl::Operate(std::string_view state, std::string_view deviceId) const {
  const cloud::Reply status = cloud_.GetDeviceStatus(deviceId);
  if (!status.text) {
    return RefreshRefused(status);
  }
  if (status.text->empty()) {
    return NotDone("the cloud's status answer was empty");
  }
  // Any other answer without the flag counts as offline, error replies included.
  if (!scan::ExtractJSONBool(*status.text, "online")) {
    return {ResultCode::Offline,
            "offline: the device is offline, or the cloud does not know this device ID" + CloudError(*status.text)};
  }
  if (state.empty()) {
    return {SwitchState(scan::ExtractJSONParam(*status.text)), {}};
  }
  const std::string value = ToLowerAscii(state);
  if (value == "info") {
    WriteInfoReport(deviceId, *status.text);
    return {SwitchState(scan::ExtractJSONParam(*status.text)), {}};
  }
  return SetSwitch(value, deviceId);
}

Outcome SwitchControl::SetSwitch(const std::string& value, std::string_view deviceId) const {
  const cloud::Reply answer = cloud_.RequestWithRefresh(cloud::kSetPath, cloud::SetBody(deviceId, value));
  if (!answer.text) {
    return RefreshRefused(answer);
  }
  if (!scan::Contains(*answer.text, cloud::kAccepted)) {
    return NotDone("the cloud did not acknowledge the set" + CloudError(*answer.text));
  }
  // Confirm at once by reading the state back.
  const cloud::Reply status = cloud_.GetDeviceStatus(deviceId);
  if (!status.text) {
    return RefreshRefused(status);
  }
  const std::string confirmed = scan::ExtractJSONParam(*status.text);
  if (confirmed != value) {
    return NotDone("the switch reads " + Quoted(confirmed) + " after the set to " + Quoted(value));
  }
  return {SwitchState(value), {}};
}

void SwitchControl::RefuseUnusableLog() const {
  // A log that leads to the token file would have the report replace the pair.
  std::error_code different;
  if (std::filesystem::equivalent(activityLog_.Target(), cloud_.TokenFile().Target(), different)) {
    throw std::runtime_error("cannot use " + activityLog_.Path().string() + ": it is the same file as " +
                             cloud_.TokenFile().Path().string());
  }
  activityLog_.CheckAppendable();
}

void SwitchControl::WriteInfoReport(std::string_view deviceId, std::string_view status) const {
  // The whole report is scanned before the log is touched, and it replaces the
  // log in one step, so a failure never leaves the history half gone.
  const std::string report = InfoReport(deviceId, status, now_());
  if (activityLog_.DiscardsWrites()) {
    return;
  }
  const os::FileLock lock = activityLog_.Lock();
  os::ReplaceFile(lock, report, os::FileAccess::Shared);
}

}  // namespace tavorin::control
