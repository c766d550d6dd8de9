// What both platform sides of PendingReplacement share; the platform files
// make the temporary file and move it into place.
#include "os/replace_file.h"

#include <stdexcept>

namespace tavorin::os {

std::filesystem::path TemporaryPathOf(const std::filesystem::path& path) {
  std::filesystem::path name = ".";
  name += path.filename();
  name += ".tavorin-new";
  return path.parent_path() / name;
}

void PendingReplacement::Commit(std::string_view text) {
  if (committed_) {
    throw std::logic_error("the replacement of " + path_.string() + " was already committed");
  }
  MoveIntoPlace(text);
  committed_ = true;
}

void ReplaceFile(const FileLock& held, const std::filesystem::path& path, std::string_view text, FileAccess access) {
  PendingReplacement(held, path, access).Commit(text);
}

}  // namespace tavorin::os
