#include "os/file_lock.h"

#include <stdexcept>
#include <string>
#include <thread>

#include "platform.h"

namespace tavorin::os {
namespace {

// How often a waiting run tries again: a refresh takes at least a round trip.
constexpr std::chrono::milliseconds kRetryInterval{20};

}  // namespace

// Once the delegated constructor has run, a throw from the body closes the file.
FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait)
    : FileLock(OpenLockFile(path, false)) {
  WaitForLock(path, wait);
}

std::optional<FileLock> FileLock::WhereOpenable(const std::filesystem::path& path, std::chrono::milliseconds wait) {
  const NativeFile file = OpenLockFile(path, true);
  if (file == kNoFile) {
    return std::nullopt;
  }
  std::optional<FileLock> lock(FileLock{file});
  lock->WaitForLock(path, wait);
  return lock;
}

FileLock::~FileLock() {
  if (file_ != kNoFile) {
    CloseLockFile(file_);
  }
}

void FileLock::WaitForLock(const std::filesystem::path& path, std::chrono::milliseconds wait) const {
  // The system's locks have no time-out of their own: try without blocking
  // until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!TryLockFile(file_, path)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("cannot lock " + path.string() + ": another run still holds it after " +
                               std::to_string(wait.count()) + " ms");
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

}  // namespace tavorin::os
