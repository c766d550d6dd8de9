#pragma once
// A text that a replacement kept in its temporary file (replace_file.h): one
// that could not be moved into place, or that a killed run left there. It may
// be the only copy there is, so it is moved into place or set aside, never
// removed.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "os/file_lock.h"

namespace tavorin::os {

struct KeptText {
  std::string text;
  // Whether it was written since the file it was to replace last changed.
  bool newer;
};

// The text kept beside target, where a regular file of this user's, or of
// target's owner, is there under the temporary file's name; none otherwise.
// Throws std::runtime_error naming the temporary file when it holds more than
// most bytes, and std::system_error when it cannot be read.
[[nodiscard]] std::optional<KeptText> FindKeptText(const std::filesystem::path& target, std::size_t most);

// Moves the text kept beside the file that held guards over that file, cut to
// length bytes first (a killed run may have left the room it reserved behind
// the text). Throws naming the file and, as WhereKept does, what (such as
// "the new token pair") and where it stays.
void MoveKeptText(const FileLock& held, std::size_t length, std::string_view what);

// Where a kept text that its target has outdated is set aside, hidden beside
// the target: ".<name>.tavorin-old".
[[nodiscard]] std::filesystem::path AsidePathOf(const std::filesystem::path& path);

// Moves the text kept beside the file that held guards to AsidePathOf it.
// Throws naming both when something is there already, which is never replaced.
void SetKeptTextAside(const FileLock& held);

}  // namespace tavorin::os
