// The real program, run as a process in a scratch working directory against the
// simulated cloud on loopback: exit statuses, messages and the files it leaves
// behind, for ordinary runs and for faults of the network, the cloud's answers
// and the files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
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

constexpr const char* kStatusPath = "/v2/device/thing";
constexpr const char* kRefreshPath = "/v2/user/refresh";

std::string HostText() {
  return "request to 127.0.0.1:" + std::to_string(TAVORIN_CLOUD_PORT) + " failed: ";
}

struct QueryCase {
  const char* name;
  sim::StatusReply reply = sim::StatusReply::Normal;
  sim::Fault fault = sim::Fault::None;
  bool rejectEveryToken = false;
  int refreshes = 0;
  int exitStatus;
};

class QueryTest : public ProgramTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, ExitStatusIsTheResultCodeTheLogGainsOneLineAndTheTokensStayCurrent) {
  SetSwitch("on");
  cloud.SetStatusReply(GetParam().reply);
  cloud.SetFault(GetParam().fault);
  cloud.RejectEveryToken(GetParam().rejectEveryToken);
  WriteFile(dir / "Tavorin.log", kHistory);

  const testing::ProcessResult result = Run({"1000c8441f"});
  EXPECT_EQ(result.exitStatus, GetParam().exitStatus) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string log = Log();
  ASSERT_TRUE(log.starts_with(kHistory)) << log;
  EXPECT_THAT(
      log.substr(std::string(kHistory).size()),
      MatchesRegex(LinePattern("DeviceId=1000c8441f Request= Result=" + std::to_string(GetParam().exitStatus))));
  EXPECT_EQ(Tokens(), TokenFileOf(cloud.Tokens())) << "the file holds the pair the cloud takes";
  const std::vector<std::string> paths = PathsRequested();
  EXPECT_EQ(std::count(paths.begin(), paths.end(), kRefreshPath), GetParam().refreshes);
  for (const sim::RecordedRequest& request : cloud.Requests()) {
    EXPECT_EQ(request.contentType, "application/json") << request.path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, QueryTest,
    ::testing::Values(
        QueryCase{.name = "On", .exitStatus = 1},
        QueryCase{.name = "EmptyBody", .reply = sim::StatusReply::Empty, .exitStatus = 5},
        QueryCase{.name = "FiveMiBBody", .reply = sim::StatusReply::Huge, .exitStatus = 1},
        QueryCase{.name = "BinaryGarbage", .reply = sim::StatusReply::Garbage, .exitStatus = 10},
        QueryCase{.name = "RejectionMarkerInsideAValue",
                  .reply = sim::StatusReply::MarkerInValue,
                  .refreshes = 1,
                  .exitStatus = 1},
        QueryCase{.name = "SecondRejectionAfterRefresh", .rejectEveryToken = true, .refreshes = 1, .exitStatus = 10},
        QueryCase{.name = "RedirectNotFollowed", .fault = sim::Fault::Redirect, .exitStatus = 5}),
    testing::CaseName());

TEST_F(ProgramTest, ExpiredTokenIsRefreshedAndTheSwitchSetAndConfirmed) {
  cloud.ExpireAccessToken();
  const testing::ProcessResult result = Run({"1000c8441f", "on"});
  EXPECT_EQ(result.exitStatus, 1) << result.err;
  EXPECT_EQ(cloud.GetDevice().switchValue, "on");
  EXPECT_EQ(Tokens(), "at=at-2\r\nrt=rt-2\r\n");
  if (!TestingTheWindowsProgram()) {
    EXPECT_EQ(std::filesystem::status(dir / "tokens.txt").permissions() & perms::all,
              perms::owner_read | perms::owner_write);
  }
  ASSERT_THAT(PathsRequested(), ::testing::ElementsAre("/v2/device/thing", "/v2/user/refresh", "/v2/device/thing",
                                                       "/v2/device/thing/status", "/v2/device/thing"));
  const std::vector<sim::RecordedRequest> requests = cloud.Requests();
  EXPECT_EQ(requests[3].authorization, "Bearer at-2");
  EXPECT_EQ(requests[3].body, R"({"type":1,"id":"1000c8441f","params":{"switch":"on"}})");
  EXPECT_THAT(Log(), MatchesRegex(LinePattern("DeviceId=1000c8441f Request=on Result=1")));
}

TEST_F(ProgramTest, InfoReplacesTheLogWithTheReportAndTheActivityLineKeepingItsMode) {
  SetSwitch("on");
  WriteFile(dir / "Tavorin.log", kHistory);
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

TEST_F(ProgramTest, ArgumentsAreJoinedWithSingleBlanksBeforeSplitting) {
  if (TestingTheWindowsProgram()) {
    GTEST_SKIP() << "the Windows program takes its raw command line, which the launcher quotes";
  }
  SetSwitch("on");
  EXPECT_EQ(Run({"1000c8441f", "", "off"}).exitStatus, 1) << "an empty argument makes a query";
  EXPECT_EQ(cloud.GetDevice().switchValue, "on");
  EXPECT_EQ(Run({"1000c8441f off"}).exitStatus, 0) << "one argument with a blank is a set";
}

struct ErrorCase {
  const char* name;
  sim::Fault fault = sim::Fault::None;
  sim::StatusReply statusReply = sim::StatusReply::Normal;
  bool expired = false;
  sim::RefreshReply refreshReply = sim::RefreshReply::NewPair;
  bool cloudDown = false;
  std::string message;
  // Where the Windows program's HTTP client words it differently.
  std::string windowsMessage = message;
};

class ErrorTest : public ProgramTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorTest, EndsWithStatusTwoAMessageNamingTheFaultAndNothingLost) {
  cloud.SetFault(GetParam().fault, std::chrono::minutes(10));
  cloud.SetStatusReply(GetParam().statusReply);
  cloud.SetRefreshReply(GetParam().refreshReply);
  if (GetParam().expired) {
    cloud.ExpireAccessToken();
  }
  if (GetParam().cloudDown) {
    cloud.Stop();
  }
  WriteFile(dir / "Tavorin.log", kHistory);
  const testing::ProcessResult result = Run({"1000c8441f", "info"});
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, ::testing::StartsWith("Tavorin: "));
  EXPECT_THAT(result.err, HasSubstr(TestingTheWindowsProgram() ? GetParam().windowsMessage : GetParam().message));
  EXPECT_EQ(Log(), kHistory);
  EXPECT_EQ(Tokens(), kInitialTokens);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ErrorTest,
    ::testing::Values(ErrorCase{.name = "ConnectionRefused",
                                .cloudDown = true,
                                .message = HostText() + "Couldn't connect",
                                .windowsMessage = HostText() + "cannot connect to the server (WinHTTP error 12029)"},
                      ErrorCase{.name = "StallPastTheTimeout",
                                .fault = sim::Fault::Stall,
                                .message = HostText() + "Timeout",
                                .windowsMessage = HostText() + "the operation timed out (WinHTTP error 12002)"},
                      ErrorCase{.name = "ConnectionDroppedMidAnswer", .fault = sim::Fault::Drop, .message = HostText()},
                      ErrorCase{.name = "TruncatedJson",
                                .statusReply = sim::StatusReply::Truncated,
                                .message = "unterminated value for key switch"},
                      ErrorCase{.name = "UnterminatedAccessToken",
                                .expired = true,
                                .refreshReply = sim::RefreshReply::UnterminatedAt,
                                .message = "unterminated value for key at"}),
    testing::CaseName());

