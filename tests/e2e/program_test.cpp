// The real program, run as a process in a scratch working directory against the
// simulated cloud on loopback: exit statuses and the files it leaves behind.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/case_name.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kInitialTokens = "at=at-1\r\nrt=rt-1\r\n";
constexpr const char* kHistory = "2026-01-01 00:00:00 DeviceId=1000c8441f Request= Result=1\r\n";
// Local date and time as the program writes it.
constexpr const char* kStamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}";

std::string LinePattern(const std::string& rest) { return std::string(kStamp) + " " + rest + "\r\n"; }

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static_cast<void>(cloud.Start(TAVORIN_CLOUD_PORT));
    WriteFile(dir / "tokens.txt", kInitialTokens);
  }

  testing::ProcessResult Run(const std::vector<std::string>& arguments) {
    return testing::RunProcess(TAVORIN_PROGRAM, arguments, dir.path());
  }
  void SetSwitch(const std::string& value, bool online = true) {
    sim::Device device = cloud.GetDevice();
    device.switchValue = value;
    device.online = online;
    cloud.SetDevice(device);
  }
  [[nodiscard]] std::string Log() const { return ReadFile(dir / "Tavorin.log"); }
  [[nodiscard]] std::string Tokens() const { return ReadFile(dir / "tokens.txt"); }
  [[nodiscard]] std::vector<std::string> PathsRequested() const {
    std::vector<std::string> paths;
    for (const sim::RecordedRequest& request : cloud.Requests()) {
      paths.push_back(request.path);
    }
    return paths;
  }

  sim::SimCloud cloud;
  testing::TempDir dir;
};

struct QueryCase {
  const char* name;
  std::string switchValue;
  bool online;
  sim::StatusReply reply;
  int exitStatus;
};

class QueryTest : public ProgramTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, ExitStatusIsTheResultCodeAndTheLogGainsOneLine) {
  SetSwitch(GetParam().switchValue, GetParam().online);
  cloud.SetStatusReply(GetParam().reply);
  WriteFile(dir / "Tavorin.log", kHistory);

  const testing::ProcessResult result = Run({"1000c8441f"});
  EXPECT_EQ(result.exitStatus, GetParam().exitStatus) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string log = Log();
  ASSERT_TRUE(log.starts_with(kHistory)) << log;
  EXPECT_THAT(log.substr(std::string(kHistory).size()),
              MatchesRegex(LinePattern("DeviceId=1000c8441f Request= Result=" +
                                       std::to_string(GetParam().exitStatus))));
  EXPECT_EQ(Tokens(), kInitialTokens);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, QueryTest,
    ::testing::Values(QueryCase{"On", "on", true, sim::StatusReply::Normal, 1},
                      QueryCase{"Off", "off", true, sim::StatusReply::Normal, 0},
                      QueryCase{"Offline", "on", false, sim::StatusReply::Normal, 10},
                      QueryCase{"ErrorReply", "on", true, sim::StatusReply::ErrorReply, 10},
                      QueryCase{"EmptyBody", "on", true, sim::StatusReply::Empty, 5},
                      QueryCase{"ResponseOverSixtyFourKiB", "on", true, sim::StatusReply::Huge, 1}),
    testing::CaseName());

TEST_F(ProgramTest, ExpiredTokenIsRefreshedAndTheSwitchSetAndConfirmed) {
  cloud.ExpireAccessToken();
  const testing::ProcessResult result = Run({"1000c8441f", "on"});
  EXPECT_EQ(result.exitStatus, 1) << result.err;
  EXPECT_EQ(cloud.GetDevice().switchValue, "on");
  EXPECT_EQ(Tokens(), "at=at-2\r\nrt=rt-2\r\n");
  using std::filesystem::perms;
  EXPECT_EQ(std::filesystem::status(dir / "tokens.txt").permissions() & perms::all,
            perms::owner_read | perms::owner_write);
  EXPECT_THAT(PathsRequested(), ::testing::ElementsAre("/v2/device/thing", "/v2/user/refresh", "/v2/device/thing",
                                                       "/v2/device/thing/status", "/v2/device/thing"));
  const std::vector<sim::RecordedRequest> requests = cloud.Requests();
  EXPECT_EQ(requests[3].authorization, "Bearer at-2");
  EXPECT_EQ(requests[3].body, R"({"type":1,"id":"1000c8441f","params":{"switch":"on"}})");
  EXPECT_THAT(Log(), MatchesRegex(LinePattern("DeviceId=1000c8441f Request=on Result=1")));
}

