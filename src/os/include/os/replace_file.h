#pragma once
// Replacing a whole file as one step, so that a reader finds either the old
// content or the new, never a part, whatever happens meanwhile. Only the file
// that a held lock guards can be replaced.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "os/file_lock.h"

namespace tavorin::os {

enum class FileAccess {
  OwnerOnly,  // credentials: the owner's, and the group's where the old file let it in; never others'
  Shared,     // ordinary files: the mode of the old file, or the usual read access for others
};

// The one temporary file of path, hidden beside it: ".<name>.tavorin-new".
[[nodiscard]] std::filesystem::path TemporaryPathOf(const std::filesystem::path& path);

// "<what> is in <temporary>: move it over <target>", where a text that could
// not be moved into place waits.
[[nodiscard]] std::string WhereKept(std::string_view what, const std::filesystem::path& target);

// A replacement of the file that held guards (a link's target), begun at once:
// its temporary file, beside it, is made anew with room bytes of disk space
// secured in it, so a directory or a disk that cannot take the new file fails
// before the text exists. So does a target that the system would not let this
// user replace: one this user may not write, an append-only or immutable one,
// or another user's in a sticky folder. Commit writes the text, which may be
// longer than room if it fits, flushes it to disk and moves it over the target.
// When anything fails, or the replacement goes without Commit, the temporary
// file goes and the target stays as it was; except that a text called keptAs
// ("the new token pair") is never lost once Commit has it: the temporary file
// keeps it, and the error says so (WhereKept), or where the text could not be
// written whole, the error carries the text itself.
//
// The temporary file has a fixed name, and the lock guards it too: one that a
// killed run left is simply made anew, unless it is another user's, which is
// refused. Texts worth keeping are looked for first (kept_text.h). No other
// file is ever removed.
class PendingReplacement {
 public:
  PendingReplacement(const FileLock& held, FileAccess access, std::size_t room = 0, std::string_view keptAs = {});
  ~PendingReplacement();

  // Only once.
  void Commit(std::string_view text);

 private:
  struct Temporary;

  std::filesystem::path target_;
  std::string keptAs_;
  std::unique_ptr<Temporary> temporary_;
};

// A whole replacement at once.
void ReplaceFile(const FileLock& held, std::string_view text, FileAccess access);

}  // namespace tavorin::os
