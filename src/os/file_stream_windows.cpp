// C streams over the C runtime's wide-character files.
#include <windows.h>

#include <cerrno>
#include <string>
#include <thread>

#include "file_stream.h"

namespace tavorin::os {
namespace {

// Windows file names are UTF-16: the narrow fopen would take them in the
// local code page.
std::FILE* OpenWide(const std::filesystem::path& path, const wchar_t* mode) {
  std::FILE* file = nullptr;
  for (int attempt = 0; (file = ::_wfopen(path.c_str(), mode)) == nullptr && errno == EACCES && attempt < kBusyRetries;
       ++attempt) {
    std::this_thread::sleep_for(kBusyRetryInterval);
  }
  return file;
}

}  // namespace

FilePtr OpenFile(const std::filesystem::path& path, OpenMode mode, std::string_view what) {
  // A folder cannot be opened as a file at all: say so rather than wait for it.
  if (const DWORD attributes = ::GetFileAttributesW(path.c_str());
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ThrowNotRegular(what, path, "a folder");
  }
  FilePtr file(OpenWide(path, mode == OpenMode::Append ? L"ab" : L"rb"));
  if (!file) {
    ThrowFileError(what, path, errno);
  }
  return file;
}

FilePtr OpenIfReadable(const std::filesystem::path& path) {
  return FilePtr(OpenWide(path, L"rb"));
}

}  // namespace tavorin::os
