#include "os/text_file.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "file_stream.h"

namespace tavorin::os {

void ThrowFileError(std::string_view what, const std::filesystem::path& path, int error) {
  throw std::system_error(error, std::generic_category(), std::string(what) + " " + path.string());
}

void ThrowNotRegular(std::string_view what, const std::filesystem::path& path, std::string_view kind) {
  throw std::runtime_error(std::string(what) + " " + path.string() + ": it is " + std::string(kind) +
                           ", not a regular file");
}

std::string ReadTextFile(const std::filesystem::path& path, std::size_t most) {
  const FilePtr file = OpenFile(path, OpenMode::Read, "cannot open");
  std::string content;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (count > most - content.size()) {
      throw std::runtime_error("cannot read " + path.string() + ": it holds more than " + std::to_string(most) +
                               " bytes");
    }
    content.append(buffer, count);
  }
  if (std::ferror(file.get())) {
    ThrowFileError("cannot read", path, errno);
  }
  return content;
}

}  // namespace tavorin::os
