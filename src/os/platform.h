#pragma once
// What each platform's files provide to the module's common code, and what
// the common code provides to the platform's stop handlers.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

#include "os/file_lock.h"
#include "os/replace_file.h"

namespace tavorin::os {

// C streams, closed when their owner goes.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Throws std::system_error: what, path, then the meaning of errno's error.
[[noreturn]] void ThrowFileError(std::string_view what, const std::filesystem::path& path, int error);

// As std::fopen, in the platform's own encoding of file names; nullptr with
// errno set on failure.
[[nodiscard]] std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// FileLock's side: opens path for locking, creating it when absent, and throws
// std::system_error naming it when it cannot, or gives kNoFile where mayFail;
// takes the lock without waiting and tells whether it got it; closes.
[[nodiscard]] FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail);
[[nodiscard]] bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path);
void CloseLockFile(FileLock::NativeFile file);

// PendingReplacement's side; each throws std::system_error naming target.
// Refuses an existing target that this user may not write before anything
// else, as writing to it in place would be: a move over it would fail only at
// the end, after the cloud has issued a new token pair.
void RefuseUnwritableTarget(const std::filesystem::path& target);
// Creates temporary, which must not exist, for writing, with the permissions
// that access gives the target.
[[nodiscard]] FilePtr CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                                          FileAccess access);
// Cuts the flushed file to size bytes and has the system write it to disk.
void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target);
// Moves the closed temporary over target, durably where the system allows.
void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target);

// The stop handlers' side. A stop request is a positive number of the
// platform's choosing. DeferStopRequest (common) tells a handler whether a hold
// is taken, which then ends the process by the first request that came during
// it; EndByStopRequest ends the process as request ends it by default.
[[nodiscard]] bool DeferStopRequest(int request) noexcept;
[[noreturn]] void EndByStopRequest(int request);

}  // namespace tavorin::os
