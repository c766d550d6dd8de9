#pragma once
// An exclusive lock that separate runs of the program take on a small sidecar
// file, to do one thing at a time. It is advisory: only runs that ask for the
// lock are kept apart.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

namespace tavorin::os {

class FileLock {
 public:
  // Opens path, creating it empty when absent (it is never deleted), and waits
  // up to wait for the lock. Throws std::system_error naming path when the file
  // cannot be opened or locked, and std::runtime_error naming it when the lock
  // is still held elsewhere once wait is over.
  FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait);
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Releases the lock.
  ~FileLock();

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

// For the platform files: calls tryLock, which takes the lock without waiting
// and tells whether it got it, until it does, sleeping a little between tries.
// Throws std::runtime_error naming path when wait is over first.
void PollForLock(const std::filesystem::path& path, std::chrono::milliseconds wait,
                 const std::function<bool()>& tryLock);

}  // namespace tavorin::os
