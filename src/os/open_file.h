#pragma once
// std::fopen by path, in the platform's own encoding of file names.

#include <cstdio>
#include <filesystem>

namespace tavorin::os {

// As std::fopen; nullptr with errno set on failure. In append modes every
// write lands at the end of the file as one step, even with other processes
// appending at the same time.
[[nodiscard]] std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

}  // namespace tavorin::os
