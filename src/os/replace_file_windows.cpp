// Windows side of PendingReplacement: the owner-only security, and the move.
#include <io.h>
#include <windows.h>

#include <sddl.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "os/windows_text.h"
#include "replace_file_platform.h"

namespace tavorin::os {
namespace {

// A reader of the target (another run reading its tokens) keeps it from being
// replaced for the moment of its read: try again for a while before failing.
constexpr std::chrono::milliseconds kBusyRetryInterval{20};
constexpr int kBusyRetries = 100;

// Closes a handle of any kind the system closes with CloseHandle.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) {
      ::CloseHandle(handle);
    }
  }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// This process's user, as a SID string ("S-1-5-21-...").
std::wstring ThisUserSid() {
  HANDLE token = nullptr;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
    ThrowWindowsError("cannot find this user's identity", ::GetLastError());
  }
  const OwnedHandle tokenHandle(token);
  alignas(TOKEN_USER) std::array<unsigned char, sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE> user{};
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (::GetTokenInformation(token, TokenUser, user.data(), user.size(), &size) == 0 ||
      ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text) == 0) {
    ThrowWindowsError("cannot find this user's identity", ::GetLastError());
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
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    const std::wstring user = ThisUserSid();
    const std::wstring sddl = L"O:" + user + L"D:P(A;;FA;;;" + user + L")";
    void* descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr) ==
        0) {
      ThrowWindowsError("cannot set up the permissions of a file for this user alone", ::GetLastError());
    }
    descriptor_.reset(descriptor);
    attributes_.lpSecurityDescriptor = descriptor;
  }

  [[nodiscard]] SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  std::unique_ptr<void, LocalFreeDeleter> descriptor_;
  SECURITY_ATTRIBUTES attributes_{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

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
  OwnedHandle handle(::CreateFileW(target.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    ThrowWindowsError("cannot write " + target.string(), ERROR_ACCESS_DENIED);
  }
}

std::FILE* CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                               FileAccess access) {
  // A Shared file takes the folder's inherited permissions; an OwnerOnly one
  // is this user's alone, whatever the folder lets others do.
  std::unique_ptr<OwnerOnlySecurity> ownerOnly;
  if (access == FileAccess::OwnerOnly) {
    ownerOnly = std::make_unique<OwnerOnlySecurity>();
  }
  // Made with its permissions, then opened again as a stream of the C runtime.
  const HANDLE handle =
      ::CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, ownerOnly ? ownerOnly->get() : nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowWindowsError("cannot create a temporary file for " + target.string(), ::GetLastError());
  }
  ::CloseHandle(handle);
  std::FILE* file = ::_wfopen(temporary.c_str(), L"r+b");
  if (file == nullptr) {
    const int error = errno;
    ::DeleteFileW(temporary.c_str());
    throw std::system_error(error, std::generic_category(), "cannot create a temporary file for " + target.string());
  }
  return file;
}

void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target) {
  const int descriptor = ::_fileno(file);
  if (::_chsize_s(descriptor, static_cast<long long>(size)) != 0 || ::_commit(descriptor) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot write " + target.string());
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

}  // namespace tavorin::os
