#include "cloud/token_file.h"

#include "os/text_file.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "tests/support/case_name.h"
#include "tests/support/temp_dir.h"

namespace tavorin::cloud {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

#if !defined(_WIN32)
bool SaveFailsWithFileSizeLimit(const std::filesystem::path& tokens) {
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{8, 8};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  try {
    SaveTokens(tokens, std::string(4096, 'a'), "R");
  } catch (const std::system_error&) {
    return true;
  }
  return false;
}
#endif

class TokenFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path tokens = dir / "tokens.txt";
};

struct ReadCase {
  const char* name;
  std::string content;
  std::string key;
  std::string expected;
};

class ReadTokenTest : public TokenFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTokenTest, TakesTheRestOfTheFirstLineStartingWithKeyAndEquals) {
  WriteFile(tokens, GetParam().content);
  EXPECT_EQ(ReadToken(tokens, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadTokenTest,
    ::testing::Values(ReadCase{"AccessToken", "at=A1\r\nrt=R1\r\n", "at", "A1"},
                      ReadCase{"RefreshTokenBeforeAccessToken", "rt=R1\r\nat=A1\r\n", "at", "A1"},
                      ReadCase{"FirstLinePerKeyCounts", "at=first\r\nat=second\r\n", "at", "first"},
                      ReadCase{"OtherKeysIgnored", "user=me\r\nrt=R1\r\n", "rt", "R1"},
                      ReadCase{"BlankBeforeEqualsDoesNotMatch", "at =A1\r\nat=A2\r\n", "at", "A2"},
                      ReadCase{"LongerKeyDoesNotMatch", "atx=A1\r\n", "at", ""},
                      ReadCase{"KeyIsCaseSensitive", "AT=A1\r\n", "at", ""},
                      ReadCase{"ValueKeepsEqualsAndBlanks", "at= a=b c \r\n", "at", " a=b c "},
                      ReadCase{"LastLineWithoutLineEnd", "rt=R1\r\nat=A1", "at", "A1"},
                      ReadCase{"LoneLineFeeds", "rt=R1\nat=A1\n", "at", "A1"},
                      ReadCase{"LoneCarriageReturns", "rt=R1\rat=A1\r", "at", "A1"},
                      ReadCase{"EmptyLinesBetween", "\r\n\r\n\nat=A1\r\n", "at", "A1"},
                      ReadCase{"EmptyValue", "at=\r\nrt=R1\r\n", "at", ""},
                      ReadCase{"AbsentKey", "rt=R1\r\n", "at", ""}, ReadCase{"EmptyFile", "", "at", ""}),
    testing::CaseName());

TEST_F(TokenFileTest, SaveWritesExactlyTwoCrLfLinesReplacingEverything) {
  WriteFile(tokens, "user=me\nat=old\nrt=old\nextra\n");
  SaveTokens(tokens, "A2", "R2");
  EXPECT_EQ(ReadFile(tokens), "at=A2\r\nrt=R2\r\n");
}

#if !defined(_WIN32)
// File modes and file size limits are POSIX matters; on Windows the directory's
// inherited permissions apply.
TEST_F(TokenFileTest, SaveCreatesAnOwnerOnlyFileAndLeavesNoTemporaryFiles) {
  SaveTokens(tokens, "A", "R");
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(tokens).permissions() & perms::all, perms::owner_read | perms::owner_write);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
#endif

TEST_F(TokenFileTest, SaveRefusesAValueThatWouldNotReadBackAndKeepsTheFile) {
  using namespace std::string_literals;
  WriteFile(tokens, "at=A1\r\nrt=R1\r\n");
  for (const auto& [at, rt] : {std::pair{"A2\r\nrt=X"s, "R2"s}, {"A2"s, "R2\n"s}, {"A2\0"s, "R2"s}}) {
    EXPECT_THROW(SaveTokens(tokens, at, rt), std::runtime_error);
    EXPECT_EQ(ReadFile(tokens), "at=A1\r\nrt=R1\r\n");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary left";
}

#if !defined(_WIN32)
TEST_F(TokenFileTest, FailedSaveKeepsTheOldFileWhole) {
  WriteFile(tokens, "at=old-access\r\nrt=old-refresh\r\n");
  // In a child process whose files may not grow past a few bytes, so that the
  // write runs out of room part way, as on a full disk.
  EXPECT_EXIT(std::_Exit(SaveFailsWithFileSizeLimit(tokens) ? 0 : 1), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadFile(tokens), "at=old-access\r\nrt=old-refresh\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
#endif

TEST_F(TokenFileTest, PreparedReplacementCommitsOnceCutToItsTextAndRemovesOnlyTheTemporariesOfEndedRuns) {
  WriteFile(dir / ".tokens.txt.123456", "");  // left by a killed run
  os::PendingReplacement live(tokens, os::FileAccess::OwnerOnly);
  os::PendingReplacement pending(tokens, os::FileAccess::OwnerOnly, TokenFileRoom(0));
  EXPECT_FALSE(std::filesystem::exists(dir / ".tokens.txt.123456"));
  pending.Commit(TokenFileText("A2", "R2"));
  EXPECT_EQ(ReadFile(tokens), "at=A2\r\nrt=R2\r\n");
  EXPECT_THROW(pending.Commit("at=A3\r\n"), std::logic_error);
  live.Commit(TokenFileText("A3", "R3"));
  EXPECT_EQ(ReadFile(tokens), "at=A3\r\nrt=R3\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace tavorin::cloud
