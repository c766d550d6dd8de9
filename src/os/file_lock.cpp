#include "os/file_lock.h"

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "file_lock_platform.h"
#include "file_stream.h"
#include "os/text_file.h"

namespace tavorin::os {
namespace {

// How often a waiting run tries again.
constexpr std::chrono::milliseconds kRetryInterval{20};

std::filesystem::path LockPathOf(const std::filesystem::path& file) {
  std::filesystem::path lock = file;
  lock += ".lock";
  return lock;
}

void WaitForLock(FileLock::NativeFile file, const std::filesystem::path& path, std::chrono::milliseconds wait) {
  // The system's locks have no time-out of their own: try without blocking
  // until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!TryLockFile(file, path)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("cannot lock " + path.string() + ": another run still holds it after " +
                               std::to_string(wait.count()) + " ms");
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

// Whether the file's content ends with a line end (true for an empty file).
// Only a look: a file this user may append to but not read counts as ending
// with one, so that its new line is still written.
bool EndsWithLineEnd(const std::filesystem::path& path) {
  const FilePtr file = OpenIfReadable(path);
  char last = '\n';
  if (file && std::fseek(file.get(), -1, SEEK_END) == 0 && std::fread(&last, 1, 1, file.get()) == 1) {
    return last == '\n' || last == '\r';
  }
  return true;
}

}  // namespace

GuardedFile::GuardedFile(std::filesystem::path path, std::chrono::milliseconds lockWait)
    : path_(std::move(path)), lockWait_(lockWait) {}

std::filesystem::path GuardedFile::Target() const {
  return FileBehind(path_);
}

std::string GuardedFile::Read() const {
  static_cast<void>(Target());
  return ReadTextFile(path_);
}

bool GuardedFile::DiscardsWrites() const {
  return IsNullDevice(Target());
}

FileLock GuardedFile::Lock() const {
  return *TakeLock(Target(), false);
}

// Once the lock owns the file, a throw while waiting closes it.
std::optional<FileLock> GuardedFile::TakeLock(std::filesystem::path target, bool mayFail) const {
  const std::filesystem::path lockPath = LockPathOf(target);
  const FileLock::NativeFile file = OpenLockFile(lockPath, mayFail);
  if (file == FileLock::kNoFile) {
    return std::nullopt;
  }
  std::optional<FileLock> lock(FileLock(std::move(target), file));
  WaitForLock(lock->file_, lockPath, lockWait_);
  return lock;
}

void GuardedFile::CheckAppendable() const {
  if (const std::filesystem::path target = Target(); !IsNullDevice(target)) {
    static_cast<void>(OpenFile(target, OpenMode::Append, "cannot open"));
  }
}

void GuardedFile::AppendLine(std::string_view line) const {
  const std::filesystem::path target = Target();
  if (IsNullDevice(target)) {
    return;
  }
  const std::optional<FileLock> lock = TakeLock(target, true);
  // Opened for appending only, so that a log this user may write but not read
  // still takes its line; the last byte comes from a look of its own.
  FilePtr file = OpenFile(target, OpenMode::Append, "cannot open");
  // Unbuffered, the whole text goes to the system in one write, and with the
  // file opened for appending, lines from runs without the lock never
  // interleave.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::string text = EndsWithLineEnd(target) ? "" : "\r\n";
  text.append(line);
  const long end = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    // A part of a line (on a full disk, say) is taken back: the next line
    // must not be appended to it.
    const int error = errno;
    if (end >= 0) {
      static_cast<void>(CutFile(file.get(), static_cast<std::size_t>(end)));
    }
    ThrowFileError("cannot write", target, error);
  }
  // Closed explicitly so that a failed final flush (a full disk) is reported.
  if (std::fclose(file.release()) != 0) {
    ThrowFileError("cannot write", target, errno);
  }
}

FileLock::~FileLock() {
  if (file_ != kNoFile) {
    CloseLockFile(file_);
  }
}

}  // namespace tavorin::os
