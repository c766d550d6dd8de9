#pragma once
// Whole-file text operations. Each opens, uses and closes its file within the
// call and throws std::system_error naming the file when anything fails.

#include <filesystem>
#include <string>
#include <string_view>

namespace tavorin::os {

// The file's whole content as bytes.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);

// Appends line, which carries its own line end, in a single write, creating
// the file when absent. When the file's last line has no line end, CR LF goes
// first, so the new line never runs into what was there before. Appending needs
// only write access: a file that cannot be read is taken to end with a line end.
void AppendLine(const std::filesystem::path& path, std::string_view line);

}  // namespace tavorin::os
