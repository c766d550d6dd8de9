// POSIX side of PendingReplacement: mkstemp, fsync, rename.
#include "os/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "file_descriptor_posix.h"
#include "replace_file.h"

namespace tavorin::os {
namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& path) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
}

// The new file's mode: the owner's alone for credentials; for a shared file,
// the mode of the file it replaces, or what the umask lets through when there
// is none.
mode_t ModeFor(const std::filesystem::path& path, FileAccess access) {
  if (access == FileAccess::OwnerOnly) {
    return S_IRUSR | S_IWUSR;
  }
  if (struct stat existing{}; ::stat(path.c_str(), &existing) == 0) {
    return existing.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
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

// The temporary file beside the target; removed unless the rename consumed it.
struct PendingReplacement::Temporary {
  explicit Temporary(std::string name, int descriptor) : path(std::move(name)), fd(descriptor) {}
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (!path.empty()) {
      ::unlink(path.c_str());
    }
  }

  std::string path;
  FileDescriptor fd;
};

PendingReplacement::PendingReplacement(std::filesystem::path path, FileAccess access) : path_(std::move(path)) {
  // A rename needs only the directory's permission; an existing file that this
  // user may not write is refused, as writing to it in place would be.
  if (::access(path_.c_str(), W_OK) != 0 && errno != ENOENT) {
    Fail("cannot write", path_);
  }
  std::string pattern = TemporaryNameStem(path_).string() + "XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    Fail("cannot create a temporary file for", path_);
  }
  temporary_ = std::make_unique<Temporary>(std::move(pattern), fd);
  if (::fchmod(fd, ModeFor(path_, access)) != 0) {
    Fail("cannot set permissions on", path_);
  }
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::MoveIntoPlace(std::string_view text) {
  WriteAll(temporary_->fd.get(), text, path_);
  if (::fsync(temporary_->fd.get()) != 0 || temporary_->fd.Close() != 0) {
    Fail("cannot write", path_);
  }
  if (::rename(temporary_->path.c_str(), path_.c_str()) != 0) {
    Fail("cannot replace", path_);
  }
  temporary_->path.clear();
  // Make the rename itself durable; a directory that refuses fsync is no loss.
  if (const FileDescriptor directory(::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      directory.get() >= 0) {
    ::fsync(directory.get());
  }
}

}  // namespace tavorin::os
