// The locks on POSIX systems: flock on a descriptor of its own. Such a lock
// belongs to the open file, so it also keeps apart two locks taken within one
// process, and the system drops it when a run ends without releasing it.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

#include "file_lock_platform.h"
#include "file_stream.h"
#include "posix_file.h"

namespace tavorin::os {
namespace {

// As many links as the system itself follows for one name.
constexpr int kMostLinks = 40;

// The folder that file really lies in: folder links and ".." resolved, as the
// system resolves them.
std::filesystem::path RealFolderOf(const std::filesystem::path& file, const std::filesystem::path& named) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::canonical(FolderOf(file), error);
  if (error) {
    ThrowFileError("cannot open", named, error.value());
  }
  return folder;
}

// In a folder that others may write, anyone there could have put a link in
// the place of the program's file, to have this user's run write where it
// leads: only this user's own links and the folder owner's are followed.
void RefuseUntrustedLink(const struct stat& link, const std::filesystem::path& folder,
                         const std::filesystem::path& named) {
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    ThrowFileError("cannot open", named, errno);
  }
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && link.st_uid != ::geteuid() && link.st_uid != status.st_uid) {
    throw std::runtime_error("cannot open " + named.string() +
                             ": it leads through a link of another user's, in a folder that others may write");
  }
}

}  // namespace

std::filesystem::path FileBehind(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
    return path;
  }
  // Each link's text is taken from the folder the link really lies in.
  std::filesystem::path file = path;
  for (int link = 0; link < kMostLinks; ++link) {
    const std::filesystem::path folder = RealFolderOf(file, path);
    RefuseUntrustedLink(status, folder, path);
    std::error_code error;
    const std::filesystem::path text = std::filesystem::read_symlink(file, error);
    if (error) {
      ThrowFileError("cannot open", path, error.value());
    }
    file = folder / text;
    if (::lstat(file.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      file = RealFolderOf(file, path) / file.filename();
      // Opened by its own name, the file is reached by the system's own
      // resolution, which applies its protections against planted links:
      // both must reach the same file.
      struct stat reached {};
      const Descriptor opened(::open(path.c_str(), O_PATH | O_CLOEXEC));
      if (opened.get() == -1 && errno != ENOENT) {
        ThrowFileError("cannot open", path, errno);
      }
      if (opened.get() != -1 && (::fstat(opened.get(), &reached) != 0 || ::stat(file.c_str(), &status) != 0 ||
                                 reached.st_dev != status.st_dev || reached.st_ino != status.st_ino)) {
        throw std::runtime_error("cannot open " + path.string() + ": its links changed while being followed");
      }
      return file;
    }
  }
  ThrowFileError("cannot open", path, ELOOP);
}

bool IsNullDevice(const std::filesystem::path& path) {
  struct stat file {};
  struct stat null {};
  return ::stat(path.c_str(), &file) == 0 && S_ISCHR(file.st_mode) && ::stat("/dev/null", &null) == 0 &&
         file.st_rdev == null.st_rdev;
}

FileLock::NativeFile OpenLockFile(const std::filesystem::path& path, bool mayFail) {
  constexpr std::string_view kWhat = "cannot open the lock file";
  // flock needs only a descriptor open for reading, and the file holds no
  // data: read access for all whatever the umask (for the group alone, and
  // write too, in a folder the group may write), so that a lock file one
  // user made never shuts out another who shares the files it guards. Made
  // without following a link in its place, as it is opened below.
  Descriptor created(::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (created.get() != -1) {
    if (::fchmod(created.get(), NewFileMode(FolderOf(path), 0644)) != 0) {
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
