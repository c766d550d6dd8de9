#pragma once
// What each platform's replace_file_*.cpp provides to the replacement's common
// code; each throws naming target.

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "file_stream.h"
#include "os/replace_file.h"

namespace tavorin::os {

// Refuses, before anything else, an existing target that the final move could
// not replace as far as the system lets one foresee: so that it fails before
// the cloud has issued a new token pair, not after.
void RefuseUnreplaceableTarget(const std::filesystem::path& target);
// Creates temporary, which must not exist, for writing, with the permissions
// that access gives the target.
[[nodiscard]] FilePtr CreateTemporaryFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                                          FileAccess access);
// Cuts the flushed file to size bytes and has the system write it to disk.
void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target);
// Moves the closed temporary over target, durably where the system allows.
void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target);
// Moves from to to, durably where the system allows; throws naming both where
// anything is at to already, which stays.
void MoveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// What is found at a temporary file's name, links not followed: whether a
// regular file is there, and whether it is this user's or target's owner's,
// who alone could have put a text of theirs there.
struct Leftover {
  bool present = false;
  bool trusted = false;
};
[[nodiscard]] Leftover LookAtLeftover(const std::filesystem::path& temporary, const std::filesystem::path& target);

}  // namespace tavorin::os
