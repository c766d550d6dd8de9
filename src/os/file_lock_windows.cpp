// The locks on Windows: LockFileEx on a handle of its own. The lock belongs to
// that handle, so it also keeps apart two locks taken within one process, and
// the system drops it when a run ends without releasing it.
#include <windows.h>

#include "file_lock_platform.h"
#include "file_stream.h"
#include "os/windows_text.h"

namespace tavorin::os {
namespace {

HANDLE HandleOf(FileLock::NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

// The program's files are taken by their names: the C++ library here sees no
// Windows links, and a name can neither be the null device (NUL) nor lead to it.
std::filesystem::path FileBehind(const std::filesystem::path& path) {
  return path;
}

bool IsNullDevice(const std::filesystem::path& /*path*/) {
  return false;
}

FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail) {
  // Locking needs only read access, and the file holds no data. A link in its
  // place is opened as itself, and refused.
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (mayFail) {
      return FileLock::kNoFile;
    }
    ThrowWindowsError("cannot open the lock file " + path.string(), ::GetLastError());
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (::GetFileInformationByHandle(file, &information) != 0 &&
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    ::CloseHandle(file);
    ThrowNotRegular("cannot open the lock file", path, "a link or a folder");
  }
  return reinterpret_cast<FileLock::NativeFile>(file);
}

bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path) {
  OVERLAPPED whole{};
  if (::LockFileEx(HandleOf(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole) != 0) {
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
    ThrowWindowsError("cannot lock " + path.string(), error);
  }
  return false;
}

void CloseLockFile(FileLock::NativeFile file) {
  // The system may take a while to drop the lock of a closed handle: unlock
  // first, which merely fails where no lock was taken.
  OVERLAPPED whole{};
  ::UnlockFileEx(HandleOf(file), 0, MAXDWORD, MAXDWORD, &whole);
  ::CloseHandle(HandleOf(file));
}

}  // namespace tavorin::os
