// The real program stopped at random instants while a strictly rotating cloud
// answers slowly, and run on a full disk: neither may cost the stored token
// pair, and killed runs must not pile up temporary files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/program_fixture.h"

namespace tavorin {
namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

// The hidden temporary files beside target.
int Temporaries(const std::filesystem::path& dir, const std::string& target) {
  const auto entries = std::filesystem::directory_iterator(dir);
  return static_cast<int>(std::count_if(begin(entries), end(entries), [&](const auto& entry) {
    return entry.path().filename().string().starts_with("." + target + ".");
  }));
}

// Every line ended by CR LF, and no line end apart from those.
bool WholeLines(const std::string& text) {
  return text.empty() || (text.ends_with("\r\n") &&
                          std::count(text.begin(), text.end(), '\r') == std::count(text.begin(), text.end(), '\n'));
}

struct Batch {
  int signal;
  const char* name;
  int runs;
};

TEST_F(ProgramTest, RunsStoppedAtRandomInstantsKeepTheCurrentPairAndLeaveAtMostOneTemporaryPerFile) {
  if (TestingTheWindowsProgram()) {
    GTEST_SKIP() << "POSIX signals; the Windows program runs under a launcher";
  }
  SetSwitch("on");
  cloud.SetAnswerDelay(4ms);
  // The instants are drawn within the time one whole run takes here.
  cloud.ExpireAccessToken();
  const auto start = steady_clock::now();
  ASSERT_EQ(Run({"1000c8441f"}).exitStatus, 1);
  std::uniform_int_distribution<long> instant(
      0, std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start).count());
  std::mt19937 random(13);

  for (const Batch batch :
       {Batch{SIGTERM, "SIGTERM", 60}, Batch{SIGINT, "SIGINT", 30}, Batch{SIGKILL, "SIGKILL", 60}}) {
    int runs = 0, lost = 0, badEnds = 0, tornFiles = 0, mostTemporaries = 0;
    const auto deadline = steady_clock::now() + 40s;
    for (; runs < batch.runs && steady_clock::now() < deadline; ++runs) {
      const std::string before = Tokens();
      cloud.ExpireAccessToken();
      std::vector<std::string> arguments{"1000c8441f"};
      if (runs % 2 == 1) {
        arguments.emplace_back("info");  // which replaces the log
      }
      testing::ChildProcess child(ProgramUnderTest(), arguments, dir.path());
      std::this_thread::sleep_for(std::chrono::microseconds(instant(random)));
      child.Signal(batch.signal);
      const testing::ProcessResult result = child.Wait(steady_clock::now() + 90s);
      // A stop request ends a run as the signal does, or lets it finish.
      badEnds += batch.signal != SIGKILL && result.signal != batch.signal && result.exitStatus != 1;
      const sim::TokenPair current = cloud.Tokens();
      const std::string tokens = Tokens();
      tornFiles += (tokens != before && tokens != TokenFileOf(current)) || !WholeLines(Log());
      mostTemporaries =
          std::max({mostTemporaries, Temporaries(dir.path(), "tokens.txt"), Temporaries(dir.path(), "Tavorin.log")});
      if (!tokens.ends_with("rt=" + current.refreshToken + "\r\n")) {
        ++lost;  // the cloud has retired the stored pair: log in again
        WriteFile(dir / "tokens.txt", TokenFileOf(current));
      }
    }
    std::cout << batch.name << ": " << runs << " runs, " << lost << " lost the pair, " << badEnds
              << " ended otherwise, " << Temporaries(dir.path(), "tokens.txt") << " + "
              << Temporaries(dir.path(), "Tavorin.log") << " temporary files left\n";
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      if (entry.path().filename().string().starts_with(".")) {
        std::filesystem::remove(entry.path());
      }
    }
    EXPECT_EQ(tornFiles, 0) << batch.name;
    EXPECT_LE(mostTemporaries, 1) << batch.name;
    if (batch.signal != SIGKILL) {
      EXPECT_EQ(lost, 0) << batch.name;
      EXPECT_EQ(badEnds, 0) << batch.name;
    }
  }
}

TEST_F(ProgramTest, FullDiskEndsWithStatusTwoBeforeTheCloudIsAskedForANewPair) {
  if (TestingTheWindowsProgram()) {
    GTEST_SKIP() << "a POSIX file-size limit stands for the full disk";
  }
  cloud.ExpireAccessToken();
  // Room for a message and a short pair, not for the reserve a new pair gets.
  const testing::ProcessResult result =
      testing::RunProcess(ProgramUnderTest(), {"1000c8441f"}, dir.path(), {.fileSizeLimit = 1024});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, ::testing::HasSubstr("disk space for tokens.txt"));
  EXPECT_THAT(PathsRequested(), ::testing::Not(::testing::Contains("/v2/user/refresh")));
  EXPECT_EQ(Tokens(), kInitialTokens);
  EXPECT_EQ(Temporaries(dir.path(), "tokens.txt"), 0);
}

}  // namespace
}  // namespace tavorin
