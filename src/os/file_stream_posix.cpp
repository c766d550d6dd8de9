// C streams over descriptors opened by OpenRegularFile.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "file_stream.h"
#include "posix_file.h"

namespace tavorin::os {

FilePtr OpenFile(const std::filesystem::path& path, OpenMode mode, std::string_view what) {
  const bool append = mode == OpenMode::Append;
  const int fd = OpenRegularFile(path, append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY, 0666, what);
  FilePtr file(::fdopen(fd, append ? "ab" : "rb"));
  if (!file) {
    const int error = errno;
    ::close(fd);
    ThrowFileError(what, path, error);
  }
  return file;
}

FilePtr OpenIfReadable(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  FilePtr file(fd < 0 ? nullptr : ::fdopen(fd, "rb"));
  if (fd >= 0 && !file) {
    ::close(fd);
  }
  return file;
}

}  // namespace tavorin::os
