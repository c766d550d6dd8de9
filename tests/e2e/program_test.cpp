// The real program, run as a process in a scratch working directory against the
// simulated cloud on loopback: exit statuses, messages, the requests it sends
// and the files it leaves behind, for ordinary runs and for faults of the
// command line, the network, the cloud's answers and the files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/program_fixture.h"
#include "tests/support/case_name.h"
#include "tools/sim-cloud/self_signed_certificate.h"

namespace tavorin {
namespace {

using std::filesystem::perms;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using Dir = const std::filesystem::path&;

constexpr const char* kStatus = "/v2/device/thing";
constexpr const char* kSet = "/v2/device/thing/status";
constexpr const char* kRefresh = "/v2/user/refresh";
constexpr const char* kRefreshedTokens = "at=at-2\r\nrt=rt-2\r\n";

std::string HostText() {
  return "request to 127.0.0.1:" + std::to_string(TAVORIN_CLOUD_PORT) + " failed: ";
}

void MakeReadOnly(const std::filesystem::path& path) {
  std::filesystem::permissions(path, perms::owner_write | perms::group_write | perms::others_write,
                               std::filesystem::perm_options::remove);
}

struct RunCase {
  const char* name;
  std::vector<std::string> arguments = {"1000c8441f"};
  // The cloud.
  std::string switchValue = "off";
  bool online = true;
  bool expired = false;
  bool cloudDown = false;
  bool rejectEveryToken = false;
  sim::StatusReply statusReply = sim::StatusReply::Normal;
  sim::RefreshReply refreshReply = sim::RefreshReply::NewPair;
  sim::SetReply setReply = sim::SetReply::Apply;
  sim::Fault fault = sim::Fault::None;
  // The working directory, beyond the token pair and one line of history.
  void (*arrange)(Dir) = nullptr;
  // The outcome: for status 2 the message after "Tavorin: " and the history
  // kept; else the history and the activity line below with the status.
  int exitStatus;
  std::string message = "";
  std::vector<std::string> paths = {kStatus};
  std::string activity = "DeviceId=1000c8441f Request=";
  std::string tokens = kInitialTokens;
  // Whether the case holds for the Windows program too. Wine shows a file
  // without write permission as read-only, but applies no other users or
  // modes, and lets root append to a read-only file.
  bool onWindows = true;
  std::string windowsMessage = message;
};

class RunTest : public ProgramTest, public ::testing::WithParamInterface<RunCase> {};

// Without root's privileges, so that file modes hold as they do for anyone.
TEST_P(RunTest, EndsAsTheCaseSaysKeepingHistoryAndTokens) {
  const RunCase& run = GetParam();
  const bool windows = TestingTheWindowsProgram();
  if (windows && !run.onWindows) {
    GTEST_SKIP() << "POSIX arguments, file modes and users, which the Windows program does not meet";
  }
  cloud.SetDevice({.online = run.online, .switchValue = run.switchValue});
  cloud.SetStatusReply(run.statusReply);
  cloud.SetRefreshReply(run.refreshReply);
  cloud.SetSetReply(run.setReply);
  cloud.SetFault(run.fault, std::chrono::minutes(10));
  cloud.RejectEveryToken(run.rejectEveryToken);
  if (run.expired) {
    cloud.ExpireAccessToken();
  }
  if (run.cloudDown) {
    cloud.Stop();
  }
  if (run.arrange != nullptr) {
    run.arrange(dir.path());
  }

  const testing::ProcessResult result = windows ? Run(run.arguments) : RunUnprivileged(run.arguments);

  EXPECT_EQ(result.exitStatus, run.exitStatus) << result.err;
  // The owner may always read back what was written, whatever the mode left.
  std::filesystem::permissions(dir / "Tavorin.log", perms::owner_read, std::filesystem::perm_options::add);
  if (run.exitStatus == 2) {
    EXPECT_THAT(result.err, ::testing::StartsWith("Tavorin: " + (windows ? run.windowsMessage : run.message)));
    EXPECT_EQ(Log(), kHistory);
  } else {
    EXPECT_EQ(result.err, "");
    EXPECT_THAT(Log(), MatchesRegex(std::string(kHistory) +
                                    LinePattern(run.activity + " Result=" + std::to_string(run.exitStatus))));
  }
  if (std::filesystem::is_regular_file(dir / "tokens.txt")) {
    std::filesystem::permissions(dir / "tokens.txt", perms::owner_read, std::filesystem::perm_options::add);
    EXPECT_EQ(Tokens(), run.tokens);
  }
  EXPECT_EQ(PathsRequested(), run.paths);
  for (const sim::RecordedRequest& request : cloud.Requests()) {
    EXPECT_EQ(request.contentType, "application/json") << request.path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RunTest,
    ::testing::Values(RunCase{.name = "On", .switchValue = "on", .exitStatus = 1},
                      RunCase{.name = "Off", .exitStatus = 0},
                      RunCase{.name = "Offline", .online = false, .exitStatus = 10},
                      RunCase{.name = "EmptyAnswer", .statusReply = sim::StatusReply::Empty, .exitStatus = 5},
                      RunCase{.name = "BinaryGarbage", .statusReply = sim::StatusReply::Garbage, .exitStatus = 10},
                      RunCase{.name = "RedirectNotFollowed", .fault = sim::Fault::Redirect, .exitStatus = 5},
                      RunCase{.name = "RejectionMarkerInsideAValue",
                              .statusReply = sim::StatusReply::MarkerInValue,
                              .exitStatus = 0,
                              .paths = {kStatus, kRefresh, kStatus},
                              .tokens = kRefreshedTokens},
                      RunCase{.name = "SecondRejectionAfterRefresh",
                              .rejectEveryToken = true,
                              .exitStatus = 10,
                              .paths = {kStatus, kRefresh, kStatus},
                              .tokens = kRefreshedTokens},
                      RunCase{.name = "RefreshWithoutAccessToken",
                              .expired = true,
                              .refreshReply = sim::RefreshReply::NoAt,
                              .exitStatus = 5,
                              .paths = {kStatus, kRefresh}},
                      RunCase{.name = "RefreshWithoutRefreshTokenKeepsTheStoredOne",
                              .expired = true,
                              .refreshReply = sim::RefreshReply::NoRt,
                              .exitStatus = 0,
                              .paths = {kStatus, kRefresh, kStatus},
                              .tokens = "at=at-2\r\nrt=rt-1\r\n"}),
    testing::CaseName());

INSTANTIATE_TEST_SUITE_P(Requests, RunTest,
                         ::testing::Values(RunCase{.name = "OffConfirmed",
                                                   .arguments = {"1000c8441f", "off"},
                                                   .switchValue = "on",
                                                   .exitStatus = 0,
                                                   .paths = {kStatus, kSet, kStatus},
                                                   .activity = "DeviceId=1000c8441f Request=off"},
                                           RunCase{.name = "SetRefused",
                                                   .arguments = {"1000c8441f", "on"},
                                                   .setReply = sim::SetReply::Refuse,
                                                   .exitStatus = 5,
                                                   .paths = {kStatus, kSet},
                                                   .activity = "DeviceId=1000c8441f Request=on"},
                                           RunCase{.name = "SetAcknowledgedButNotDone",
                                                   .arguments = {"1000c8441f", "on"},
                                                   .setReply = sim::SetReply::AckWithoutChange,
                                                   .exitStatus = 5,
                                                   .paths = {kStatus, kSet, kStatus},
                                                   .activity = "DeviceId=1000c8441f Request=on"},
                                           RunCase{.name = "SetOnOfflineDevice",
                                                   .arguments = {"1000c8441f", "on"},
                                                   .online = false,
                                                   .exitStatus = 10,
                                                   .activity = "DeviceId=1000c8441f Request=on"},
                                           RunCase{.name = "InfoOnOfflineDeviceKeepsTheHistory",
                                                   .arguments = {"1000c8441f", "info"},
                                                   .online = false,
                                                   .exitStatus = 10,
                                                   .activity = "DeviceId=1000c8441f Request=info"},
                                           RunCase{.name = "PiecesAfterTheSecondAreIgnored",
                                                   .arguments = {"1000c8441f", "off", "more words"},
                                                   .switchValue = "on",
                                                   .exitStatus = 0,
                                                   .paths = {kStatus, kSet, kStatus},
                                                   .activity = "DeviceId=1000c8441f Request=off"},
                                           // The Windows program takes its raw command line, which the launcher
                                           // quotes: these arguments only exist on POSIX.
                                           RunCase{.name = "EmptyArgumentMakesAQuery",
                                                   .arguments = {"1000c8441f", "", "off"},
                                                   .switchValue = "on",
                                                   .exitStatus = 1,
                                                   .onWindows = false},
                                           RunCase{.name = "ArgumentWithABlankIsASet",
                                                   .arguments = {"1000c8441f off"},
                                                   .switchValue = "on",
                                                   .exitStatus = 0,
                                                   .paths = {kStatus, kSet, kStatus},
                                                   .activity = "DeviceId=1000c8441f Request=off",
                                                   .onWindows = false},
                                           RunCase{.name = "LeadingBlankMakesTheDeviceIdTheRequest",
                                                   .arguments = {"", "1000c8441f"},
                                                   .exitStatus = 10,
                                                   .activity = "DeviceId= Request=1000c8441f",
                                                   .onWindows = false}),
                         testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    Faults, RunTest,
    ::testing::Values(RunCase{.name = "ConnectionRefused",
                              .cloudDown = true,
                              .exitStatus = 2,
                              .message = HostText() + "Couldn't connect",
                              .paths = {},
                              .windowsMessage = HostText() + "cannot connect to the server (WinHTTP error 12029)"},
                      RunCase{.name = "StallPastTheTimeout",
                              .fault = sim::Fault::Stall,
                              .exitStatus = 2,
                              .message = HostText() + "Timeout",
                              .windowsMessage = HostText() + "the operation timed out (WinHTTP error 12002)"},
                      RunCase{.name = "ConnectionDroppedMidAnswer",
                              .fault = sim::Fault::Drop,
                              .exitStatus = 2,
                              .message = HostText()},
                      RunCase{.name = "TruncatedAnswerForInfo",
                              .arguments = {"1000c8441f", "info"},
                              .statusReply = sim::StatusReply::Truncated,
                              .exitStatus = 2,
                              .message = "malformed response: unterminated value for key switch"},
                      RunCase{.name = "UnterminatedAccessToken",
                              .expired = true,
                              .refreshReply = sim::RefreshReply::UnterminatedAt,
                              .exitStatus = 2,
                              .message = "malformed response: unterminated value for key at",
                              .paths = {kStatus, kRefresh}}),
    testing::CaseName());

INSTANTIATE_TEST_SUITE_P(
    Files, RunTest,
    ::testing::Values(RunCase{.name = "TokenFileMissing",
                              .arrange = [](Dir dir) { std::filesystem::remove(dir / "tokens.txt"); },
                              .exitStatus = 2,
                              .message = "cannot open tokens.txt: No such file or directory",
                              .paths = {}},
                      RunCase{.name = "TokenFileEmpty",
                              .arrange = [](Dir dir) { WriteFile(dir / "tokens.txt", ""); },
                              .exitStatus = 5,
                              .paths = {kStatus, kRefresh},
                              .tokens = ""},
                      RunCase{.name = "TokenFileUnreadable",
                              .arrange = [](Dir dir) { std::filesystem::permissions(dir / "tokens.txt", perms::none); },
                              .exitStatus = 2,
                              .message = "cannot open tokens.txt: Permission denied",
                              .paths = {},
                              .onWindows = false},
                      RunCase{.name = "TokenFileIsADirectory",
                              .arrange =
                                  [](Dir dir) {
                                    std::filesystem::remove(dir / "tokens.txt");
                                    std::filesystem::create_directory(dir / "tokens.txt");
                                  },
                              .exitStatus = 2,
                              .message = "cannot read tokens.txt: Is a directory",
                              .paths = {},
                              .windowsMessage = "cannot open tokens.txt: Permission denied"},
                      RunCase{.name = "ReadOnlyDirectoryStillAnswersAQuery",
                              .arrange = [](Dir dir) { MakeReadOnly(dir); },
                              .exitStatus = 0,
                              .onWindows = false},
                      RunCase{.name = "ReadOnlyDirectoryRefusesTheRefreshBeforeAsking",
                              .expired = true,
                              .arrange = [](Dir dir) { MakeReadOnly(dir); },
                              .exitStatus = 2,
                              .message = "cannot open the lock file tokens.txt.lock: Permission denied",
                              .onWindows = false},
                      // A lock file that may only be read still locks.
                      RunCase{.name = "ReadOnlyDirectoryWithReadOnlyLockFileRefusesTheRefreshBeforeAsking",
                              .expired = true,
                              .arrange =
                                  [](Dir dir) {
                                    WriteFile(dir / "tokens.txt.lock", "");
                                    MakeReadOnly(dir / "tokens.txt.lock");
                                    MakeReadOnly(dir);
                                  },
                              .exitStatus = 2,
                              .message = "cannot create a temporary file for tokens.txt: Permission denied",
                              .onWindows = false},
                      RunCase{.name = "ReadOnlyTokenFileRefusesTheRefreshBeforeAsking",
                              .expired = true,
                              .arrange = [](Dir dir) { MakeReadOnly(dir / "tokens.txt"); },
                              .exitStatus = 2,
                              .message = "cannot write tokens.txt: Permission denied",
                              .windowsMessage = "cannot write tokens.txt: Access denied (5)"},
                      RunCase{.name = "WriteOnlyLogTakesTheQueryLine",
                              .arrange =
                                  [](Dir dir) {
                                    std::filesystem::permissions(dir / "Tavorin.log", perms::owner_write |
                                                                                          perms::group_write |
                                                                                          perms::others_write);
                                  },
                              .exitStatus = 0,
                              .onWindows = false},
                      RunCase{.name = "LogUnwritable",
                              .arrange = [](Dir dir) { MakeReadOnly(dir / "Tavorin.log"); },
                              .exitStatus = 2,
                              .message = "cannot open Tavorin.log: Permission denied",
                              .onWindows = false},
                      RunCase{.name = "LogUnwritableForInfo",
                              .arguments = {"1000c8441f", "info"},
                              .arrange = [](Dir dir) { MakeReadOnly(dir / "Tavorin.log"); },
                              .exitStatus = 2,
                              .message = "cannot write Tavorin.log: Permission denied",
                              .windowsMessage = "cannot write Tavorin.log: Access denied (5)"}),
    testing::CaseName());

TEST_F(ProgramTest, ExpiredTokenIsRefreshedAndTheSwitchSetInLowerCaseAndConfirmed) {
  cloud.ExpireAccessToken();
  const testing::ProcessResult result = Run({"1000c8441f", "ON"});
  EXPECT_EQ(result.exitStatus, 1) << result.err;
  EXPECT_EQ(cloud.GetDevice().switchValue, "on");
  EXPECT_EQ(Tokens(), kRefreshedTokens);
  if (!TestingTheWindowsProgram()) {
    EXPECT_EQ(std::filesystem::status(dir / "tokens.txt").permissions() & perms::all,
              perms::owner_read | perms::owner_write);
  }
  ASSERT_THAT(PathsRequested(), ::testing::ElementsAre(kStatus, kRefresh, kStatus, kSet, kStatus));
  const std::vector<sim::RecordedRequest> requests = cloud.Requests();
  EXPECT_EQ(requests[1].body, R"({"rt":"rt-1"})");
  EXPECT_EQ(requests[3].authorization, "Bearer at-2");
  EXPECT_EQ(requests[3].body, R"({"type":1,"id":"1000c8441f","params":{"switch":"on"}})");
  EXPECT_EQ(requests[4].authorization, "Bearer at-2");
  EXPECT_THAT(Log(), MatchesRegex(std::string(kHistory) + LinePattern("DeviceId=1000c8441f Request=ON Result=1")));
}

TEST_F(ProgramTest, InfoReplacesTheLogWithTheReportAndTheActivityLineKeepingItsMode) {
  SetSwitch("on");
  const perms mode = perms::owner_read | perms::owner_write | perms::group_read | perms::group_write;
  std::filesystem::permissions(dir / "Tavorin.log", mode);
  EXPECT_EQ(Run({"1000c8441f", "Info"}).exitStatus, 1);
  EXPECT_THAT(Log(),
              MatchesRegex("DeviceId : 1000c8441f\r\n"
                           "Online   : True\r\n"
                           "Switch   : on\r\n"
                           "Firmware : 3.7.1\r\n"
                           "RSSI     : -48\r\n"
                           "Pulse    : off\r\n"
                           "Time     : " +
                           std::string(kStamp) + "\r\n" + LinePattern("DeviceId=1000c8441f Request=Info Result=1")));
  if (!TestingTheWindowsProgram()) {
    EXPECT_EQ(std::filesystem::status(dir / "Tavorin.log").permissions() & perms::all, mode);
  }
}

TEST_F(ProgramTest, ActivityLineStartsOnALineOfItsOwnWhateverTheHistoryEndsWith) {
  for (const std::string history : {"a\n", "a\r", "a", ""}) {
    WriteFile(dir / "Tavorin.log", history);
    EXPECT_EQ(Run({"1000c8441f"}).exitStatus, 0);
    const std::string kept = history == "a" ? "a\r\n" : history;
    EXPECT_THAT(Log(), MatchesRegex(kept + LinePattern("DeviceId=1000c8441f Request= Result=0"))) << history;
  }
}

TEST_F(ProgramTest, UntrustedCertificateEndsWithStatusTwoBeforeAnyRequest) {
  // A build of the program whose root is https on the same loopback port, and a
  // cloud there with a certificate of its own that no authority vouches for.
  // The Windows build's tests put its launcher beside the Windows program's.
  const std::string program =
      TestingTheWindowsProgram()
          ? (std::filesystem::path(ProgramUnderTest()).parent_path() / "tavorin-over-tls-under-wine").string()
          : TAVORIN_TLS_PROGRAM;
  cloud.Stop();
  const testing::TempDir certificateDir;
  sim::SimCloud tlsCloud(sim::GenerateSelfSignedCertificate(certificateDir.path()));
  static_cast<void>(tlsCloud.Start(TAVORIN_CLOUD_PORT));

  const testing::ProcessResult result = testing::RunProcess(program, {"1000c8441f", "on"}, dir.path());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr(HostText()));
  // Wine's WinHTTP reports the refused certificate as a failed handshake.
  EXPECT_THAT(result.err, ::testing::ContainsRegex(TestingTheWindowsProgram() ? "secure connection" : "certificate"));
  EXPECT_TRUE(tlsCloud.Requests().empty());
  EXPECT_EQ(Log(), kHistory);
  EXPECT_EQ(Tokens(), kInitialTokens);
}

TEST_F(ProgramTest, HelpAndVersionTouchNeitherFilesNorCloud) {
  std::filesystem::remove(dir / "tokens.txt");
  std::filesystem::remove(dir / "Tavorin.log");
  for (const char* option : {"--help", "-h"}) {
    const testing::ProcessResult result = Run({option});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.out, HasSubstr("Usage: tavorin <deviceId>"));
  }
  const testing::ProcessResult version = Run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_THAT(version.out, MatchesRegex("tavorin [0-9]+\\.[0-9]+\\.[0-9]+\r?\n"));
  EXPECT_TRUE(cloud.Requests().empty());
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Without a display (or without the window in this build) there is nothing to
// open: the run ends like an error, with the usage.
TEST_F(ProgramTest, NoArgumentsWithoutADisplayPrintsTheUsageAsAnError) {
  if (TestingTheWindowsProgram()) {
    GTEST_SKIP() << "Windows always has a display: the window test covers the run without arguments";
  }
  const testing::ProcessResult result = Run({});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr("Usage: tavorin <deviceId>"));
  EXPECT_THAT(result.err, HasSubstr(TAVORIN_WITH_WINDOW ? "Tavorin: cannot open the window: no display available\n"
                                                        : "Tavorin: no device ID given"));
  EXPECT_TRUE(cloud.Requests().empty());
}

#if TAVORIN_WITH_WINDOW
// The toolkit lives in a module beside the program; a copy of the program
// without it cannot open the window and says where it looked.
TEST_F(ProgramTest, NoArgumentsWithoutTheWindowModuleNamesItAsAnError) {
  if (TestingTheWindowsProgram()) {
    GTEST_SKIP() << "the Windows program holds its window itself";
  }
  const std::filesystem::path copy = dir / "tavorin";
  std::filesystem::copy_file(TAVORIN_PROGRAM, copy);
  ::setenv("DISPLAY", ":0", 1);
  const testing::ProcessResult result = testing::RunProcess(copy.string(), {}, dir.path());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err,
              HasSubstr("Tavorin: cannot open the window: tavorin-window.so is neither in " + dir.path().string()));
}
#endif

}  // namespace
}  // namespace tavorin
