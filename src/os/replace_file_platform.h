#pragma once
// The platform's side of PendingReplacement. Each throws std::system_error
// naming target when the system refuses.

#include <cstdio>
#include <filesystem>

#include "os/replace_file.h"

namespace tavorin::os {

// Refuses an existing target that this user may not write, before anything
// else, as writing to it in place would be: a move over it would fail only at
// the end, after the cloud has issued a new token pair.
void RefuseUnwritableTarget(const std::filesystem::path& target);

// Creates temporary, which must not exist, for writing, with the permissions
// that access gives the target.
[[nodiscard]] std::FILE* CreateTemporaryFile(const std::filesystem::path& temporary,
                                             const std::filesystem::path& target, FileAccess access);

// Cuts the flushed file to size bytes and has the system write it to disk.
void CutAndSync(std::FILE* file, std::size_t size, const std::filesystem::path& target);

// Moves the closed temporary over target, durably where the system allows.
void MoveOver(const std::filesystem::path& temporary, const std::filesystem::path& target);

}  // namespace tavorin::os
