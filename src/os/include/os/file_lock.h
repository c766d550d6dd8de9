#pragma once
// An exclusive lock that separate runs of the program take on a small sidecar
// file, to do one thing at a time. It is advisory: only runs that ask for the
// lock are kept apart.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

namespace tavorin::os {

class FileLock {
 public:
  // Opens path, creating it empty when absent (it is never deleted), and waits
  // up to wait for the lock. Throws std::system_error naming path when the file
  // cannot be opened or locked, and std::runtime_error naming it when the lock
  // is still held elsewhere once wait is over.
  FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait);

  // The same, but none when the file cannot be opened, such as in a read-only
  // directory where it does not exist yet: for work still worth doing unlocked.
  [[nodiscard]] static std::optional<FileLock> WhereOpenable(const std::filesystem::path& path,
                                                             std::chrono::milliseconds wait);

  // Movable, so that it can be optional; neither copied nor assigned.
  FileLock(FileLock&& other) noexcept : file_(std::exchange(other.file_, kNoFile)) {}
  // Releases the lock.
  ~FileLock();

  // The platform's open file: a descriptor or a handle, which fits either.
  using NativeFile = std::intptr_t;
  static constexpr NativeFile kNoFile = -1;

 private:
  explicit FileLock(NativeFile file) : file_(file) {}
  void WaitForLock(const std::filesystem::path& path, std::chrono::milliseconds wait) const;

  NativeFile file_;
};

}  // namespace tavorin::os
