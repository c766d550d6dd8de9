// POSIX side of PendingReplacement: mkstemp, fsync, rename.
//
// A run holds an exclusive flock on its temporary file from creating it until
// it has been renamed or removed; the system drops the lock when a run ends,
// however it ends. So a temporary file that can be locked without waiting
// belongs to no live run and is removed. A cleaner may lock a new temporary
// file between its creation and its creator's lock: both sides check after
// locking that the name still stands for the file they locked.
#include "os/text_file.h"

#include <fcntl.h>
#include <sys/file.h>
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

// Whether fd, which this process has locked, is the regular file that path
// names.
bool LockedFileIsAt(int fd, const std::filesystem::path& path) {
  struct stat locked {};
  struct stat named {};
  return ::fstat(fd, &locked) == 0 && ::lstat(path.c_str(), &named) == 0 && S_ISREG(locked.st_mode) &&
         locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
}

bool TryLock(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// Removes the temporary files of path that no live run holds. Best effort: a
// file this user may not open or remove stays.
void RemoveLeftovers(const std::filesystem::path& path) {
  for (const std::filesystem::path& file :
       TemporaryFiles(path, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")) {
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() >= 0 && TryLock(fd.get()) && LockedFileIsAt(fd.get(), file)) {
      ::unlink(file.c_str());
    }
  }
}

}  // namespace

// The temporary file beside the target, locked; removed unless the rename
// consumed it. lock shares fd's open file, and with it the lock, so that fd can
// be closed before the rename.
struct PendingReplacement::Temporary {
  Temporary(std::string name, FileDescriptor descriptor)
      : path(std::move(name)), fd(std::move(descriptor)), lock(::dup(fd.get())) {}
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    if (!path.empty()) {
      ::unlink(path.c_str());
    }
  }

  std::string path;
  FileDescriptor fd;
  FileDescriptor lock;
};

PendingReplacement::PendingReplacement(std::filesystem::path path, FileAccess access, std::size_t room)
    : path_(std::move(path)) {
  // A rename needs only the directory's permission; an existing file that this
  // user may not write is refused, as writing to it in place would be.
  if (::access(path_.c_str(), W_OK) != 0 && errno != ENOENT) {
    Fail("cannot write", path_);
  }
  RemoveLeftovers(path_);
  // A cleaner that locks a new file before its creator does removes it: the
  // next name will do.
  for (int attempt = 0; !temporary_; ++attempt) {
    if (attempt == 100) {
      errno = EBUSY;
      Fail("cannot create a temporary file for", path_);
    }
    std::string name = TemporaryNameStem(path_).string() + "XXXXXX";
    FileDescriptor fd(::mkstemp(name.data()));
    if (fd.get() < 0) {
      Fail("cannot create a temporary file for", path_);
    }
    if (TryLock(fd.get()) && LockedFileIsAt(fd.get(), name)) {
      temporary_ = std::make_unique<Temporary>(std::move(name), std::move(fd));
    }
  }
  if (temporary_->lock.get() < 0) {
    Fail("cannot create a temporary file for", path_);
  }
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
  WriteAll(temporary_->fd.get(), text, path_);
  if (::ftruncate(temporary_->fd.get(), static_cast<off_t>(text.size())) != 0 || ::fsync(temporary_->fd.get()) != 0 ||
      temporary_->fd.Close() != 0) {
    Fail("cannot write", path_);
  }
  if (::rename(temporary_->path.c_str(), path_.c_str()) != 0) {
    Fail("cannot replace", path_);
  }
  temporary_->path.clear();
  static_cast<void>(temporary_->lock.Close());
  // Make the rename itself durable; a directory that refuses fsync is no loss.
  if (const FileDescriptor directory(::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      directory.get() >= 0) {
    ::fsync(directory.get());
  }
}

}  // namespace tavorin::os
