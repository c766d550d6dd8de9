// ReplaceFile and what both sides of PendingReplacement share; the platform
// files create the temporary file and move it into place.
#include "replace_file.h"

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
