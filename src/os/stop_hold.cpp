// The state that the stop handlers and StopRequestHold share: process-wide, as
// the one exception to the rule, since the system runs a handler on whichever
// thread it chooses, where nothing else can be reached. Handlers may only touch
// an atomic that needs no lock.
#include <atomic>

#include "os/stop_hold.h"
#include "stop_request.h"

namespace tavorin::os {
namespace {

// kFree, kHeld, or the request that came during the hold.
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
  if (const int request = holdState.exchange(kFree); request != kHeld) {
    EndByStopRequest(request);
  }
}

}  // namespace tavorin::os
