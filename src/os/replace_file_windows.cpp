// The replacement on Windows: owner-only security, and the move, which waits a
// while for a file that another program holds open.
#include <windows.h>

#include <io.h>
#include <sddl.h>

#include <array>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include "os/windows_text.h"
#include "replace_file_platform.h"

namespace tavorin::os {
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
void RefuseUnreplaceableTarget(const std::filesystem::path& target) {
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      ThrowWindowsError("cannot write " + target.string(), error);
    }
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ThrowNotRegular("cannot write", target, "a folder");
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
  if (!CutFile(file, size) || ::_commit(::_fileno(file)) != 0) {
    ThrowFileError("cannot write", target, errno);
  }
}

void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) == 0) {
    ThrowWindowsError("cannot move " + from.string() + " to " + to.string(), ::GetLastError());
  }
}

// The temporary file is this user's alone, and the folder's permissions say
// who else may make one.
Leftover LookAtLeftover(const std::filesystem::path& temporary, const std::filesystem::path& /*target*/) {
  const DWORD attributes = ::GetFileAttributesW(temporary.c_str());
  const bool present = attributes != INVALID_FILE_ATTRIBUTES &&
                       (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  return {present, present};
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

}  // namespace tavorin::os
