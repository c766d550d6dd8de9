#pragma once
// What each platform's file_lock_*.cpp provides to the locks' common code.

#include <filesystem>

#include "os/file_lock.h"

namespace tavorin::os {

// The file that opening path reaches, as the system resolves it: path itself
// where it is no symbolic link. Throws naming path where a link on the way may
// not be trusted, or the system refuses to follow it.
[[nodiscard]] std::filesystem::path FileBehind(const std::filesystem::path& path);
// Whether path is the null device, which takes every write and keeps none.
[[nodiscard]] bool IsNullDevice(const std::filesystem::path& path);

// Opens the lock file at path for locking, creating it when absent, readable
// by all. A link or anything but a regular file there is refused. Where the
// file cannot be opened or made (a read-only directory), throws
// std::system_error naming it, or gives kNoFile where mayFail.
[[nodiscard]] FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail);
// Takes the lock without waiting and tells whether it got it.
[[nodiscard]] bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path);
void CloseLockFile(FileLock::NativeFile file);

}  // namespace tavorin::os
