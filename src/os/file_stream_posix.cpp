// C streams over descriptors opened by OpenRegularFile.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_stream.h"
#include "posix_file.h"

namespace tavorin::os {

FilePtr OpenFile(const std::filesystem::path& path, OpenMode mode, std::string_view what) {
  if (mode == OpenMode::Read) {
    return StreamOf(OpenRegularFile(path, O_RDONLY, 0, what), "rb", what, path);
  }
  // A file made here gets the mode of a new file in its folder. Made
  // exclusively, without following a link, so that no other file's mode is
  // touched; anything already there is opened as it is.
  constexpr mode_t kUsual = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
  Descriptor created(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (created.get() != -1) {
    if (::fchmod(created.get(), NewFileMode(FolderOf(path), LessUmask(kUsual))) != 0) {
      ThrowFileError(what, path, errno);
    }
    return StreamOf(std::move(created), "ab", what, path);
  }
  if (errno != EEXIST) {
    ThrowFileError(what, path, errno);
  }
  return StreamOf(OpenRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, kUsual, what), "ab", what, path);
}

FilePtr OpenIfReadable(const std::filesystem::path& path) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  // fdopen refuses -1 as it refuses any descriptor that is not open.
  FilePtr file(::fdopen(fd.get(), "rb"));
  if (file) {
    static_cast<void>(fd.release());
  }
  return file;
}

bool CutFile(std::FILE* file, std::size_t size) {
  return ::ftruncate(::fileno(file), static_cast<off_t>(size)) == 0;
}

}  // namespace tavorin::os
