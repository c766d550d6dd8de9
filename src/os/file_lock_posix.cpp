// The locks on POSIX systems: flock on a descriptor of its own. Such a lock
// belongs to the open file, so it also keeps apart two locks taken within one
// process, and the system drops it when a run ends without releasing it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "file_lock_platform.h"
#include "file_stream.h"
#include "posix_file.h"

namespace tavorin::os {

FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail) {
  constexpr std::string_view kWhat = "cannot open the lock file";
  // flock needs only a descriptor open for reading, and the file holds no
  // data: read access for all whatever the umask, so that a lock file one
  // user made never shuts out another who shares the files it guards. Made
  // without following a link in its place, as it is opened below.
  Descriptor created(::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (created.get() != -1) {
    if (::fchmod(created.get(), 0644) != 0) {
      ThrowFileError(kWhat, path, errno);
    }
    return created.release();
  }
  if (errno != EEXIST) {
    if (mayFail) {
      return FileLock::kNoFile;
    }
    ThrowFileError(kWhat, path, errno);
  }
  static_assert(FileLock::kNoFile == -1, "a descriptor that could not be opened is no file");
  return OpenRegularFile(path, O_RDONLY | O_NOFOLLOW, 0, kWhat, mayFail).release();
}

bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path) {
  while (::flock(static_cast<int>(file), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      return false;
    }
    if (error != EINTR) {
      ThrowFileError("cannot lock", path, error);
    }
  }
  return true;
}

void CloseLockFile(FileLock::NativeFile file) {
  ::close(static_cast<int>(file));
}

}  // namespace tavorin::os
