#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "file_stream.h"

namespace tavorin::os {

std::string_view KindOfFile(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFIFO:
      return "a FIFO";
    case S_IFDIR:
      return "a folder";
    case S_IFCHR:
    case S_IFBLK:
      return "a device";
    case S_IFSOCK:
      return "a socket";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return "no regular file";
  }
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  return file.parent_path().empty() ? "." : file.parent_path();
}

mode_t NewFileMode(const std::filesystem::path& folder, mode_t usual) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) == 0 && (status.st_mode & S_IWGRP) != 0) {
    return S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP;
  }
  return usual;
}

mode_t LessUmask(mode_t mode) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mode & ~mask;
}

Descriptor OpenRegularFile(const std::filesystem::path& path, int flags, mode_t mode, std::string_view what,
                           bool mayFail) {
  // Non-blocking, a FIFO opens at once (or fails with ENXIO for want of a
  // reader) and is refused below; a regular file ignores the flag.
  Descriptor fd(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode));
  struct stat status {};
  if (fd.get() == -1) {
    // Say what stands there rather than what opening it did: a link that
    // O_NOFOLLOW refused, or a FIFO without a reader.
    const int error = errno;
    const int found = error == ELOOP ? ::lstat(path.c_str(), &status) : ::stat(path.c_str(), &status);
    if (found == 0 && !S_ISREG(status.st_mode)) {
      ThrowNotRegular(what, path, KindOfFile(status.st_mode));
    }
    if (mayFail) {
      return fd;
    }
    ThrowFileError(what, path, error);
  }
  if (::fstat(fd.get(), &status) != 0) {
    ThrowFileError(what, path, errno);
  }
  if (!S_ISREG(status.st_mode)) {
    ThrowNotRegular(what, path, KindOfFile(status.st_mode));
  }
  return fd;
}

FilePtr StreamOf(Descriptor fd, const char* mode, std::string_view what, const std::filesystem::path& path) {
  FilePtr file(::fdopen(fd.get(), mode));
  if (!file) {
    ThrowFileError(what, path, errno);
  }
  static_cast<void>(fd.release());
  return file;
}

}  // namespace tavorin::os
