#pragma once
// An exclusive lock that separate runs of the program take on a small sidecar
// file, to do one thing at a time. It is advisory: only runs that ask for the
// lock are kept apart.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

namespace tavorin::os {

class FileLock {
 public:
  // Opens path, creating it empty when absent (it is never deleted), and waits
  // up to wait for the lock. Throws std::system_error naming path when the file
  // cannot be opened or locked, and std::runtime_error naming it when the lock
  // is still held elsewhere once wait is over.
  FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait);

  // The same, but none when the file cannot be opened, such as in a read-only
  // directory where it does not exist yet: for work that is still worth doing
  // without the lock.
  [[nodiscard]] static std::optional<FileLock> WhereOpenable(const std::filesystem::path& path,
                                                             std::chrono::milliseconds wait);

  FileLock(FileLock&&) noexcept = default;
  FileLock& operator=(FileLock&&) = delete;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Releases the lock.
  ~FileLock() = default;

 private:
  // The platform's open lock file, closed by the platform's deleter, which
  // releases the lock.
  struct Handle;
  struct HandleDeleter {
    void operator()(Handle* handle) const;
  };
  using HandlePtr = std::unique_ptr<Handle, HandleDeleter>;
  enum class OnOpenFailure { Throw, ReturnNone };

  FileLock(HandlePtr handle, const std::filesystem::path& path, std::chrono::milliseconds wait);
  // Defined by each platform.
  [[nodiscard]] static HandlePtr Open(const std::filesystem::path& path, OnOpenFailure onFailure);
  // Takes the lock without waiting and tells whether it got it.
  [[nodiscard]] static bool TryLock(Handle& handle, const std::filesystem::path& path);

  HandlePtr handle_;
};

}  // namespace tavorin::os
