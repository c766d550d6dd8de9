#pragma once
// Reading a whole file. Writing goes through the lock that guards the file
// (file_lock.h, replace_file.h).

#include <filesystem>
#include <string>

namespace tavorin::os {

// The file's whole content as bytes. Throws std::system_error naming the file
// when it cannot be read (a missing file too), and std::runtime_error saying
// what stands there when it is no regular file.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);

}  // namespace tavorin::os
