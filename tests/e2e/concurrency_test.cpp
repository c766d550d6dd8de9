// Many runs of the real program at once against a cloud that has just expired
// the access token: they must agree on one refresh, keep the one pair the cloud
// issued, and leave only whole lines in the log.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/program_fixture.h"

namespace tavorin {
namespace {

constexpr int kRuns = 16;

TEST_F(ProgramTest, RunsStartedTogetherOnAnExpiredTokenShareOneRefresh) {
  SetSwitch("on");
  cloud.ExpireAccessToken();

  // The runs wait at a gate, held locked until all have started.
  const testing::TempDir gateDir;
  const std::string gate = gateDir / "gate";
  const int held = ::open(gate.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  struct flock hold {};
  hold.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(held, F_SETLK, &hold), 0);
  std::vector<std::unique_ptr<testing::ChildProcess>> runs;
  for (int i = 0; i < kRuns; ++i) {
    runs.push_back(std::make_unique<testing::ChildProcess>(ProgramUnderTest(), std::vector<std::string>{"1000c8441f"},
                                                           dir.path(), testing::ProcessOptions{.gate = gate.c_str()}));
  }
  ::close(held);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (const auto& run : runs) {
    const testing::ProcessResult result = run->Wait(deadline);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
  }

  EXPECT_EQ(Tokens(), "at=at-2\r\nrt=rt-2\r\n") << "the one pair the cloud issued, as two CR LF lines";
  const std::vector<std::string> paths = PathsRequested();
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/v2/user/refresh"), 1)
      << "the runs that waited used the pair saved meanwhile";
  std::string wholeLines = kHistory;
  for (int i = 0; i < kRuns; ++i) {
    wholeLines += LinePattern("DeviceId=1000c8441f Request= Result=1");
  }
  EXPECT_THAT(Log(), ::testing::MatchesRegex(wholeLines)) << "no torn or interleaved line";
}

}  // namespace
}  // namespace tavorin
