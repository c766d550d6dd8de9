#include "os/file_lock.h"

#include <stdexcept>
#include <string>
#include <thread>

namespace tavorin::os {
namespace {

// How often a waiting run tries again: a refresh takes at least a round trip.
constexpr std::chrono::milliseconds kRetryInterval{20};

}  // namespace

void PollForLock(const std::filesystem::path& path, std::chrono::milliseconds wait,
                 const std::function<bool()>& tryLock) {
  // The system's locks have no time-out of their own: try without blocking
  // until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!tryLock()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("cannot lock " + path.string() + ": another run still holds it after " +
                               std::to_string(wait.count()) + " ms");
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

}  // namespace tavorin::os
