#include "cloud/text_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

namespace tavorin::cloud {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void ThrowFileError(std::string_view what, const std::filesystem::path& path, int error) {
  throw std::system_error(error, std::generic_category(),
                          std::string(what) + " " + path.string());
}

FilePtr Open(const std::filesystem::path& path, const char* mode, std::string_view what) {
  FilePtr file(std::fopen(path.c_str(), mode));
  if (!file) {
    ThrowFileError(what, path, errno);
  }
  return file;
}

// Closes explicitly so that a failed final flush (a full disk) is reported.
void Close(FilePtr file, const std::filesystem::path& path) {
  if (std::fclose(file.release()) != 0) {
    ThrowFileError("cannot write", path, errno);
  }
}

}  // namespace

std::string ReadTextFile(const std::filesystem::path& path) {
  FilePtr file = Open(path, "rb", "cannot open");
  std::string content;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    content.append(buffer, count);
  }
  if (std::ferror(file.get())) {
    ThrowFileError("cannot read", path, errno);
  }
  return content;
}

void AppendLine(const std::filesystem::path& path, std::string_view line) {
  FilePtr file = Open(path, "ab+", "cannot open");
  // Unbuffered, the whole text goes to the system in one write, and with the
  // file opened for appending, lines from concurrent runs never interleave.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::string text;
  char last = '\n';
  if (std::fseek(file.get(), -1, SEEK_END) == 0 && std::fread(&last, 1, 1, file.get()) == 1 && last != '\n' &&
      last != '\r') {
    text = "\r\n";
  }
  // A write that follows a read on the same stream needs a positioning call.
  std::fseek(file.get(), 0, SEEK_END);
  text.append(line);
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    ThrowFileError("cannot write", path, errno);
  }
  Close(std::move(file), path);
}

void CheckWritable(const std::filesystem::path& path) {
  Close(Open(path, "ab", "cannot open"), path);
}

}  // namespace tavorin::cloud
