#pragma once

#include <cstdint>

namespace tavorin::control {

// The outcome of one switch operation; also the process's exit status.
enum class ResultCode : std::int16_t {
  NotOn = 0,     // the switch value is not exactly "on" (query, info, confirmed set)
  On = 1,        // the switch value is "on"
  NotDone = 5,   // no status, the refresh failed, or the set was not acknowledged or confirmed
  Offline = 10,  // the status does not carry the online flag set to true
};

}  // namespace tavorin::control
