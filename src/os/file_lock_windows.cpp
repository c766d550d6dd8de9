// Windows side of FileLock: LockFileEx on a handle of its own. The lock
// belongs to that handle, so it also keeps apart two locks taken within one
// process, and the system drops it when a run ends without releasing it.
#include "os/file_lock.h"

#include <windows.h>

#include <string>

#include "os/windows_text.h"

namespace tavorin::os {

struct FileLock::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
  bool locked = false;
  ~Handle() {
    if (file == INVALID_HANDLE_VALUE) {
      return;
    }
    if (locked) {
      OVERLAPPED whole{};
      ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    }
    ::CloseHandle(file);
  }
};

FileLock::FileLock(const std::filesystem::path& path, std::chrono::milliseconds wait)
    : handle_(std::make_unique<Handle>()) {
  // Locking needs only read access, and the file holds no data.
  handle_->file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_->file == INVALID_HANDLE_VALUE) {
    ThrowWindowsError("cannot open the lock file " + path.string(), ::GetLastError());
  }
  PollForLock(path, wait, [&] {
    OVERLAPPED whole{};
    if (::LockFileEx(handle_->file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                     &whole) != 0) {
      handle_->locked = true;
      return true;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
      ThrowWindowsError("cannot lock " + path.string(), error);
    }
    return false;
  });
}

// Handle's destructor unlocks and closes.
FileLock::~FileLock() = default;

}  // namespace tavorin::os
