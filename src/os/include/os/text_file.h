#pragma once
// Reading a whole file. Writing goes through the lock that guards the file
// (file_lock.h, replace_file.h).

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>

namespace tavorin::os {

// The file's whole content as bytes. Throws std::system_error naming the file
// when it cannot be read (a missing file too), and std::runtime_error saying
// what stands there when it is no regular file, or that it holds more than
// most bytes.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path,
                                       std::size_t most = std::numeric_limits<std::size_t>::max());

}  // namespace tavorin::os
