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

// The text itself, for where no file could take it.
std::string InMessage(std::string_view what, const std::filesystem::path& target, std::string_view text) {
  if (text.ends_with("\r\n")) {
    text.remove_suffix(2);
  }
  return std::string(what) + " could not be written to any file: put it in " + target.string() +
         " by hand, as these lines:\n" + std::string(text);
}

}  // namespace

// The temporary file; closed, and once made removed unless the move took it or
// it keeps a text, however far its writing got.
struct PendingReplacement::Temporary {
  explicit Temporary(std::filesystem::path name) : path(std::move(name)) {}
  ~Temporary() {
    file.reset();
    if (made && !moved && !kept) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }

  std::filesystem::path path;
  FilePtr file;
  bool made = false;
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
  // permissions. Another user's may hold a text of theirs, and stays.
  if (const Leftover leftover = LookAtLeftover(temporary_->path, target_); leftover.present && !leftover.trusted) {
    throw std::runtime_error("cannot replace " + target_.string() + ": " + temporary_->path.string() +
                             " belongs to another user");
  }
  if (std::error_code error; !std::filesystem::remove(temporary_->path, error) && error) {
    ThrowFileError("cannot create a temporary file for", target_, error.value());
  }
  temporary_->file = CreateTemporaryFile(temporary_->path, target_, access);
  temporary_->made = true;
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
  const bool keep = !keptAs_.empty();
  try {
    Write(temporary_->file.get(), text, "cannot write", target_);
    temporary_->kept = keep;
    CutAndSync(temporary_->file.get(), text.size(), target_);
    // Closed now, so that a failure of the last write is seen.
    if (std::fclose(temporary_->file.release()) != 0) {
      ThrowFileError("cannot write", target_, errno);
    }
    MoveOver(temporary_->path, target_);
  } catch (const std::exception& error) {
    if (!keep) {
      throw;
    }
    // The text may be the only copy there is: the temporary file keeps it, or
    // where not even that could take it whole, the message itself.
    throw std::runtime_error(std::string(error.what()) + "; " +
                             (temporary_->kept ? WhereKept(keptAs_, target_) : InMessage(keptAs_, target_, text)));
  }
  temporary_->moved = true;
}

void ReplaceFile(const FileLock& held, std::string_view text, FileAccess access) {
  PendingReplacement(held, access).Commit(text);
}

}  // namespace tavorin::os
