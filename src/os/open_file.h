#pragma once
// std::fopen by path, in the platform's own encoding of file names.

#include <cstdio>
#include <filesystem>

namespace tavorin::os {

// As std::fopen; nullptr with errno set on failure.
[[nodiscard]] std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

}  // namespace tavorin::os
