#pragma once
// C streams over the program's files, for the module's text files and
// replacements: opened only where a regular file is (or will be), so that no
// run blocks on a FIFO or reads a device without end.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

namespace tavorin::os {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// On Windows, a file that another run is moving into place, or reading while
// this one would, stays out of reach for that moment: opening it and moving
// over it are tried again for a while.
inline constexpr std::chrono::milliseconds kBusyRetryInterval{20};
inline constexpr int kBusyRetries = 100;

// Throws std::system_error: what, path, then the meaning of errno's error.
[[noreturn]] void ThrowFileError(std::string_view what, const std::filesystem::path& path, int error);

// Throws std::runtime_error: what, path, "it is <kind>, not a regular file".
[[noreturn]] void ThrowNotRegular(std::string_view what, const std::filesystem::path& path, std::string_view kind);

enum class OpenMode {
  Read,    // the whole file from its start
  Append,  // writes go to its end; created when absent
};

// Opens path, which must be a regular file (or absent, to append), without
// waiting on anything else found there. Throws naming what and path.
[[nodiscard]] FilePtr OpenFile(const std::filesystem::path& path, OpenMode mode, std::string_view what);

// The same for reading, or nullptr where it cannot be read: for a look that
// may do without.
[[nodiscard]] FilePtr OpenIfReadable(const std::filesystem::path& path);

// Cuts the flushed file to size bytes; false, with errno set, where it cannot.
[[nodiscard]] bool CutFile(std::FILE* file, std::size_t size);

}  // namespace tavorin::os
