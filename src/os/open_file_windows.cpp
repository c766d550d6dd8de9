// Windows file names are UTF-16: the narrow fopen would take them in the
// local code page.
#include <string>

#include "open_file.h"

namespace tavorin::os {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(path.c_str(), wideMode.c_str());
}

}  // namespace tavorin::os
