// The replacement on POSIX systems: file modes and flags, fsync and rename.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "posix_file.h"
#include "replace_file_platform.h"

namespace tavorin::os {
namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& target) {
  ThrowFileError(what, target, errno);
}

// A rename over a file fails on an append-only or immutable one, and in a
// folder with either flag; where the flags cannot be read, the move will tell.
void RefuseUnchangeable(const std::filesystem::path& path, const std::filesystem::path& target) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  int flags = 0;
  const bool known = fd.get() != -1 && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0;
  if (known && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0) {
    const std::string kind = (flags & FS_IMMUTABLE_FL) != 0 ? "immutable" : "append-only";
    throw std::runtime_error("cannot replace " + target.string() + ": " +
                             (path == target ? "it is " + kind : "its folder is " + kind));
  }
}

// Makes a rename in the folder durable; a folder that refuses fsync is no loss.
void SyncFolderOf(const std::filesystem::path& file) {
  if (const Descriptor dir(::open(FolderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.get() != -1) {
    ::fsync(dir.get());
  }
}

}  // namespace

void RefuseUnreplaceableTarget(const std::filesystem::path& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0) {
    if (errno == ENOENT) {
      return;
    }
    Fail("cannot write", target);
  }
  if (!S_ISREG(existing.st_mode)) {
    ThrowNotRegular("cannot write", target, KindOfFile(existing.st_mode));
  }
  if (::access(target.c_str(), W_OK) != 0) {
    Fail("cannot write", target);
  }
  const std::filesystem::path folder = FolderOf(target);
  RefuseUnchangeable(target, target);
  RefuseUnchangeable(folder, target);
  // In a sticky folder only the file's owner, the folder's and root may
  // replace a file.
  struct stat folderStatus {};
  const uid_t user = ::geteuid();
  if (::stat(folder.c_str(), &folderStatus) == 0 && (folderStatus.st_mode & S_ISVTX) != 0 && user != 0 &&
      existing.st_uid != user && folderStatus.st_uid != user) {
    throw std::runtime_error("cannot replace " + target.string() +
                             ": it belongs to another user, in a folder where only the owner may replace it");
  }
}

FilePtr CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                            FileAccess access) {
  // Never through a link put in its place.
  Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (fd.get() == -1) {
    Fail("cannot create a temporary file for", target);
  }
  // The new file's mode: the old file's, where there is one, and its group,
  // which keeps a folder shared with a group working; only the owner's and
  // the group's bits for credentials. With no old file, the owner's alone for
  // credentials, and otherwise what a new file gets in its folder.
  mode_t mode = S_IRUSR | S_IWUSR;
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) {
    const mode_t kept = access == FileAccess::OwnerOnly ? S_IRWXU | S_IRWXG : S_IRWXU | S_IRWXG | S_IRWXO;
    mode |= existing.st_mode & kept;
    // A group this user is not in cannot be given: then none of its bits.
    if (existing.st_gid != ::getegid() && ::fchown(fd.get(), static_cast<uid_t>(-1), existing.st_gid) != 0) {
      mode &= ~static_cast<mode_t>(S_IRWXG);
    }
  } else if (access == FileAccess::Shared) {
    mode = NewFileMode(FolderOf(target), LessUmask(S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH));
  }
  if (::fchmod(fd.get(), mode) != 0) {
    Fail("cannot set permissions on", target);
  }
  return StreamOf(std::move(fd), "wb", "cannot create a temporary file for", target);
}

void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target) {
  if (!CutFile(file, size) || ::fsync(::fileno(file)) != 0) {
    Fail("cannot write", target);
  }
}

void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    Fail("cannot replace", target);
  }
  SyncFolderOf(target);
}

void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  // File systems without the flag get a look first: the folder's lock keeps
  // the program's other runs out meanwhile.
  int error = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
  if (error == EINVAL) {
    struct stat existing {};
    error = ::lstat(to.c_str(), &existing) == 0 ? EEXIST : ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  if (error != 0) {
    ThrowFileError("cannot move " + from.string() + " to", to, error);
  }
  SyncFolderOf(to);
}

Leftover LookAtLeftover(const std::filesystem::path& temporary, const std::filesystem::path& target) {
  struct stat found {};
  struct stat owner {};
  if (::lstat(temporary.c_str(), &found) != 0 || !S_ISREG(found.st_mode)) {
    return {};
  }
  return {true, found.st_uid == ::geteuid() || (::stat(target.c_str(), &owner) == 0 && found.st_uid == owner.st_uid)};
}

}  // namespace tavorin::os