TEST_F(ProgramTest, SetLogsTheWordAsGivenAndGivesTheConfirmedState) {
  SetSwitch("on");
  EXPECT_EQ(Run({"1000c8441f", "OFF"}).exitStatus, 0);
  EXPECT_EQ(cloud.GetDevice().switchValue, "off");
  EXPECT_EQ(Run({"1000c8441f", "ON"}).exitStatus, 1);
  EXPECT_THAT(Log(), MatchesRegex(LinePattern("DeviceId=1000c8441f Request=OFF Result=0") +
                                  LinePattern("DeviceId=1000c8441f Request=ON Result=1")));
}

TEST_F(ProgramTest, InfoReplacesTheLogWithTheReportAndTheActivityLine) {
  SetSwitch("on");
  WriteFile(dir / "Tavorin.log", kHistory);
  EXPECT_EQ(Run({"1000c8441f", "Info"}).exitStatus, 1);
  EXPECT_THAT(Log(), MatchesRegex("DeviceId : 1000c8441f\r\n"
                                  "Online   : True\r\n"
                                  "Switch   : on\r\n"
                                  "Firmware : 3.7.1\r\n"
                                  "RSSI     : -48\r\n"
                                  "Pulse    : off\r\n"
                                  "Time     : " +
                                  std::string(kStamp) + "\r\n" +
                                  LinePattern("DeviceId=1000c8441f Request=Info Result=1")));
}

TEST_F(ProgramTest, ArgumentsAreJoinedWithSingleBlanksBeforeSplitting) {
  SetSwitch("on");
  EXPECT_EQ(Run({"1000c8441f", "", "off"}).exitStatus, 1) << "an empty argument makes a query";
  EXPECT_EQ(cloud.GetDevice().switchValue, "on");
  EXPECT_EQ(Run({"1000c8441f off"}).exitStatus, 0) << "one argument with a blank is a set";
}

struct ErrorCase {
  const char* name;
  sim::Fault fault;
  bool expired;
  sim::RefreshReply refreshReply;
  std::string message;
};

class ErrorTest : public ProgramTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorTest, EndsWithStatusTwoAMessageAndNothingLost) {
  cloud.SetFault(GetParam().fault);
  cloud.SetRefreshReply(GetParam().refreshReply);
  if (GetParam().expired) {
    cloud.ExpireAccessToken();
  }
  WriteFile(dir / "Tavorin.log", kHistory);
  const testing::ProcessResult result = Run({"1000c8441f", "info"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, ::testing::StartsWith("Tavorin: "));
  EXPECT_THAT(result.err, HasSubstr(GetParam().message));
  EXPECT_EQ(Log(), kHistory);
  EXPECT_EQ(Tokens(), kInitialTokens);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ErrorTest,
    ::testing::Values(ErrorCase{"DroppedConnection", sim::Fault::Drop, false, sim::RefreshReply::NewPair,
                                "request to 127.0.0.1:"},
                      ErrorCase{"UnterminatedAccessToken", sim::Fault::None, true,
                                sim::RefreshReply::UnterminatedAt, "unterminated value for key at"}),
    testing::CaseName());

TEST_F(ProgramTest, MissingTokenFileEndsWithStatusTwoAndNoLogLine) {
  std::filesystem::remove(dir / "tokens.txt");
  const testing::ProcessResult result = Run({"1000c8441f", "on"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_EQ(result.err, "Tavorin: cannot open tokens.txt: No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "Tavorin.log"));
  EXPECT_TRUE(cloud.Requests().empty());
}

TEST_F(ProgramTest, RefusedConnectionNamesTheHost) {
  cloud.Stop();
  const testing::ProcessResult result = Run({"1000c8441f"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr("request to 127.0.0.1:" + std::to_string(TAVORIN_CLOUD_PORT) + " failed"));
}

TEST_F(ProgramTest, HelpAndVersionTouchNeitherFilesNorCloud) {
  std::filesystem::remove(dir / "tokens.txt");
  for (const char* option : {"--help", "-h"}) {
    const testing::ProcessResult result = Run({option});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.out, HasSubstr("Usage: tavorin <deviceId>"));
  }
  const testing::ProcessResult version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_THAT(version.out, MatchesRegex("tavorin [0-9]+\\.[0-9]+\\.[0-9]+\n"));
  EXPECT_TRUE(cloud.Requests().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(ProgramTest, NoArgumentsPrintsTheUsageAsAnError) {
  const testing::ProcessResult result = Run({});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr("Usage: tavorin <deviceId>"));
  EXPECT_TRUE(cloud.Requests().empty());
}

}  // namespace
}  // namespace tavorin
