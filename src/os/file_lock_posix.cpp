// POSIX side of FileLock: flock on a descriptor of its own. Such a lock belongs
// to the open file, so it also keeps apart two locks taken within one process,
// and the system drops it when a run ends without releasing it.
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <system_error>

#include "file_descriptor_posix.h"
#include "os/file_lock.h"

namespace tavorin::os {

struct FileLock::Handle {
  FileDescriptor fd;
};

FileLock::HandlePtr FileLock::Open(const std::filesystem::path& path, OnOpenFailure onFailure) {
  // flock needs only a descriptor open for reading, and the file holds no data:
  // read access for all, so that a lock file one user made never shuts out
  // another who shares the token file.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644));
  if (fd.get() < 0) {
    if (onFailure == OnOpenFailure::ReturnNone) {
      return nullptr;
    }
    throw std::system_error(errno, std::generic_category(), "cannot open the lock file " + path.string());
  }
  return HandlePtr(std::make_unique<Handle>(Handle{std::move(fd)}).release());
}

bool FileLock::TryLock(Handle& handle, const std::filesystem::path& path) {
  while (::flock(handle.fd.get(), LOCK_EX | LOCK_NB) != 0) {
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

// Closing the descriptor releases the lock.
void FileLock::HandleDeleter::operator()(Handle* handle) const {
  std::default_delete<Handle>()(handle);
}

}  // namespace tavorin::os
