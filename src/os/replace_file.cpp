// PendingReplacement over the C runtime's files; the platform files check the
// target, make the temporary file and move it into place.
#include "os/replace_file.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "replace_file_platform.h"

namespace tavorin::os {
namespace {

// Writes text at the file's position and flushes it to the system.
void Write(std::FILE* file, std::string_view text, std::string_view what, const std::filesystem::path& target) {
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
    ThrowFileError(what, target, errno);
  }
}

}  // namespace

// The temporary file; closed, and removed unless the move took it or it keeps
// a text, however far its making got.
struct PendingReplacement::Temporary {
  explicit Temporary(std::filesystem::path name) : path(std::move(name)) {}
  ~Temporary() {
    file.reset();
    if (!moved && !kept) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }

  std::filesystem::path path;
  FilePtr file;
  bool moved = false;
  bool kept = false;
};

std::filesystem::path TemporaryPathOf(const std::filesystem::path& path) {
  std::filesystem::path name = ".";
  name += path.filename();
  name += ".tavorin-new";
  return path.parent_path() / name;
}

std::string WhereKept(std::string_view what, const std::filesystem::path& target) {
  return std::string(what) + " is in " + TemporaryPathOf(target).string() + ": move it over " + target.string();
}

PendingReplacement::PendingReplacement(const FileLock& held, FileAccess access, std::size_t room,
                                       std::string_view keptAs)
    : target_(held.Target()), keptAs_(keptAs), temporary_(std::make_unique<Temporary>(TemporaryPathOf(target_))) {
  RefuseUnreplaceableTarget(target_);
  // A killed run's temporary file goes first (a link put in its place, not
  // what it points to): the new one is made afresh, with this run's owner and
  // permissions.
  if (std::error_code error; !std::filesystem::remove(temporary_->path, error) && error) {
    ThrowFileError("cannot create a temporary file for", target_, error.value());
  }
  temporary_->file = CreateTemporaryFile(temporary_->path, target_, access);
  // The room is written out, which secures it on any file system; the text
  // goes over it from the start.
  Write(temporary_->file.get(), std::string(room, ' '), "cannot reserve disk space for", target_);
  std::rewind(temporary_->file.get());
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::Commit(std::string_view text) {
  if (temporary_->moved || temporary_->kept) {
    throw std::logic_error("the replacement of " + target_.string() + " was already committed");
  }
  Write(temporary_->file.get(), text, "cannot write", target_);
  temporary_->kept = !keptAs_.empty();
  try {
    CutAndSync(temporary_->file.get(), text.size(), target_);
    // Closed now, so that a failure of the last write is seen.
    if (std::fclose(temporary_->file.release()) != 0) {
      ThrowFileError("cannot write", target_, errno);
    }
    MoveOver(temporary_->path, target_);
  } catch (const std::exception& error) {
    if (!temporary_->kept) {
      throw;
    }
    // The text is in the temporary file, and may be the only copy there is.
    throw std::runtime_error(std::string(error.what()) + "; " + WhereKept(keptAs_, target_));
  }
  temporary_->moved = true;
}

void ReplaceFile(const FileLock& held, std::string_view text, FileAccess access) {
  PendingReplacement(held, access).Commit(text);
}

}  // namespace tavorin::os
