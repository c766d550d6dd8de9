#include "control/switch_control.h"

#include <algorithm>
#include <utility>

#include "cloud/request_bodies.h"
#include "os/replace_file.h"
#include "os/text_file.h"
#include "scan/json_scan.h"

namespace tavorin::control {
namespace {

std::string ToLowerAscii(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return lower;
}

ResultCode SwitchState(std::string_view switchValue) {
  return switchValue == "on" ? ResultCode::On : ResultCode::NotOn;
}

}  // namespace

SwitchControl::SwitchControl(cloud::CloudClient cloud, TimestampSource now, std::filesystem::path activityLog)
    : cloud_(std::move(cloud)), now_(std::move(now)), activityLog_(std::move(activityLog)) {}

ResultCode SwitchControl::ControlSwitch(std::string_view state, std::string_view deviceId) const {
  const ResultCode result = Decide(state, deviceId);
  // Under the lock, so that a report that replaces the log meanwhile cannot
  // take the line with the old file; without it where the lock file cannot be
  // made, as in a read-only directory, since the line is worth more.
  const std::optional<os::FileLock> lock = cloud_.LockFilesWherePossible();
  os::AppendLine(activityLog_, ActivityLine(now_(), deviceId, state, result));
  return result;
}

ResultCode SwitchControl::Decide(std::string_view state, std::string_view deviceId) const {
  const std::string status = cloud_.GetDeviceStatus(deviceId);
  if (status.empty()) {
    return ResultCode::NotDone;
  }
  // Any other answer without the flag counts as offline, error replies included.
  if (!scan::ExtractJSONBool(status, "online")) {
    return ResultCode::Offline;
  }
  if (state.empty()) {
    return SwitchState(scan::ExtractJSONParam(status));
  }
  const std::string value = ToLowerAscii(state);
  if (value == "info") {
    WriteInfoReport(deviceId, status);
    return SwitchState(scan::ExtractJSONParam(status));
  }
  return SetSwitch(value, deviceId);
}

ResultCode SwitchControl::SetSwitch(const std::string& value, std::string_view deviceId) const {
  const std::optional<std::string> answer = cloud_.RequestWithRefresh(cloud::kSetPath, cloud::SetBody(deviceId, value));
  if (!answer || !scan::Contains(*answer, cloud::kAccepted)) {
    return ResultCode::NotDone;
  }
  // Confirm at once by reading the state back.
  const std::string confirmed = scan::ExtractJSONParam(cloud_.GetDeviceStatus(deviceId));
  if (confirmed != value) {
    return ResultCode::NotDone;
  }
  return SwitchState(value);
}

void SwitchControl::WriteInfoReport(std::string_view deviceId, std::string_view status) const {
  // The whole report is scanned before the log is touched, and it replaces the
  // log in one step, so a failure never leaves the history half gone.
  const std::string report = InfoReport(deviceId, status, now_());
  const os::FileLock lock = cloud_.LockFiles();
  os::ReplaceFile(lock, activityLog_, report, os::FileAccess::Shared);
}

}  // namespace tavorin::control
