// C streams over the C runtime's wide-character files.
#include <windows.h>

#include <io.h>

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
  // Nor can a read-only file be written, whatever the process's privileges
  // (Wine's as root included).
  if (const DWORD attributes = ::GetFileAttributesW(path.c_str()); attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ThrowNotRegular(what, path, "a folder");
    }
    if (mode == OpenMode::Append && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      ThrowFileError(what, path, EACCES);
    }
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

bool CutFile(std::FILE* file, std::size_t size) {
  const errno_t error = ::_chsize_s(::_fileno(file), static_cast<long long>(size));
  errno = error;
  return error == 0;
}

}  // namespace tavorin::os
