// Windows side of PendingReplacement: a new file beside the target, flushed,
// then renamed over it through its own handle.
//
// The new file is opened sharing read access only and stays open until it has
// been renamed or deleted, so no other run can write or delete it meanwhile
// (readers may open it, as it becomes the target the moment it is renamed);
// the system closes it when a run ends, however it ends. So a temporary file
// that can be deleted belongs to no live run.
#include "os/text_file.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "os/windows_text.h"
#include "replace_file.h"

namespace tavorin::os {
namespace {

// A reader of the target (another run reading its tokens) keeps it from being
// replaced for the moment of its read: try again for a while before failing.
constexpr std::chrono::milliseconds kBusyRetryInterval{20};
constexpr int kBusyRetries = 100;

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { static_cast<void>(Close()); }
  [[nodiscard]] HANDLE get() const { return handle_; }
  [[nodiscard]] bool Close() {
    if (handle_ == INVALID_HANDLE_VALUE) {
      return true;
    }
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != 0;
  }

 private:
  HANDLE handle_;
};

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& path) {
  ThrowWindowsError(std::string(what) + " " + path.string(), ::GetLastError());
}

void WriteAll(HANDLE file, std::string_view text, std::string_view what, const std::filesystem::path& path) {
  while (!text.empty()) {
    const DWORD chunk = text.size() > INT_MAX ? INT_MAX : static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (::WriteFile(file, text.data(), chunk, &written, nullptr) == 0) {
      Fail(what, path);
    }
    text.remove_prefix(written);
  }
}

// Moving over a read-only file, or one this user may not delete, fails; found
// only at the move, that would come after the cloud has issued a new token
// pair. So such a target, and one this user may not write, is refused before
// anything else, as writing to it in place would be. One that is merely open
// elsewhere is left to the move's retries.
void RefuseUnwritableTarget(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      ThrowWindowsError("cannot write " + path.string(), error);
    }
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    ThrowWindowsError("cannot write " + path.string(), ERROR_ACCESS_DENIED);
  }
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  FileHandle target(::CreateFileW(path.c_str(), FILE_WRITE_DATA | DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (target.get() == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    ThrowWindowsError("cannot write " + path.string(), ERROR_ACCESS_DENIED);
  }
}

// A security descriptor that lets only this process's user at the file, for
// credentials: the folder's inherited permissions (under C:\, every user may
// read) are not taken over.
class OwnerOnlySecurity {
 public:
  OwnerOnlySecurity() {
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) == 0) {
      ThrowWindowsError("cannot find this user's identity", ::GetLastError());
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_ = std::make_unique<unsigned char[]>(size);
    const BOOL got = ::GetTokenInformation(token, TokenUser, user_.get(), size, &size);
    const DWORD error = ::GetLastError();
    ::CloseHandle(token);
    if (got == 0) {
      ThrowWindowsError("cannot find this user's identity", error);
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.get())->User.Sid;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
    acl_ = std::make_unique<unsigned char[]>(aclSize);
    auto* acl = reinterpret_cast<PACL>(acl_.get());
    // A protected list: nothing is inherited from the folder.
    if (::InitializeAcl(acl, aclSize, ACL_REVISION) == 0 ||
        ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) == 0 ||
        ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) == 0 ||
        ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) == 0 ||
        ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED) == 0) {
      ThrowWindowsError("cannot set up the permissions of a file for this user alone", ::GetLastError());
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  OwnerOnlySecurity(const OwnerOnlySecurity&) = delete;
  OwnerOnlySecurity& operator=(const OwnerOnlySecurity&) = delete;

  [[nodiscard]] SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  std::unique_ptr<unsigned char[]> user_;
  std::unique_ptr<unsigned char[]> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// Deletes the temporary files of path that no live run holds open. Best
// effort: a file this user may not delete stays.
void RemoveLeftovers(const std::filesystem::path& path) {
  for (const std::filesystem::path& file : TemporaryFiles(path, "0123456789")) {
    ::DeleteFileW(file.c_str());
  }
}

// Renames the open file over path, replacing what is there.
bool RenameOver(HANDLE file, const std::filesystem::path& path) {
  const std::wstring target = path.wstring();
  const std::size_t size = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
  const auto buffer = std::make_unique<unsigned char[]>(size);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.get());
  rename->ReplaceIfExists = TRUE;
  rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), rename->FileName);
  return ::SetFileInformationByHandle(file, FileRenameInfo, rename, static_cast<DWORD>(size)) != 0;
}

}  // namespace

// The new file beside the target; deleted unless the rename consumed it.
struct PendingReplacement::Temporary {
  Temporary(std::filesystem::path name, HANDLE handle) : path(std::move(name)), file(handle) {}
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    static_cast<void>(file.Close());
    if (!path.empty()) {
      ::DeleteFileW(path.c_str());
    }
  }

  std::filesystem::path path;
  FileHandle file;
};

// A Shared file takes the folder's inherited permissions; an OwnerOnly one is
// this user's alone, whatever the folder lets others do.
PendingReplacement::PendingReplacement(std::filesystem::path path, FileAccess access, std::size_t room)
    : path_(std::move(path)) {
  RefuseUnwritableTarget(path_);
  RemoveLeftovers(path_);
  std::unique_ptr<OwnerOnlySecurity> ownerOnly;
  if (access == FileAccess::OwnerOnly) {
    ownerOnly = std::make_unique<OwnerOnlySecurity>();
  }
  std::random_device random;
  for (int attempt = 0; attempt < 100 && !temporary_; ++attempt) {
    std::filesystem::path candidate = TemporaryNameStem(path_);
    candidate += std::to_string(random() % 1000000);
    const HANDLE handle =
        ::CreateFileW(candidate.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                      ownerOnly ? ownerOnly->get() : nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      temporary_ = std::make_unique<Temporary>(std::move(candidate), handle);
    } else if (::GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  if (!temporary_) {
    Fail("cannot create a temporary file for", path_);
  }
  // The room is written out, which secures it on any file system; the text
  // goes over it from the start.
  WriteAll(temporary_->file.get(), std::string(room, ' '), "cannot reserve disk space for", path_);
  if (::SetFilePointerEx(temporary_->file.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN) == 0) {
    Fail("cannot write", path_);
  }
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::MoveIntoPlace(std::string_view text) {
  const HANDLE file = temporary_->file.get();
  WriteAll(file, text, "cannot write", path_);
  if (::SetEndOfFile(file) == 0 || ::FlushFileBuffers(file) == 0) {
    Fail("cannot write", path_);
  }
  for (int attempt = 0; !RenameOver(file, path_); ++attempt) {
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kBusyRetries) {
      ThrowWindowsError("cannot replace " + path_.string(), error);
    }
    std::this_thread::sleep_for(kBusyRetryInterval);
  }
  temporary_->path.clear();
  static_cast<void>(temporary_->file.Close());
}

}  // namespace tavorin::os
