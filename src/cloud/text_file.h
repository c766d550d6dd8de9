#pragma once
// Whole-file text operations. Each opens, uses and closes its file within the
// call and throws std::system_error naming the file when anything fails.

#include <filesystem>
#include <string>
#include <string_view>

namespace tavorin::cloud {

enum class FileAccess {
  OwnerOnly,  // credentials: readable and writable by the owner alone
  Shared,     // ordinary files: the usual read access for others
};

// The file's whole content as bytes.
[[nodiscard]] std::string ReadTextFile(const std::filesystem::path& path);

// Appends text with a single write, creating the file when absent.
void AppendToFile(const std::filesystem::path& path, std::string_view text);

// Replaces the file's content as one step: the text goes to a temporary file in
// the same directory, which is flushed to disk and then renamed over path. When
// anything fails, the old file stays as it was.
void ReplaceFile(const std::filesystem::path& path, std::string_view text, FileAccess access);

}  // namespace tavorin::cloud
