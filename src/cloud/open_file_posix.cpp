#include "cloud/open_file.h"

namespace tavorin::cloud {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace tavorin::cloud
