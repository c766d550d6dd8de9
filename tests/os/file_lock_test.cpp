// The lock that keeps refreshes apart: one holder at a time, a waiter that
// gets it once the holder lets go, and a refusal naming the file otherwise.
#include "os/file_lock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <thread>

#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

TEST(FileLockTest, OneHolderAtATimeAndAWaiterGetsTheLockOnceItIsLetGo) {
  const testing::TempDir dir;
  const std::filesystem::path lockFile = dir / "tokens.txt.lock";
  std::optional<FileLock> first(std::in_place, lockFile, std::chrono::milliseconds(50));
  EXPECT_THAT([&] { FileLock second(lockFile, std::chrono::milliseconds(50)); },
              ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("cannot lock " + lockFile.string())));
  std::thread holder([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.reset();
  });
  EXPECT_NO_THROW(FileLock(lockFile, std::chrono::seconds(30)));
  holder.join();
#if !defined(_WIN32)
  // Anyone who shares the token file may lock it too.
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(lockFile).permissions() & perms::all,
            perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
#endif
}

}  // namespace
}  // namespace tavorin::os
