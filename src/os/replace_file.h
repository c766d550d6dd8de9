#pragma once
// What the two platform sides of PendingReplacement share.

#include <filesystem>

namespace tavorin::os {

// The directory that holds path: "." for a bare file name.
[[nodiscard]] std::filesystem::path DirectoryOf(const std::filesystem::path& path);

// The start of the temporary file's path, hidden beside path:
// "<directory>/.<name>."; each platform adds what makes it unique.
[[nodiscard]] std::filesystem::path TemporaryNameStem(const std::filesystem::path& path);

}  // namespace tavorin::os
