// C streams over descriptors opened by OpenRegularFile.
#include <fcntl.h>

#include "file_stream.h"
#include "posix_file.h"

namespace tavorin::os {

FilePtr OpenFile(const std::filesystem::path& path, OpenMode mode, std::string_view what) {
  const bool append = mode == OpenMode::Append;
  return StreamOf(OpenRegularFile(path, append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY, 0666, what),
                  append ? "ab" : "rb", what, path);
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

}  // namespace tavorin::os
