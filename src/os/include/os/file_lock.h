#pragma once
// The program's files are written only under the lock that guards each: a
// small sidecar file, "<file>.lock", beside the file it guards. A GuardedFile
// names the file and how long a run waits for its lock; FileLock is the lock
// held, and the writes (AppendLine here, the replacements of replace_file.h)
// take it as proof. The locks are advisory: only runs that ask for them are
// kept apart.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tavorin::os {

class FileLock;

class GuardedFile {
 public:
  GuardedFile(std::filesystem::path path, std::chrono::milliseconds lockWait);

  [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

  // The file that the path leads to, through symbolic links as the system
  // follows them (the path itself where it is none), which reads and writes
  // reach. A link is followed only where this user can trust it: in a folder
  // that others may write, only this user's own links and the folder owner's.
  // Throws std::runtime_error or std::system_error naming the path otherwise.
  [[nodiscard]] std::filesystem::path Target() const;

  // The file's whole content, read by its path once Target has checked the
  // links on the way; throws as ReadTextFile does, naming the path.
  [[nodiscard]] std::string Read() const;

  // Whether the path leads to the null device, which takes the writes and
  // keeps none: then AppendLine does nothing, and the file has no lock.
  [[nodiscard]] bool DiscardsWrites() const;

  // Takes the lock, waiting up to the lock wait. A file that is a symbolic
  // link is guarded at its Target, so that every link to one file shares its
  // lock. Throws std::system_error naming the lock file when it cannot be
  // opened or locked (a lock file that is itself a link, or no regular file,
  // is refused), and std::runtime_error naming it when another run still holds
  // it once the wait is over.
  [[nodiscard]] FileLock Lock() const;

  // Opens the file for appending as AppendLine does, creating it when absent,
  // and closes it again, so that a file that could not take a line fails
  // before the work that the line would record.
  void CheckAppendable() const;

  // Appends line, which carries its own line end, in a single write, creating
  // the file when absent, under the lock; without it where the lock file
  // cannot be made, as in a read-only directory, since the line is worth more.
  // When the file's last line has no line end, CR LF goes first; a line that
  // is written only in part is taken back. Needs only write access to the
  // file. Throws std::system_error naming the file.
  void AppendLine(std::string_view line) const;

 private:
  // Lock's work on target; none where mayFail and the lock file cannot be made.
  [[nodiscard]] std::optional<FileLock> TakeLock(std::filesystem::path target, bool mayFail) const;

  std::filesystem::path path_;
  std::chrono::milliseconds lockWait_;
};

class FileLock {
 public:
  FileLock(FileLock&& other) noexcept : target_(std::move(other.target_)), file_(std::exchange(other.file_, kNoFile)) {}
  FileLock& operator=(FileLock&&) = delete;
  // Releases the lock.
  ~FileLock();

  // The file it guards, links followed.
  [[nodiscard]] const std::filesystem::path& Target() const { return target_; }

  // The platform's open file: a descriptor or a handle, which fits either.
  using NativeFile = std::intptr_t;
  static constexpr NativeFile kNoFile = -1;

 private:
  friend class GuardedFile;
  FileLock(std::filesystem::path target, NativeFile file) : target_(std::move(target)), file_(file) {}

  std::filesystem::path target_;
  NativeFile file_;
};

}  // namespace tavorin::os
