#pragma once
// The switch operation: query the device, write its report, or set its switch
// and confirm the change; every call is recorded in the activity log.

#include <functional>
#include <string>
#include <string_view>

#include "cloud/cloud_client.h"
#include "control/result_code.h"
#include "os/file_lock.h"

namespace tavorin::control {

inline constexpr std::string_view kDefaultDeviceId = "1000c8441f";

// The current local date and time as log text, read anew for every line.
using TimestampSource = std::function<std::string()>;

class SwitchControl {
 public:
  // activityLog is the activity log and its lock.
  SwitchControl(cloud::CloudClient cloud, TimestampSource now, os::GuardedFile activityLog);

  // state: empty for a query, "info" in any case for the report, anything else
  // is the switch value to set (sent in lower case). Appends the activity line
  // and returns the outcome; errors propagate and leave the log without a line.
  // A log that could not take the line, or that is the token file, is refused
  // before anything is sent; one that leads to the null device takes nothing.
  [[nodiscard]] Outcome ControlSwitch(std::string_view state, std::string_view deviceId = kDefaultDeviceId) const;

 private:
  // Queries the device, then reports or sets as state asks.
  [[nodiscard]] Outcome Operate(std::string_view state, std::string_view deviceId) const;
  [[nodiscard]] Outcome SetSwitch(const std::string& value, std::string_view deviceId) const;
  void RefuseUnusableLog() const;
  void WriteInfoReport(std::string_view deviceId, std::string_view status) const;

  cloud::CloudClient cloud_;
  TimestampSource now_;
  os::GuardedFile activityLog_;
};

}  // namespace tavorin::control
