// PendingReplacement over the C runtime's files; the platform files make the
// temporary file and move it into place.
#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "os/replace_file.h"
#include "replace_file_platform.h"

namespace tavorin::os {
namespace {

[[noreturn]] void Fail(std::string_view what, const std::filesystem::path& target, int error) {
  throw std::system_error(error, std::generic_category(), std::string(what) + " " + target.string());
}

// Writes text at the file's position and flushes it to the system.
void Write(std::FILE* file, std::string_view text, std::string_view what, const std::filesystem::path& target) {
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0) {
    Fail(what, target, errno);
  }
}

}  // namespace

// The open temporary file; closed, and removed unless the move took it.
struct PendingReplacement::Temporary {
  Temporary(std::filesystem::path name, std::FILE* opened) : path(std::move(name)), file(opened) {}
  Temporary(const Temporary&) = delete;
  Temporary& operator=(const Temporary&) = delete;
  ~Temporary() {
    static_cast<void>(Close());
    if (!moved) {
      std::error_code ignored;
      std::filesystem::remove(path, ignored);
    }
  }
  // Closes now, so that the caller sees whether the last write failed.
  [[nodiscard]] int Close() { return file == nullptr ? 0 : std::fclose(std::exchange(file, nullptr)); }

  std::filesystem::path path;
  std::FILE* file;
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
    : path_(std::move(path)) {
  RefuseUnwritableTarget(path_);
  // A killed run's temporary file goes first (a link put in its place, not
  // what it points to): the new one is made afresh, with this run's owner and
  // permissions.
  std::filesystem::path temporary = TemporaryPathOf(path_);
  if (std::error_code error; !std::filesystem::remove(temporary, error) && error) {
    Fail("cannot create a temporary file for", path_, error.value());
  }
  std::FILE* file = CreateTemporaryFile(temporary, path_, access);
  temporary_ = std::make_unique<Temporary>(std::move(temporary), file);
  // The room is written out, which secures it on any file system; the text
  // goes over it from the start.
  Write(temporary_->file, std::string(room, ' '), "cannot reserve disk space for", path_);
  std::rewind(temporary_->file);
}

PendingReplacement::~PendingReplacement() = default;

void PendingReplacement::Commit(std::string_view text) {
  if (committed_) {
    throw std::logic_error("the replacement of " + path_.string() + " was already committed");
  }
  Write(temporary_->file, text, "cannot write", path_);
  CutAndSync(temporary_->file, text.size(), path_);
  if (temporary_->Close() != 0) {
    Fail("cannot write", path_, errno);
  }
  MoveOver(temporary_->path, path_);
  temporary_->moved = true;
  committed_ = true;
}

void ReplaceFile(const FileLock& held, const std::filesystem::path& path, std::string_view text, FileAccess access) {
  PendingReplacement(held, path, access).Commit(text);
}

}  // namespace tavorin::os
