#pragma once
// What the platforms' stop handlers share with StopRequestHold. A stop request
// is a positive number of the platform's choosing.

namespace tavorin::os {

// Called by a handler: true when a hold is taken, which then ends the process
// by the first request that came during it.
[[nodiscard]] bool DeferStopRequest(int request) noexcept;

// Ends the process as request ends it by default. Defined by each platform.
[[noreturn]] void EndByStopRequest(int request);

}  // namespace tavorin::os