TEST_F(ProgramTest, UntrustedCertificateEndsWithStatusTwoBeforeAnyRequest) {
  // A build of the program whose root is https on the same loopback port, and a
  // cloud there with a certificate of its own that no authority vouches for.
  cloud.Stop();
  const testing::TempDir certificateDir;
  sim::SimCloud tlsCloud(sim::GenerateSelfSignedCertificate(certificateDir.path()));
  static_cast<void>(tlsCloud.Start(TAVORIN_CLOUD_PORT));
  WriteFile(dir / "Tavorin.log", kHistory);

  const testing::ProcessResult result =
      testing::RunProcess(ProgramOverTlsUnderTest(), {"1000c8441f", "on"}, dir.path());
  EXPECT_EQ(result.exitStatus, 2);
  EXPECT_THAT(result.err, HasSubstr(HostText()));
  // Wine's WinHTTP reports the refused certificate as a failed handshake.
  EXPECT_THAT(result.err, ::testing::ContainsRegex(TestingTheWindowsProgram() ? "secure connection" : "certificate"));
  EXPECT_TRUE(tlsCloud.Requests().empty());
  EXPECT_EQ(Log(), kHistory);
  EXPECT_EQ(Tokens(), kInitialTokens);
}

struct FileCase {
  const char* name;
  void (*arrange)(const std::filesystem::path& dir);
  bool expired = false;
  std::string request = "";
  int exitStatus = 2;
  // The whole message after "Tavorin: ", for exit status 2.
  std::string message = "";
  std::vector<std::string> paths = {};
  // What the token file holds afterwards, where it is a file.
  std::string tokens = kInitialTokens;
  // Whether the case also holds for the Windows program. Wine shows a file
  // without write permission as read-only, but applies no other users or
  // modes, and lets root append to a read-only file.
  bool onWindows = false;
  std::string windowsMessage = message;
};

