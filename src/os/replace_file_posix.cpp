// POSIX side of PendingReplacement: a new file, fsync, rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "file_descriptor_posix.h"
#include "os/replace_file.h"

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

struct PendingReplacement::Temporary {
  Temporary(std::filesystem::path name, FileDescriptor descriptor) : path(std::move(name)), fd(std::move(descriptor)) {}
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (!renamed) {
      ::unlink(path.c_str());
    }
  }

  std::filesystem::path path;
  FileDescriptor fd;
  bool renamed = false;
};

PendingReplacement::PendingReplacement(const FileLock& /*held*/, std::filesystem::path path, FileAccess access,
                                       std::size_t room)
    : path_(std::move(path)) {
  // A rename needs only the directory's permission; an existing file that this
  // user may not write is refused, as writing to it in place would be.
  if (::access(path_.c_str(), W_OK) != 0 && errno != ENOENT) {
    Fail("cannot write", path_);
  }
  // A killed run's temporary file goes first: the new one is made afresh, with
  // this run's owner and mode, and never through a link put in its place.
  std::filesystem::path temporary = TemporaryPathOf(path_);
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    Fail("cannot create a temporary file for", path_);
  }
  FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (fd.get() < 0) {
    Fail("cannot create a temporary file for", path_);
  }
  temporary_ = std::make_unique<Temporary>(std::move(temporary), std::move(fd));
  if (::fchmod(temporary_->fd.get(), ModeFor(path_, access)) != 0) {
    Fail("cannot set permissions on", path_);
  }
  if (room != 0) {
    if (const int error = ::posix_fallocate(temporary_->fd.get(), 0, static_cast<off_t>(room)); error != 0) {
      throw std::system_error(error, std::generic_category(), "cannot reserve disk space for " + path_.string());
    }
  }
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::MoveIntoPlace(std::string_view text) {
  // Into the room secured at the start, then cut to the text's length.
  const int fd = temporary_->fd.get();
  WriteAll(fd, text, path_);
  if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0 || ::fsync(fd) != 0 || temporary_->fd.Close() != 0) {
    Fail("cannot write", path_);
  }
  if (::rename(temporary_->path.c_str(), path_.c_str()) != 0) {
    Fail("cannot replace", path_);
  }
  temporary_->renamed = true;
  // Make the rename itself durable; a directory that refuses fsync is no loss.
  const std::filesystem::path directory = path_.parent_path().empty() ? "." : path_.parent_path();
  if (const FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.get() >= 0) {
    ::fsync(dir.get());
  }
}

}  // namespace tavorin::os
