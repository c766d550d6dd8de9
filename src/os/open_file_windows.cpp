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

// A C stream over handle, which it then owns; the handle is closed on failure.
std::FILE* Adopt(HANDLE handle, int flags, const char* mode) {
  const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
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
  return Adopt(handle, _O_APPEND | _O_BINARY, mode);
}

// A reader shares every kind of access, delete included: a replacement renames
// its new file over the target through a handle that can delete, and keeps
// that handle open a moment after the rename, which the C runtime's own open
// would take for a sharing violation.
std::FILE* OpenForReading(const std::filesystem::path& path, const char* mode) {
  const HANDLE handle =
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(::GetLastError());
    return nullptr;
  }
  return Adopt(handle, _O_RDONLY | _O_BINARY, mode);
}

}  // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return mode[0] == 'a' ? OpenForAppending(path, mode) : OpenForReading(path, mode);
}

}  // namespace tavorin::os
