// The POSIX side of the module's services (platform.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "os/stop_hold.h"
#include "platform.h"

namespace tavorin::os {

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

// FileLock: flock on a descriptor of its own. Such a lock belongs to the open
// file, so it also keeps apart two locks taken within one process, and the
// system drops it when a run ends without releasing it.
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

// PendingReplacement: file modes, fsync and rename.
namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& target) {
  ThrowFileError(what, target, errno);
}

// The new file's mode: the owner's alone for credentials; for a shared file,
// the mode of the file it replaces, or what the umask lets through when there
// is none.
mode_t ModeFor(const std::filesystem::path& target, FileAccess access) {
  if (access == FileAccess::OwnerOnly) {
    return S_IRUSR | S_IWUSR;
  }
  if (struct stat existing{}; ::stat(target.c_str(), &existing) == 0) {
    return existing.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return (S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH) & ~mask;
}

}  // namespace

void RefuseUnwritableTarget(const std::filesystem::path& target) {
  // A rename needs only the directory's permission.
  if (::access(target.c_str(), W_OK) != 0 && errno != ENOENT) {
    Fail("cannot write", target);
  }
}

FilePtr CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                            FileAccess access) {
  // Never through a link put in its place.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    Fail("cannot create a temporary file for", target);
  }
  FilePtr file(::fdopen(fd, "wb"));
  if (!file) {
    ::close(fd);
    Fail("cannot create a temporary file for", target);
  }
  if (::fchmod(fd, ModeFor(target, access)) != 0) {
    Fail("cannot set permissions on", target);
  }
  return file;
}

void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target) {
  if (::ftruncate(::fileno(file), static_cast<off_t>(size)) != 0 || ::fsync(::fileno(file)) != 0) {
    Fail("cannot write", target);
  }
}

void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Fail("cannot replace", target);
  }
  // Make the rename itself durable; a directory that refuses fsync is no loss.
  const std::filesystem::path directory = target.parent_path().empty() ? "." : target.parent_path();
  if (const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

// The stop handlers: one handler for SIGTERM, SIGINT and SIGHUP,
// which outside a hold restores the default action and raises the signal again.
namespace {

void OnStopSignal(int signal) {
  if (!DeferStopRequest(signal)) {
    // Raised within the handler, the signal waits until the handler returns.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

}  // namespace

void EndByStopRequest(int request) {
  ::signal(request, SIG_DFL);
  ::raise(request);
  std::_Exit(128 + request);  // only where this thread blocks the signal
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) != 0 ||
        (previous.sa_handler != SIG_IGN && ::sigaction(signal, &action, nullptr) != 0)) {
      throw std::system_error(errno, std::generic_category(), "cannot handle stop signals");
    }
  }
}

}  // namespace tavorin::os
