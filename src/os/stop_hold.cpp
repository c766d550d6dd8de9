// The state that the stop handlers and StopRequestHold share. Process-wide, as
// the one exception to the rule: the system runs a handler on whichever thread
// it chooses, where only a lock-free atomic may be touched.
#include <atomic>

#include "os/stop_hold.h"
#include "stop_hold_platform.h"

namespace tavorin::os {
namespace {

// Free, held, or held with the request that came meanwhile (positive).
constexpr int kFree = 0;
constexpr int kHeld = -1;
std::atomic<int> holdState{kFree};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

bool DeferStopRequest(int request) noexcept {
  int expected = kHeld;
  return holdState.compare_exchange_strong(expected, request) || expected != kFree;
}

StopRequestHold::StopRequestHold() {
  holdState.store(kHeld);
}

StopRequestHold::~StopRequestHold() {
  if (const int request = holdState.exchange(kFree); request > 0) {
    EndByStopRequest(request);
  }
}

}  // namespace tavorin::os
