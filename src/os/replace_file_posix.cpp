// POSIX side of PendingReplacement: file modes, fsync and rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "replace_file_platform.h"

namespace tavorin::os {
namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& target) {
  throw std::system_error(errno, std::generic_category(), std::string(what) + " " + target.string());
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

std::FILE* CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                               FileAccess access) {
  // Never through a link put in its place.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    Fail("cannot create a temporary file for", target);
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    Fail("cannot create a temporary file for", target);
  }
  if (::fchmod(fd, ModeFor(target, access)) != 0) {
    const int error = errno;
    std::fclose(file);
    ::unlink(temporary.c_str());
    errno = error;
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

}  // namespace tavorin::os
