#pragma once
// Whole-file text operations. Each opens, uses and closes its file within the
// call and throws std::system_error naming the file when anything fails.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tavorin::os {

enum class FileAccess {
  OwnerOnly,  // credentials: readable and writable by the owner alone
  Shared,     // ordinary files: the usual read access for others
};

// The file's whole content as bytes.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);

// Appends line, which carries its own line end, in a single write, creating
// the file when absent. When the file's last line has no line end, CR LF goes
// first, so the new line never runs into what was there before. Appending needs
// only write access: a file that cannot be read is taken to end with a line end.
void AppendLine(const std::filesystem::path& path, std::string_view line);

// Replaces the file's content as one step: the text goes to a temporary file in
// the same directory, which is flushed to disk and then renamed over path. When
// anything fails, the old file stays as it was. An existing file that this user
// may not write is refused rather than renamed over. A Shared file keeps the
// mode of the file it replaces; an OwnerOnly file is always the owner's alone.
void ReplaceFile(const std::filesystem::path& path, std::string_view text, FileAccess access);

// A ReplaceFile split in two: the temporary file is created at once, with room
// bytes of disk space secured in it, so a directory or a disk that cannot take
// the new file fails before the text exists (a full disk with a message that
// names the disk space); Commit writes the text, which may be longer than room
// if it fits, and renames. Dropped without Commit, the temporary goes and path
// stays as it was.
//
// The temporary file is hidden beside path: ".<name>." and a suffix. A run
// keeps its own from other runs for as long as it uses it, and removes the
// ones of runs that ended without removing theirs (killed runs), so that they
// never pile up.
class PendingReplacement {
 public:
  PendingReplacement(std::filesystem::path path, FileAccess access, std::size_t room = 0);
  PendingReplacement(const PendingReplacement&) = delete;
  PendingReplacement& operator=(const PendingReplacement&) = delete;
  ~PendingReplacement();

  // Only once.
  void Commit(std::string_view text);

 private:
  struct Temporary;
  // The platform's part of Commit: writes text to the temporary file, flushes
  // it to disk and moves it over path_.
  void MoveIntoPlace(std::string_view text);

  std::filesystem::path path_;
  std::unique_ptr<Temporary> temporary_;
  bool committed_ = false;
};

}  // namespace tavorin::os
