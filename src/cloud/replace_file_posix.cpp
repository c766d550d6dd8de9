// POSIX side of ReplaceFile: mkstemp, fsync, rename.
#include "cloud/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tavorin::cloud {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// Removes the temporary file unless the rename has consumed it.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) {
      ::unlink(path_.c_str());
    }
  }
  [[nodiscard]] const std::string& path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& path) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
}

mode_t ModeFor(FileAccess access) {
  if (access == FileAccess::OwnerOnly) {
    return S_IRUSR | S_IWUSR;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH) & ~mask;
}

void WriteAll(int fd, std::string_view text, const std::filesystem::path& path) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      Fail("cannot write", path);
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void ReplaceFile(const std::filesystem::path& path, std::string_view text, FileAccess access) {
  const std::filesystem::path directory = path.parent_path().empty() ? "." : path.parent_path();
  std::string hiddenName = ".";
  hiddenName.append(path.filename().string()).append(".XXXXXX");
  std::string pattern = (directory / hiddenName).string();
  FileDescriptor fd(::mkstemp(pattern.data()));
  if (fd.get() < 0) {
    Fail("cannot create a temporary file for", path);
  }
  TemporaryFile temporary(pattern);
  if (::fchmod(fd.get(), ModeFor(access)) != 0) {
    Fail("cannot set permissions on", path);
  }
  WriteAll(fd.get(), text, path);
  if (::fsync(fd.get()) != 0 || fd.Close() != 0) {
    Fail("cannot write", path);
  }
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
    Fail("cannot replace", path);
  }
  temporary.Release();
  // Make the rename itself durable; a directory that refuses fsync is no loss.
  if (const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace tavorin::cloud
