#pragma once
// Opening files on POSIX systems so that only regular files are used: a FIFO,
// a device or a folder in the place of one is refused at once, saying what it
// is, and never waited on.

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace tavorin::os {

// open(2) with flags and mode, plus O_NONBLOCK and O_CLOEXEC; the descriptor
// of the regular file there. Throws naming what and path otherwise; or, where
// mayFail and the file could not be opened at all (not for what it is), gives
// -1.
[[nodiscard]] int OpenRegularFile(const std::filesystem::path& path, int flags, mode_t mode, std::string_view what,
                                  bool mayFail = false);

// "a FIFO", "a folder", ... for a file mode that is not a regular file's.
[[nodiscard]] std::string_view KindOfFile(mode_t mode);

}  // namespace tavorin::os
