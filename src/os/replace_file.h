#pragma once
// What the two platform sides of PendingReplacement share.

#include <filesystem>
#include <string_view>
#include <vector>

namespace tavorin::os {

// The directory that holds path: "." for a bare file name.
[[nodiscard]] std::filesystem::path DirectoryOf(const std::filesystem::path& path);

// The start of the temporary file's path, hidden beside path:
// "<directory>/.<name>."; each platform adds what makes it unique.
[[nodiscard]] std::filesystem::path TemporaryNameStem(const std::filesystem::path& path);

// The files beside path named as its temporary files are: the stem, then one
// to six characters out of suffixCharacters. Those of runs that ended without
// removing theirs (killed runs) among them; each platform tells them from the
// ones in use.
[[nodiscard]] std::vector<std::filesystem::path> TemporaryFiles(const std::filesystem::path& path,
                                                                std::string_view suffixCharacters);

}  // namespace tavorin::os
