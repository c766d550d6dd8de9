#pragma once
// Between the stop handlers of each platform's stop_hold_*.cpp and the hold's
// common state. A stop request is a positive number of the platform's
// choosing.

namespace tavorin::os {

// Tells a handler whether a hold is taken; the hold then ends the process by
// the first request that came during it.
[[nodiscard]] bool DeferStopRequest(int request) noexcept;
// Ends the process as request ends it by default.
[[noreturn]] void EndByStopRequest(int request);

}  // namespace tavorin::os
