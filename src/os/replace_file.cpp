// ReplaceFile and what both sides of PendingReplacement share; the platform
// files create the temporary file and move it into place.
#include "replace_file.h"

#include <algorithm>
#include <stdexcept>

#include "os/text_file.h"

namespace tavorin::os {

std::filesystem::path DirectoryOf(const std::filesystem::path& path) {
  return path.parent_path().empty() ? "." : path.parent_path();
}

std::filesystem::path TemporaryNameStem(const std::filesystem::path& path) {
  std::filesystem::path name = ".";
  name += path.filename();
  name += ".";
  return DirectoryOf(path) / name;
}

std::vector<std::filesystem::path> TemporaryFiles(const std::filesystem::path& path,
                                                  std::string_view suffixCharacters) {
  const auto stem = TemporaryNameStem(path).filename().native();
  const auto isSuffixCharacter = [&](auto c) {
    return c > 0 && c < 128 && suffixCharacters.find(static_cast<char>(c)) != std::string_view::npos;
  };
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (auto entry = std::filesystem::directory_iterator(DirectoryOf(path), error);
       !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    const auto name = entry->path().filename().native();
    if (name.size() > stem.size() && name.size() <= stem.size() + 6 && name.starts_with(stem) &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(stem.size()), name.end(), isSuffixCharacter)) {
      found.push_back(entry->path());
    }
  }
  return found;
}

void PendingReplacement::Commit(std::string_view text) {
  if (committed_) {
    throw std::logic_error("the replacement of " + path_.string() + " was already committed");
  }
  MoveIntoPlace(text);
  committed_ = true;
}

void ReplaceFile(const std::filesystem::path& path, std::string_view text, FileAccess access) {
  PendingReplacement(path, access).Commit(text);
}

}  // namespace tavorin::os
