#include "posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

int OpenRegularFile(const std::filesystem::path& path, int flags, mode_t mode, std::string_view what, bool mayFail) {
  // Non-blocking, a FIFO opens at once (or fails with ENXIO for want of a
  // reader) and is refused below; a regular file ignores the flag.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  struct stat status {};
  if (fd < 0) {
    // Say what stands there rather than what opening it did: a link that
    // O_NOFOLLOW refused, or a FIFO without a reader.
    const int error = errno;
    const int found = error == ELOOP ? ::lstat(path.c_str(), &status) : ::stat(path.c_str(), &status);
    if (found == 0 && !S_ISREG(status.st_mode)) {
      ThrowNotRegular(what, path, KindOfFile(status.st_mode));
    }
    if (mayFail) {
      return -1;
    }
    ThrowFileError(what, path, error);
  }
  if (::fstat(fd, &status) != 0) {
    const int error = errno;
    ::close(fd);
    ThrowFileError(what, path, error);
  }
  if (!S_ISREG(status.st_mode)) {
    ::close(fd);
    ThrowNotRegular(what, path, KindOfFile(status.st_mode));
  }
  return fd;
}

}  // namespace tavorin::os
