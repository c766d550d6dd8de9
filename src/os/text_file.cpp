#include "os/text_file.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform.h"

namespace tavorin::os {
namespace {

FilePtr Open(const std::filesystem::path& path, const char* mode, std::string_view what) {
  FilePtr file(OpenFile(path, mode));
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

// Whether the file's content ends with a line end (true for an empty file).
// Only a look: a file this user may append to but not read counts as ending
// with one, so that its new line is still written.
bool EndsWithLineEnd(const std::filesystem::path& path) {
  const FilePtr file(OpenFile(path, "rb"));
  char last = '\n';
  if (file && std::fseek(file.get(), -1, SEEK_END) == 0 && std::fread(&last, 1, 1, file.get()) == 1) {
    return last == '\n' || last == '\r';
  }
  return true;
}

}  // namespace

void ThrowFileError(std::string_view what, const std::filesystem::path& path, int error) {
  throw std::system_error(error, std::generic_category(), std::string(what) + " " + path.string());
}

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
  // Opened for appending only, so that a log this user may write but not read
  // still takes its line; the last byte comes from a look of its own.
  FilePtr file = Open(path, "ab", "cannot open");
  // Unbuffered, the whole text goes to the system in one write, and with the
  // file opened for appending, lines from concurrent runs never interleave.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  std::string text = EndsWithLineEnd(path) ? "" : "\r\n";
  text.append(line);
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
    ThrowFileError("cannot write", path, errno);
  }
  Close(std::move(file), path);
}

}  // namespace tavorin::os
