#pragma once
// Replacing a whole file as one step, so that a reader finds either the old
// content or the new, never a part, whatever happens meanwhile.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>

#include "os/file_lock.h"

namespace tavorin::os {

enum class FileAccess {
  OwnerOnly,  // credentials: readable and writable by the owner alone
  Shared,     // ordinary files: the usual read access for others
};

// The one temporary file of path, hidden beside it: ".<name>.tavorin-new".
[[nodiscard]] std::filesystem::path TemporaryPathOf(const std::filesystem::path& path);

// A replacement of path begun at once: its temporary file is made anew, with
// room bytes of disk space secured in it, so a directory or a disk that cannot
// take the new file fails before the text exists. Commit writes the text, which
// may be longer than room if it fits, flushes it to disk and moves it over path.
// When anything fails, or the replacement goes without Commit, the temporary
// file goes and path stays as it was. An existing file that this user may not
// write is refused. A Shared file keeps the mode of the file it replaces; an
// OwnerOnly file is always the owner's alone.
//
// held is the lock that every replacement in the directory holds from start to
// end: so the temporary file can have a fixed name, and one that a killed run
// left is simply made anew. No other file is ever removed.
class PendingReplacement {
 public:
  PendingReplacement(const FileLock& held, std::filesystem::path path, FileAccess access, std::size_t room = 0);
  ~PendingReplacement();

  // Only once.
  void Commit(std::string_view text);

 private:
  struct Temporary;

  std::filesystem::path path_;
  std::unique_ptr<Temporary> temporary_;
};

// A whole replacement at once.
void ReplaceFile(const FileLock& held, const std::filesystem::path& path, std::string_view text, FileAccess access);

}  // namespace tavorin::os
