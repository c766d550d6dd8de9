#pragma once
// Files on POSIX systems: descriptors that close themselves, and opening so
// that only regular files are used: a FIFO, a device or a folder in the place
// of one is refused at once, saying what it is, and never waited on.

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <utility>

#include "file_stream.h"

namespace tavorin::os {

// An open descriptor (or -1), closed when its owner goes unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ != -1) {
      ::close(fd_);
    }
  }

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// open(2) with flags and mode, plus O_NONBLOCK and O_CLOEXEC: the regular file
// there. Throws naming what and path otherwise; or, where mayFail and the file
// could not be opened at all (not for what it is), gives -1.
[[nodiscard]] Descriptor OpenRegularFile(const std::filesystem::path& path, int flags, mode_t mode,
                                         std::string_view what, bool mayFail = false);

// A C stream over fd, which it then owns. Throws naming what and path.
[[nodiscard]] FilePtr StreamOf(Descriptor fd, const char* mode, std::string_view what,
                               const std::filesystem::path& path);

// "a FIFO", "a folder", ... for a file mode that is not a regular file's.
[[nodiscard]] std::string_view KindOfFile(mode_t mode);

// The folder a file lies in: its parent, or "." for a bare name.
[[nodiscard]] std::filesystem::path FolderOf(const std::filesystem::path& file);

// The mode for a file the program makes in folder, where it would otherwise
// get usual: read and write for the owner and the group and nothing for others
// where the folder's group may write it, whatever the umask, so that a folder
// shared with a group keeps working for every member.
[[nodiscard]] mode_t NewFileMode(const std::filesystem::path& folder, mode_t usual);

// mode less the bits that the process's umask takes away.
[[nodiscard]] mode_t LessUmask(mode_t mode);

}  // namespace tavorin::os
