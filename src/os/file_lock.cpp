#include "os/file_lock.h"

#include <stdexcept>
#include <string>
#include <thread>

namespace tavorin::os {
namespace {

// How often a waiting run tries again: a refresh takes at least a round trip.
constexpr std::chrono::milliseconds kRetryInterval{20};

}  // namespace

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait)
    : FileLock(Open(path, OnOpenFailure::Throw), path, wait) {}

std::optional<FileLock> FileLock::WhereOpenable(const std::filesystem::path& path, std::chrono::milliseconds wait) {
  HandlePtr handle = Open(path, OnOpenFailure::ReturnNone);
  if (!handle) {
    return std::nullopt;
  }
  return FileLock(std::move(handle), path, wait);
}

FileLock::FileLock(HandlePtr handle, const std::filesystem::path& path, std::chrono::milliseconds wait)
    : handle_(std::move(handle)) {
  // The system's locks have no time-out of their own: try without blocking
  // until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!TryLock(*handle_, path)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("cannot lock " + path.string() + ": another run still holds it after " +
                               std::to_string(wait.count()) + " ms");
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

}  // namespace tavorin::os
