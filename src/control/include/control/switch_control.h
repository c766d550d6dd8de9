#pragma once
// The switch operation: query the device, write its report, or set its switch
// and confirm the change; every call is recorded in the activity log.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "cloud/cloud_client.h"
#include "control/activity_log.h"
#include "control/result_code.h"

namespace tavorin::control {

inline constexpr std::string_view kDefaultDeviceId = "1000c8441f";

// The current local date and time as log text, read anew for every line.
using TimestampSource = std::function<std::string()>;

class SwitchControl {
 public:
  SwitchControl(cloud::CloudClient cloud, TimestampSource now, std::filesystem::path activityLog = kActivityLogName);

  // state: empty for a query, "info" in any case for the report, anything else
  // is the switch value to set (sent in lower case). Appends the activity line
  // and returns the outcome; errors propagate and leave the log without a line.
  [[nodiscard]] ResultCode ControlSwitch(std::string_view state, std::string_view deviceId = kDefaultDeviceId) const;

 private:
  [[nodiscard]] ResultCode Decide(std::string_view state, std::string_view deviceId) const;
  [[nodiscard]] ResultCode SetSwitch(const std::string& value, std::string_view deviceId) const;
  void WriteInfoReport(std::string_view deviceId, std::string_view status) const;

  cloud::CloudClient cloud_;
  TimestampSource now_;
  std::filesystem::path activityLog_;
};

}  // namespace tavorin::control
