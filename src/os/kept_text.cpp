#include "os/kept_text.h"

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "file_stream.h"
#include "os/replace_file.h"
#include "os/text_file.h"
#include "replace_file_platform.h"

namespace tavorin::os {

std::optional<KeptText> FindKeptText(const std::filesystem::path& target, std::size_t most) {
  const std::filesystem::path temporary = TemporaryPathOf(target);
  if (const Leftover found = LookAtLeftover(temporary, target); !found.present || !found.trusted) {
    return std::nullopt;
  }
  KeptText kept{ReadTextFile(temporary, most), true};
  // A target that is missing, or whose time cannot be read, was not changed
  // since; one changed in the same clock tick is taken as older.
  std::error_code error;
  const auto targetTime = std::filesystem::last_write_time(target, error);
  if (!error) {
    const auto keptTime = std::filesystem::last_write_time(temporary, error);
    kept.newer = error || keptTime >= targetTime;
  }
  return kept;
}

void MoveKeptText(const FileLock& held, std::size_t length, std::string_view what) {
  const std::filesystem::path temporary = TemporaryPathOf(held.Target());
  try {
    FilePtr file = OpenFile(temporary, OpenMode::Append, "cannot write");
    CutAndSync(file.get(), length, held.Target());
    if (std::fclose(file.release()) != 0) {
      ThrowFileError("cannot write", held.Target(), errno);
    }
    MoveOver(temporary, held.Target());
  } catch (const std::exception& error) {
    throw std::runtime_error(std::string(error.what()) + "; " + WhereKept(what, held.Target()));
  }
}

std::filesystem::path AsidePathOf(const std::filesystem::path& path) {
  std::filesystem::path name = ".";
  name += path.filename();
  name += ".tavorin-old";
  return path.parent_path() / name;
}

void SetKeptTextAside(const FileLock& held) {
  MoveWithoutReplacing(TemporaryPathOf(held.Target()), AsidePathOf(held.Target()));
}

}  // namespace tavorin::os
