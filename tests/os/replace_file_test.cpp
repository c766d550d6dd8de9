// Replacing a file by renaming a new one over it: the mode the new file gets,
// and an existing file that may not be written.
#include "os/text_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "tests/support/case_name.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace tavorin::os {
namespace {

using std::filesystem::perms;
using testing::ReadFile;
using testing::WriteFile;

struct ModeCase {
  const char* name;
  FileAccess access;
  std::optional<perms> existing;  // none: the file is absent
  perms expected;
};

class ReplaceModeTest : public ::testing::TestWithParam<ModeCase> {
 protected:
  void SetUp() override { previousMask_ = ::umask(027); }
  void TearDown() override { ::umask(previousMask_); }

  testing::TempDir dir;
  std::filesystem::path file = dir / "Tavorin.log";

 private:
  mode_t previousMask_ = 0;
};

TEST_P(ReplaceModeTest, NewFileHasTheModeTheAccessAsksFor) {
  if (GetParam().existing) {
    WriteFile(file, "old\r\n");
    std::filesystem::permissions(file, *GetParam().existing);
  }
  ReplaceFile(file, "new\r\n", GetParam().access);
  EXPECT_EQ(std::filesystem::status(file).permissions() & perms::all, GetParam().expected);
  std::filesystem::permissions(file, perms::owner_read, std::filesystem::perm_options::add);
  EXPECT_EQ(ReadFile(file), "new\r\n");
}

constexpr perms kOwnerReadWrite = perms::owner_read | perms::owner_write;

INSTANTIATE_TEST_SUITE_P(
    Modes, ReplaceModeTest,
    ::testing::Values(ModeCase{"SharedKeepsReadableByAll", FileAccess::Shared,
                               kOwnerReadWrite | perms::group_read | perms::others_read,
                               kOwnerReadWrite | perms::group_read | perms::others_read},
                      ModeCase{"SharedKeepsGroupWritable", FileAccess::Shared,
                               kOwnerReadWrite | perms::group_read | perms::group_write,
                               kOwnerReadWrite | perms::group_read | perms::group_write},
                      ModeCase{"SharedKeepsOwnerOnly", FileAccess::Shared, kOwnerReadWrite, kOwnerReadWrite},
                      ModeCase{"SharedKeepsWriteOnly", FileAccess::Shared,
                               perms::owner_write | perms::group_write | perms::others_write,
                               perms::owner_write | perms::group_write | perms::others_write},
                      ModeCase{"SharedNewFileFollowsTheUmask", FileAccess::Shared, std::nullopt,
                               kOwnerReadWrite | perms::group_read},
                      ModeCase{"OwnerOnlyOverAReadableFile", FileAccess::OwnerOnly,
                               kOwnerReadWrite | perms::group_read | perms::others_read, kOwnerReadWrite},
                      ModeCase{"OwnerOnlyNewFile", FileAccess::OwnerOnly, std::nullopt, kOwnerReadWrite}),
    testing::CaseName());

// In a child process that, under root, drops to the unprivileged user first,
// since root may write any file. Prints the error and exits 0 when refused.
[[noreturn]] void ReplaceAsOrdinaryUser(const std::filesystem::path& file) {
  testing::LeaveRootInChild();
  try {
    ReplaceFile(file, "new\r\n", FileAccess::Shared);
  } catch (const std::system_error& error) {
    std::fputs(error.what(), stderr);
    std::_Exit(0);
  }
  std::_Exit(1);
}

TEST(ReplaceFileTest, ExistingFileThisUserMayNotWriteIsRefusedNamingItAndKept) {
  const testing::TempDir dir;
  const std::filesystem::path file = dir / "Tavorin.log";
  WriteFile(file, "history\r\n");
  // The directory is the user's, so only the refusal keeps a rename from
  // going through.
  testing::GiveToUnprivilegedUser(dir.path());
  std::filesystem::permissions(file, perms::owner_read | perms::group_read | perms::others_read);

  EXPECT_EXIT(ReplaceAsOrdinaryUser(file), ::testing::ExitedWithCode(0),
              "^cannot write " + file.string() + ": Permission denied$");
  std::filesystem::permissions(file, perms::owner_read, std::filesystem::perm_options::add);
  EXPECT_EQ(ReadFile(file), "history\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary is left";
}

}  // namespace
}  // namespace tavorin::os