class FileFaultTest : public ProgramTest, public ::testing::WithParamInterface<FileCase> {};

// Without root's privileges, so that file modes hold as they do for anyone.
TEST_P(FileFaultTest, EndsAsTheCaseSaysAndKeepsTokensAndHistory) {
  const bool windows = TestingTheWindowsProgram();
  if (windows && !GetParam().onWindows) {
    GTEST_SKIP() << "POSIX file modes and users, which Wine does not apply";
  }
  if (GetParam().expired) {
    cloud.ExpireAccessToken();
  }
  SetSwitch("on");
  WriteFile(dir / "Tavorin.log", kHistory);
  GetParam().arrange(dir.path());

  std::vector<std::string> arguments = {"1000c8441f"};
  if (!GetParam().request.empty()) {
    arguments.push_back(GetParam().request);
  }
  const testing::ProcessResult result = windows ? Run(arguments) : RunUnprivileged(arguments);

  EXPECT_EQ(result.exitStatus, GetParam().exitStatus) << result.err;
  // The owner may always read back what was written, whatever the mode left.
  std::filesystem::permissions(dir / "Tavorin.log", perms::owner_read, std::filesystem::perm_options::add);
  if (GetParam().exitStatus == 2) {
    EXPECT_EQ(result.err,
              windows ? "Tavorin: " + GetParam().windowsMessage + "\r\n" : "Tavorin: " + GetParam().message + "\n");
    EXPECT_EQ(Log(), kHistory);
  } else {
    EXPECT_EQ(result.err, "");
    EXPECT_THAT(Log(),
                MatchesRegex(std::string(kHistory) + LinePattern("DeviceId=1000c8441f Request=" + GetParam().request +
                                                                 " Result=" + std::to_string(GetParam().exitStatus))));
  }
  if (std::filesystem::is_regular_file(dir / "tokens.txt")) {
    std::filesystem::permissions(dir / "tokens.txt", perms::owner_read, std::filesystem::perm_options::add);
    EXPECT_EQ(Tokens(), GetParam().tokens);
  }
  EXPECT_EQ(PathsRequested(), GetParam().paths);
}

