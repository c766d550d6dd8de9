// The Windows side of the module's services (platform.h).
#include <windows.h>

#include <io.h>
#include <sddl.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "os/stop_hold.h"
#include "os/windows_text.h"
#include "platform.h"

namespace tavorin::os {
namespace {

// A file that another run is moving into place, or reading while this one
// would, stays out of reach for that moment: try again for a while.
constexpr std::chrono::milliseconds kBusyRetryInterval{20};
constexpr int kBusyRetries = 100;

}  // namespace

// Windows file names are UTF-16: the narrow fopen would take them in the
// local code page.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  std::FILE* file = nullptr;
  for (int attempt = 0;
       (file = ::_wfopen(path.c_str(), wideMode.c_str())) == nullptr && errno == EACCES && attempt < kBusyRetries;
       ++attempt) {
    std::this_thread::sleep_for(kBusyRetryInterval);
  }
  return file;
}

// FileLock: LockFileEx on a handle of its own. The lock belongs to that handle,
// so it also keeps apart two locks taken within one process, and the system
// drops it when a run ends without releasing it.
namespace {

HANDLE HandleOf(FileLock::NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail) {
  // Locking needs only read access, and the file holds no data.
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && !mayFail) {
    ThrowWindowsError("cannot open the lock file " + path.string(), ::GetLastError());
  }
  return file == INVALID_HANDLE_VALUE ? FileLock::kNoFile : reinterpret_cast<FileLock::NativeFile>(file);
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

// PendingReplacement: the owner-only security, and the move.
namespace {

// This process's user, as a SID string ("S-1-5-21-...").
std::wstring ThisUserSid() {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) std::array<unsigned char, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user{};
  DWORD size = 0;
  const bool found = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) != 0 &&
                     ::GetTokenInformation(token, TokenUser, user.data(), user.size(), &size) != 0;
  const DWORD error = ::GetLastError();
  if (token != nullptr) {
    ::CloseHandle(token);
  }
  wchar_t* text = nullptr;
  if (!found || ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text) == 0) {
    ThrowWindowsError("cannot find this user's identity", found ? ::GetLastError() : error);
  }
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(text);
  return text;
}

// A file for this process's user alone, for credentials: the user owns it and
// is the one entry of a protected access list, which takes nothing over from
// the folder (under C:\, every user may read). The user is named by SID: the
// owner alias would let in the Administrators group, which owns an elevated
// administrator's new files, and the creator alias means nothing outside
// entries handed down.
std::unique_ptr<void, LocalFreeDeleter> OwnerOnlyDescriptor() {
  const std::wstring user = ThisUserSid();
  const std::wstring sddl = L"O:" + user + L"D:P(A;;FA;;;" + user + L")";
  void* descriptor = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) ==
      0) {
    ThrowWindowsError("cannot set up the permissions of a file for this user alone", ::GetLastError());
  }
  return std::unique_ptr<void, LocalFreeDeleter>(descriptor);
}

}  // namespace

// Moving over a read-only file or one this user may not delete fails, and so
// does one this user may not write; one that is merely open elsewhere is left
// to the move's retries.
void RefuseUnwritableTarget(const std::filesystem::path& target) {
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      ThrowWindowsError("cannot write " + target.string(), error);
    }
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ThrowWindowsError("cannot write " + target.string(), ERROR_ACCESS_DENIED);
  }
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE handle = ::CreateFileW(target.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    ThrowWindowsError("cannot write " + target.string(), ERROR_ACCESS_DENIED);
  }
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
  }
}

FilePtr CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                            FileAccess access) {
  // A Shared file takes the folder's inherited permissions; an OwnerOnly one
  // is this user's alone, whatever the folder lets others do.
  const auto descriptor = access == FileAccess::OwnerOnly ? OwnerOnlyDescriptor() : nullptr;
  SECURITY_ATTRIBUTES ownerOnly{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
  // Made with its permissions, then opened again as a stream of the C runtime.
  const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      descriptor ? &ownerOnly : nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowWindowsError("cannot create a temporary file for " + target.string(), ::GetLastError());
  }
  ::CloseHandle(handle);
  FilePtr file(::_wfopen(temporary.c_str(), L"r+b"));
  if (!file) {
    ThrowFileError("cannot create a temporary file for", target, errno);
  }
  return file;
}

void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target) {
  const int descriptor = ::_fileno(file);
  if (const errno_t error = ::_chsize_s(descriptor, static_cast<long long>(size)); error != 0) {
    ThrowFileError("cannot write", target, error);
  }
  if (::_commit(descriptor) != 0) {
    ThrowFileError("cannot write", target, errno);
  }
}

void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  for (int attempt = 0;
       ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0;
       ++attempt) {
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kBusyRetries) {
      ThrowWindowsError("cannot replace " + target.string(), error);
    }
    std::this_thread::sleep_for(kBusyRetryInterval);
  }
}

// The stop handlers: a console control handler. It holds Ctrl-C and Ctrl-Break
// for as long as the hold lasts; closing the console only for a grace period
// of a few seconds, after which the system ends the process anyway. Logging off
// and shutting down reach a program that uses the window system as window
// messages, not here. Nothing holds TerminateProcess (the Task Manager's and
// the Task Scheduler's end of a task). The events reach only a process on a
// console: the windowed program joins its caller's at start-up.
namespace {

// Requests are the control events shifted by one, so that none is zero.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!DeferStopRequest(static_cast<int>(event) + 1)) {
    EndByStopRequest(0);  // as the system's own handler does, and with its status under Wine too
  }
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    return TRUE;  // the hold ends the process when it goes
  }
  // The system ends the process as soon as this returns: wait for the hold,
  // whose end ends the process first.
  while (true) {
    ::Sleep(10);
  }
}

}  // namespace

void EndByStopRequest(int /*request*/) {
  ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

void InstallStopHandlers() {
  if (::SetConsoleCtrlHandler(OnConsoleControl, TRUE) == 0) {
    ThrowWindowsError("cannot handle stop requests", ::GetLastError());
  }
}

}  // namespace tavorin::os
