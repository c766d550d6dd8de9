// Windows side of ReplaceFile and PendingReplacement: a new file beside the
// target, flushed, then moved over it with MoveFileExW.
#include "cloud/text_file.h"

#include <windows.h>
// The API's macro of this name would rename the function defined here.
#undef ReplaceFile

#include <chrono>
#include <climits>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "cloud/windows_text.h"

namespace tavorin::cloud {
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

std::filesystem::path DirectoryOf(const std::filesystem::path& path) {
  return path.parent_path().empty() ? "." : path.parent_path();
}

void WriteAll(HANDLE file, std::string_view text, const std::filesystem::path& path) {
  while (!text.empty()) {
    const DWORD chunk = text.size() > INT_MAX ? INT_MAX : static_cast<DWORD>(text.size());
    DWORD written = 0;
    if (::WriteFile(file, text.data(), chunk, &written, nullptr) == 0) {
      Fail("cannot write", path);
    }
    text.remove_prefix(written);
  }
}

}  // namespace

// The new file beside the target; deleted unless the move consumed it.
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

// Access is left to the directory's inherited permissions: on Windows these
// already keep a user's own folders from other users.
PendingReplacement::PendingReplacement(std::filesystem::path path, FileAccess /*access*/)
    : path_(std::move(path)) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string hiddenName = ".";
    hiddenName.append(path_.filename().string()).append(".").append(std::to_string(random() % 1000000));
    std::filesystem::path candidate = DirectoryOf(path_) / hiddenName;
    const HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      temporary_ = std::make_unique<Temporary>(std::move(candidate), handle);
      return;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  Fail("cannot create a temporary file for", path_);
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::Commit(std::string_view text) {
  if (!temporary_ || temporary_->path.empty()) {
    throw std::logic_error("the replacement of " + path_.string() + " was already committed");
  }
  WriteAll(temporary_->file.get(), text, path_);
  if (::FlushFileBuffers(temporary_->file.get()) == 0 || !temporary_->file.Close()) {
    Fail("cannot write", path_);
  }
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(temporary_->path.c_str(), path_.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
      break;
    }
    const DWORD error = ::GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kBusyRetries) {
      ThrowWindowsError("cannot replace " + path_.string(), error);
    }
    std::this_thread::sleep_for(kBusyRetryInterval);
  }
  temporary_->path.clear();
}

void ReplaceFile(const std::filesystem::path& path, std::string_view text, FileAccess access) {
  PendingReplacement(path, access).Commit(text);
}

}  // namespace tavorin::cloud
