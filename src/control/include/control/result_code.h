#pragma once

#include <cstdint>
#include <string>

namespace tavorin::control {

// The outcome of one switch operation; also the process's exit status.
enum class ResultCode : std::int16_t {
  NotOn = 0,     // the switch value is not exactly "on" (query, info, confirmed set)
  On = 1,        // the switch value is "on"
  NotDone = 5,   // no status, the refresh failed, or the set was not acknowledged or confirmed
  Offline = 10,  // the status does not carry the online flag set to true
};

// An operation's result code and, for NotDone and Offline, why: the step that
// decided it, with the cloud's own error where its answer gave one, as in
// "not done: the cloud did not acknowledge the set (error 400, "params
// incorrect")". Empty for NotOn and On.
struct Outcome {
  ResultCode result;
  std::string reason;
};

}  // namespace tavorin::control