void MakeReadOnly(const std::filesystem::path& path) {
  std::filesystem::permissions(path, perms::owner_write | perms::group_write | perms::others_write,
                               std::filesystem::perm_options::remove);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileFaultTest,
    ::testing::Values(
        FileCase{.name = "TokenFileMissing",
                 .arrange = [](const std::filesystem::path& dir) { std::filesystem::remove(dir / "tokens.txt"); },
                 .message = "cannot open tokens.txt: No such file or directory",
                 .onWindows = true},
        FileCase{.name = "TokenFileEmpty",
                 .arrange = [](const std::filesystem::path& dir) { WriteFile(dir / "tokens.txt", ""); },
                 .exitStatus = 5,
                 .paths = {kStatusPath, kRefreshPath},
                 .tokens = "",
                 .onWindows = true},
        FileCase{
            .name = "TokenFileUnreadable",
            .arrange =
                [](const std::filesystem::path& dir) { std::filesystem::permissions(dir / "tokens.txt", perms::none); },
            .message = "cannot open tokens.txt: Permission denied"},
        FileCase{.name = "TokenFileIsADirectory",
                 .arrange =
                     [](const std::filesystem::path& dir) {
                       std::filesystem::remove(dir / "tokens.txt");
                       std::filesystem::create_directory(dir / "tokens.txt");
                     },
                 .message = "cannot read tokens.txt: Is a directory",
                 .onWindows = true,
                 .windowsMessage = "cannot open tokens.txt: Permission denied"},
        FileCase{.name = "ReadOnlyDirectoryStillAnswersAQuery",
                 .arrange = [](const std::filesystem::path& dir) { MakeReadOnly(dir); },
                 .exitStatus = 1,
                 .paths = {kStatusPath}},
        FileCase{.name = "ReadOnlyDirectoryRefusesTheRefreshBeforeAsking",
                 .arrange = [](const std::filesystem::path& dir) { MakeReadOnly(dir); },
                 .expired = true,
                 .message = "cannot open the lock file tokens.txt.lock: Permission denied",
                 .paths = {kStatusPath}},
        FileCase{.name = "ReadOnlyDirectoryWithLockFileRefusesTheRefreshBeforeAsking",
                 .arrange =
                     [](const std::filesystem::path& dir) {
                       WriteFile(dir / "tokens.txt.lock", "");
                       MakeReadOnly(dir);
                     },
                 .expired = true,
                 .message = "cannot create a temporary file for tokens.txt: Permission denied",
                 .paths = {kStatusPath}},
        FileCase{.name = "ReadOnlyTokenFileRefusesTheRefreshBeforeAsking",
                 .arrange = [](const std::filesystem::path& dir) { MakeReadOnly(dir / "tokens.txt"); },
                 .expired = true,
                 .message = "cannot write tokens.txt: Permission denied",
                 .paths = {kStatusPath},
                 .onWindows = true,
                 .windowsMessage = "cannot write tokens.txt: Access denied (5)"},
        FileCase{.name = "WriteOnlyLogTakesTheQueryLine",
                 .arrange =
                     [](const std::filesystem::path& dir) {
                       std::filesystem::permissions(dir / "Tavorin.log",
                                                    perms::owner_write | perms::group_write | perms::others_write);
                     },
                 .exitStatus = 1,
                 .paths = {kStatusPath}},
        FileCase{.name = "LogUnwritable",
                 .arrange = [](const std::filesystem::path& dir) { MakeReadOnly(dir / "Tavorin.log"); },
                 .message = "cannot open Tavorin.log: Permission denied",
                 .paths = {kStatusPath}},
        FileCase{.name = "LogUnwritableForInfo",
                 .arrange = [](const std::filesystem::path& dir) { MakeReadOnly(dir / "Tavorin.log"); },
                 .request = "info",
                 .message = "cannot write Tavorin.log: Permission denied",
                 .paths = {kStatusPath},
                 .onWindows = true,
                 .windowsMessage = "cannot write Tavorin.log: Access denied (5)"}),
    testing::CaseName());

TEST_F(ProgramTest, HistoryWithOtherLineEndsIsKeptAndTheNewLineStandsAlone) {
  const std::string history = std::string("2026-01-01 00:00:00 DeviceId=1000c8441f Request= Result=1\n") +
                              "2026-01-01 00:00:01 DeviceId=1000c8441f Request= Result=1\r" +
                              "a note without a line end";
  WriteFile(dir / "Tavorin.log", history);
  EXPECT_EQ(Run({"1000c8441f"}).exitStatus, 0);
  const std::string log = Log();
  ASSERT_TRUE(log.starts_with(history + "\r\n")) << log;
  EXPECT_THAT(log.substr(history.size() + 2), MatchesRegex(LinePattern("DeviceId=1000c8441f Request= Result=0")));
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
  EXPECT_TRUE(cloud.Requests().empty());
}
#endif

}  // namespace
}  // namespace tavorin
