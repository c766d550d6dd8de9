// PendingReplacement over the C runtime's files; the platform files make the
// temporary file and move it into place.
#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "os/replace_file.h"
#include "platform.h"

namespace tavorin::os {
namespace {

// Writes text at the file's position and flushes it to the system.
void Write(std::FILE* file, std::string_view text, std::string_view what, const std::filesystem::path& target) {
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
    ThrowFileError(what, target, errno);
  }
}

}  // namespace

// The temporary file; closed, and removed unless the move took it, however
// far its making got.
struct PendingReplacement::Temporary {
  explicit Temporary(std::filesystem::path name) : path(std::move(name)) {}
  ~Temporary() {
    file.reset();
    if (!moved) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }

  std::filesystem::path path;
  FilePtr file;
  bool moved = false;
};

std::filesystem::path TemporaryPathOf(const std::filesystem::path& path) {
  std::filesystem::path name = ".";
  name += path.filename();
  name += ".tavorin-new";
  return path.parent_path() / name;
}

PendingReplacement::PendingReplacement(const FileLock& /*held*/, std::filesystem::path path, FileAccess access,
                                       std::size_t room)
    : path_(std::move(path)), temporary_(std::make_unique<Temporary>(TemporaryPathOf(path_))) {
  RefuseUnwritableTarget(path_);
  // A killed run's temporary file goes first (a link put in its place, not
  // what it points to): the new one is made afresh, with this run's owner and
  // permissions.
  if (std::error_code error; !std::filesystem::remove(temporary_->path, error) && error) {
    ThrowFileError("cannot create a temporary file for", path_, error.value());
  }
  temporary_->file = CreateTemporaryFile(temporary_->path, path_, access);
  // The room is written out, which secures it on any file system; the text
  // goes over it from the start.
  Write(temporary_->file.get(), std::string(room, ' '), "cannot reserve disk space for", path_);
  std::rewind(temporary_->file.get());
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::Commit(std::string_view text) {
  if (temporary_->moved) {
    throw std::logic_error("the replacement of " + path_.string() + " was already committed");
  }
  Write(temporary_->file.get(), text, "cannot write", path_);
  CutAndSync(temporary_->file.get(), text.size(), path_);
  // Closed now, so that a failure of the last write is seen.
  if (std::fclose(temporary_->file.release()) != 0) {
    ThrowFileError("cannot write", path_, errno);
  }
  MoveOver(temporary_->path, path_);
  temporary_->moved = true;
}

void ReplaceFile(const FileLock& held, const std::filesystem::path& path, std::string_view text, FileAccess access) {
  PendingReplacement(held, path, access).Commit(text);
}

}  // namespace tavorin::os
