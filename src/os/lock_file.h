#pragma once
// The platform's side of FileLock.

#include <filesystem>

#include "os/file_lock.h"

namespace tavorin::os {

// Opens path for locking, creating it when absent. When it cannot be opened:
// throws std::system_error naming it, or gives kNoFile where mayFail.
[[nodiscard]] FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail);

// Takes the lock without waiting and tells whether it got it. Throws
// std::system_error naming path when the system refuses.
[[nodiscard]] bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path);

void CloseLockFile(FileLock::NativeFile file);

}  // namespace tavorin::os
