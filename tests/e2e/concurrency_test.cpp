// Many runs of the real program at once against a cloud that has just expired
// the access token: they must agree on one refresh, keep the one pair the cloud
// issued, and leave only whole lines in the log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/program_fixture.h"

namespace tavorin {
namespace {

constexpr int kRuns = 16;

TEST_F(ProgramTest, RunsStartedTogetherOnAnExpiredTokenShareOneRefresh) {
  SetSwitch("on");
  cloud.ExpireAccessToken();
  WriteFile(dir / "Tavorin.log", kHistory);

  testing::StartGate gate;
  std::vector<std::unique_ptr<testing::ChildProcess>> runs;
  for (int i = 0; i < kRuns; ++i) {
    runs.push_back(std::make_unique<testing::ChildProcess>(ProgramUnderTest(), std::vector<std::string>{"1000c8441f"},
                                                           dir.path(), testing::ProcessOptions{.gate = &gate}));
  }
  gate.Open();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  for (const auto& run : runs) {
    const testing::ProcessResult result = run->Wait(deadline);
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    EXPECT_EQ(result.err, "");
  }

  EXPECT_EQ(Tokens(), TokenFileOf(cloud.Tokens())) << "exactly two CR LF lines: the pair the cloud issued last";
  const std::vector<std::string> paths = PathsRequested();
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/v2/user/refresh"), 1)
      << "the runs that waited used the pair saved meanwhile";

  const std::string log = Log();
  ASSERT_TRUE(log.starts_with(kHistory)) << log;
  const std::regex wholeLine(LinePattern("DeviceId=1000c8441f Request= Result=1"));
  std::string_view rest = std::string_view(log).substr(std::string(kHistory).size());
  int lines = 0;
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    ASSERT_NE(end, std::string_view::npos) << "a line without its end: " << rest;
    const std::string line(rest.substr(0, end + 2));
    EXPECT_TRUE(std::regex_match(line, wholeLine)) << "torn or interleaved: " << line;
    rest.remove_prefix(end + 2);
    ++lines;
  }
  EXPECT_EQ(lines, kRuns);
}

}  // namespace
}  // namespace tavorin
