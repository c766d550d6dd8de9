// Windows file names are UTF-16: the narrow fopen would take them in the
// local code page.
#include "open_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>

namespace tavorin::os {
namespace {

// Where appending processes lock their turn: beyond any log's real size.
constexpr DWORD kAppendTurnOffsetHigh = 0x7fffffff;

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

// The C runtime's append mode moves to the end and then writes, two steps in
// which another process's line can land and be overwritten. A handle that may
// only append has the system put every write at the end; and as not every
// implementation of the API does that in one step, appending processes also
// take turns: each holds a lock, far past any real content, from opening the
// file until closing it, which releases the lock.
std::FILE* OpenForAppending(const std::filesystem::path& path, const char* mode) {
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return nullptr;
  }
  OVERLAPPED turn{};
  turn.OffsetHigh = kAppendTurnOffsetHigh;
  if (::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn) == 0) {
    errno = ErrnoOf(::GetLastError());
    ::CloseHandle(handle);
    return nullptr;
  }
  const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
  if (descriptor < 0) {
    ::CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = ::_fdopen(descriptor, mode);
  if (file == nullptr) {
    ::_close(descriptor);
  }
  return file;
}

}  // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  if (mode[0] == 'a') {
    return OpenForAppending(path, mode);
  }
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(path.c_str(), wideMode.c_str());
}

}  // namespace tavorin::os
