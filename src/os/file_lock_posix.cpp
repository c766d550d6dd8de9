// POSIX side of FileLock: flock on a descriptor of its own. Such a lock belongs
// to the open file, so it also keeps apart two locks taken within one process,
// and the system drops it when a run ends without releasing it.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "lock_file.h"

namespace tavorin::os {

FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail) {
  // flock needs only a descriptor open for reading, and the file holds no data:
  // read access for all, so that a lock file one user made never shuts out
  // another who shares the token file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && !mayFail) {
    throw std::system_error(errno, std::generic_category(), "cannot open the lock file " + path.string());
  }
  return fd < 0 ? FileLock::kNoFile : fd;
}

bool TryLockFile(FileLock::NativeFile file, const std::filesystem::path& path) {
  while (::flock(static_cast<int>(file), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      return false;
    }
    if (error != EINTR) {
      throw std::system_error(error, std::generic_category(), "cannot lock " + path.string());
    }
  }
  return true;
}

void CloseLockFile(FileLock::NativeFile file) {
  ::close(static_cast<int>(file));
}

}  // namespace tavorin::os
