#include "os/file_lock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <system_error>

#if !defined(_WIN32)
#include "tests/support/process.h"
#endif
#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

constexpr std::chrono::milliseconds kShortWait{50};

class FileLockTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  std::filesystem::path lockFile = dir / "tokens.txt.lock";
};

TEST_F(FileLockTest, SecondLockFailsNamingTheFileWhileTheFirstIsHeldAndSucceedsAfterwards) {
  std::optional<FileLock> first(std::in_place, lockFile, kShortWait);
  EXPECT_THAT([&] { FileLock second(lockFile, kShortWait); },
              ThrowsMessage<std::runtime_error>(HasSubstr(lockFile.string())));
  first.reset();
  EXPECT_NO_THROW(FileLock(lockFile, kShortWait));
}

TEST_F(FileLockTest, LockFileIsCreatedEmptyAndKept) {
  { const FileLock lock(lockFile, kShortWait); }
  ASSERT_TRUE(std::filesystem::is_regular_file(lockFile));
  EXPECT_EQ(std::filesystem::file_size(lockFile), 0u);
  testing::WriteFile(lockFile, "left by someone");
  { const FileLock lock(lockFile, kShortWait); }
  EXPECT_EQ(testing::ReadFile(lockFile), "left by someone") << "an existing lock file is used as it is";
}

#if !defined(_WIN32)
// File modes, umask and users: POSIX matters.
TEST_F(FileLockTest, LockFileIsCreatedReadableByAll) {
  const mode_t previousMask = ::umask(022);
  { const FileLock lock(lockFile, kShortWait); }
  ::umask(previousMask);
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(lockFile).permissions() & perms::all,
            perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
}

// In a child that, under root, is the unprivileged user, for whom the file is
// not writable.
[[noreturn]] void LockAsOrdinaryUser(const std::filesystem::path& lockFile) {
  testing::LeaveRootInChild();
  { const FileLock lock(lockFile, kShortWait); }
  std::_Exit(0);
}

TEST_F(FileLockTest, LockFileThatMayOnlyBeReadCanStillBeLocked) {
  testing::WriteFile(lockFile, "");
  using std::filesystem::perms;
  std::filesystem::permissions(lockFile, perms::owner_read | perms::group_read | perms::others_read);
  EXPECT_EXIT(LockAsOrdinaryUser(lockFile), ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(FileLockTest, LockFileThatCannotBeMadeRaisesAnErrorNamingIt) {
  EXPECT_THAT(
      [&] { FileLock lock(dir / "absent" / "tokens.txt.lock", kShortWait); },
      ThrowsMessage<std::system_error>(HasSubstr((std::filesystem::path("absent") / "tokens.txt.lock").string())));
}

}  // namespace
}  // namespace tavorin::os
