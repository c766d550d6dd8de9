#pragma once
// An open POSIX file descriptor, closed when its owner goes.

#include <unistd.h>

#include <utility>

namespace tavorin::os {

class FileDescriptor {
 public:
  // Takes over fd; a negative fd stands for none.
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }

  [[nodiscard]] int get() const { return fd_; }

  // Closes now, so that the caller sees whether close failed (a late write
  // error on some file systems).
  [[nodiscard]] int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

}  // namespace tavorin::os
