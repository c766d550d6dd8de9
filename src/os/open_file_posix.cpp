#include "open_file.h"

namespace tavorin::os {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace tavorin::os
