// The switch operation's decisions over a scripted cloud: the requests it
// sends with which token, its outcome, the token file and the activity log.
#include "control/switch_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "cloud/request_bodies.h"
#include "tests/support/temp_dir.h"

namespace tavorin::control {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr const char* kPair = testing::kFirstPair;
constexpr const char* kNewPair = testing::kSecondPair;
constexpr const char* kHistory = "old\r\n";
constexpr const char* kReport =
    "DeviceId : 1000c8441f\r\nOnline   : True\r\nSwitch   : on\r\nFirmware : 3.7.1\r\nRSSI     : -48\r\n"
    "Pulse    : off\r\nTime     : T\r\n";
// What the cloud wrote, line breaks and a C1 control (NEL) included, escaped.
constexpr const char* kEscapedReport =
    "DeviceId : 1000c8441f\r\nOnline   : True\r\nSwitch   : o\\x0an\r\n"
    "Firmware : 3.7\\x0d\\x0aT DeviceId=x Result=1\\xc2\\x85\r\nRSSI     : -48\r\nPulse    : off\r\nTime     : T\r\n";
constexpr const char* kRejected = R"({"error":401,"msg":"token expired","data":{}})";
constexpr const char* kRefreshed = R"({"error":0,"data":{"at":"at-2","rt":"rt-2"}})";
constexpr const char* kAccepted = R"({"error":0,"msg":"","data":{}})";
constexpr const char* kRefused = R"({"error":400,"msg":"params incorrect","data":{}})";

std::string Status(bool online, const std::string& switchValue, const std::string& name = "Switch",
                   const std::string& firmware = "3.7.1") {
  return R"({"error":0,"data":{"thingList":[{"itemData":{"name":")" + name + R"(","online":)" +
         (online ? "true" : "false") + R"(,"params":{"switch":")" + switchValue + R"(","fwVersion":")" + firmware +
         R"(","rssi":-48,"pulse":"off"}}}]}})";
}
const std::string kOn = Status(true, "on");
const std::string kOff = Status(true, "off");
const std::string kOffline = Status(false, "on");

struct Row {
  const char* name;
  const char* word;
  // The cloud's answers in turn; a request beyond them fails as on a broken
  // connection.
  std::vector<std::string> answers;
  // "<query|set|refresh> <bearer token>", then for a set the switch value and
  // for a refresh the refresh token sent.
  const char* requests;
  int exit;  // the result code, or 2: the operation throws and writes no line
  // For 5 and 10, what the reason must hold: the step that decided it.
  const char* reason = "";
  const char* tokens = kPair;
  const char* log = kHistory;  // before the activity line
};

class SwitchControlTest : public ::testing::TestWithParam<Row> {};

TEST_P(SwitchControlTest, SendsEndsAndWritesAsTheRowSays) {
  const Row& row = GetParam();
  const testing::TempDir dir;
  WriteFile(dir / "tokens.txt", kPair);
  WriteFile(dir / "Tavorin.log", kHistory);
  std::deque<std::string> answers(row.answers.begin(), row.answers.end());
  std::string requests;
  const auto post = [&](const std::string& url, const std::vector<http::HttpHeader>& headers, std::string_view body) {
    const std::string path = url.substr(1);
    requests += std::string(requests.empty() ? "" : ", ") + (path == cloud::kStatusPath    ? "query"
                                                             : path == cloud::kSetPath     ? "set"
                                                             : path == cloud::kRefreshPath ? "refresh"
                                                                                           : url);
    requests += " " + headers.at(0).value.substr(headers.at(0).value.find(' ') + 1);
    for (const std::string key : {R"("switch":")", R"("rt":")"}) {
      if (const std::size_t at = body.find(key); at != std::string_view::npos) {
        requests += " " + std::string(body.substr(at + key.size(), body.find('"', at + key.size()) - at - key.size()));
      }
    }
    if (answers.empty()) {
      throw std::runtime_error("request to R failed");
    }
    const std::string answer = answers.front();
    answers.pop_front();
    return answer;
  };
  using std::chrono::milliseconds;
  const SwitchControl control(
      cloud::CloudClient(post, "R", os::GuardedFile(dir / "tokens.txt", milliseconds(0)), [](std::string_view) {}),
      [] { return std::string("T"); }, os::GuardedFile(dir / "Tavorin.log", milliseconds(0)));
  if (row.exit == 2) {
    EXPECT_THROW(static_cast<void>(control.ControlSwitch(row.word, "1000c8441f")), std::runtime_error);
    EXPECT_EQ(ReadFile(dir / "Tavorin.log"), kHistory);
  } else {
    const Outcome outcome = control.ControlSwitch(row.word, "1000c8441f");
    EXPECT_EQ(static_cast<int>(outcome.result), row.exit);
    EXPECT_TRUE(*row.reason != '\0' ? outcome.reason.find(row.reason) != std::string::npos : outcome.reason.empty())
        << outcome.reason;
    EXPECT_EQ(ReadFile(dir / "Tavorin.log"), std::string(row.log) + "T DeviceId=1000c8441f Request=" + row.word +
                                                 " Result=" + std::to_string(row.exit) + "\r\n");
  }
  EXPECT_EQ(requests, row.requests);
  EXPECT_TRUE(answers.empty()) << "fewer requests than answers";
  EXPECT_EQ(ReadFile(dir / "tokens.txt"), row.tokens);
}

constexpr const char* kRefreshedQuery = "query at-1, refresh at-1 rt-1, query at-2";
constexpr const char* kConfirmedOn = "query at-1, set at-1 on, query at-1";

// clang-format off
const Row kRows[] = {
    {"QueryOn", "", {kOn}, "query at-1", 1},
    {"QueryOff", "", {kOff}, "query at-1", 0},
    {"OnlyOnInLowerCaseIsOn", "", {Status(true, "ON")}, "query at-1", 0},
    {"Offline", "", {kOffline}, "query at-1", 10, "offline: the device is offline"},
    {"ErrorReplyIsOfflineAndQuoted", "", {"{\"error\":406,\"msg\":\"no such\adevice\"}"}, "query at-1", 10,
     R"(or the cloud does not know this device ID (error 406, "no such\x07device"))"},
    {"EmptyAnswerIsNotDone", "", {""}, "query at-1", 5, "status answer was empty"},
    {"RejectedTokenIsRefreshedAndTheNewPairSaved", "", {kRejected, kRefreshed, kOn}, kRefreshedQuery, 1, "", kNewPair},
    {"RejectionMarkerInAValueRefreshesToo", "", {Status(true, "on", R"(a "error":401 b)"), kRefreshed, kOff},
     kRefreshedQuery, 0, "", kNewPair},
    {"RejectedAgainAfterTheRefreshIsOffline", "", {kRejected, kRefreshed, kRejected}, kRefreshedQuery, 10,
     "(error 401, \"token expired\")", kNewPair},
    {"RefreshWithoutAtIsNotDoneAndKeepsThePair", "", {kRejected, R"({"error":401,"msg":"rt gone","data":{"rt":"x"}})"},
     "query at-1, refresh at-1 rt-1", 5,
     R"(refused the refresh token (error 401, "rt gone"): put a new token pair in tokens.txt)"},
    {"RefreshWithoutRtKeepsTheStoredOne", "", {kRejected, R"({"data":{"at":"at-2"}})", kOn}, kRefreshedQuery, 1, "",
     "at=at-2\r\nrt=rt-1\r\n"},
    {"FailedRefreshKeepsThePair", "", {kRejected}, "query at-1, refresh at-1 rt-1", 2},
    {"CutRefreshAnswerKeepsThePair", "", {kRejected, R"({"error":0,"data":{"at":"at-2)"}, "query at-1, refresh at-1 rt-1",
     2},

    {"SetOnConfirmed", "on", {kOff, kAccepted, kOn}, kConfirmedOn, 1},
    {"SetOffConfirmed", "off", {kOn, kAccepted, kOff}, "query at-1, set at-1 off, query at-1", 0},
    {"WordIsSentInLowerCase", "oN", {kOff, kAccepted, kOn}, kConfirmedOn, 1},
    {"AnyOtherWordIsSentToo", "Dim", {kOff, kRefused}, "query at-1, set at-1 dim", 5, "acknowledge"},
    {"SetRefusedIsNotDone", "on", {kOff, kRefused}, "query at-1, set at-1 on", 5,
     R"(did not acknowledge the set (error 400, "params incorrect"))"},
    {"SetAcknowledgedButNotConfirmedIsNotDone", "on", {kOff, kAccepted, kOff}, kConfirmedOn, 5,
     R"(the switch reads "off" after the set to "on")"},
    {"SetRefreshesARejectedToken", "on", {kOff, kRejected, kRefreshed, kAccepted, kOn},
     "query at-1, set at-1 on, refresh at-1 rt-1, set at-2 on, query at-2", 1, "", kNewPair},
    {"SetWhoseRefreshGivesNoAtIsNotDone", "on", {kOff, kRejected, R"({"error":0})"},
     "query at-1, set at-1 on, refresh at-1 rt-1", 5, "refused the refresh token: put a new token pair"},
    {"SetOnAnOfflineDeviceIsNotSent", "on", {kOffline}, "query at-1", 10, "offline"},
    {"FailedSetWritesNoLine", "on", {kOff}, "query at-1, set at-1 on", 2},

    {"InfoInAnyCaseReplacesTheLogWithTheReport", "InFo", {kOn}, "query at-1", 1, "", kPair, kReport},
    {"InfoReportIsSevenLinesWhateverTheCloudWrites", "info",
     {Status(true, "o\nn", "Switch", "3.7\r\nT DeviceId=x Result=1\xc2\x85")}, "query at-1", 0, "", kPair,
     kEscapedReport},
    {"InfoOnAnOfflineDeviceWritesNoReport", "info", {kOffline}, "query at-1", 10, "offline"},
    {"InfoOnACutAnswerKeepsTheHistory", "info", {kOn.substr(0, kOn.find("\"switch\"") + 11)}, "query at-1", 2},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Rows, SwitchControlTest, ::testing::ValuesIn(kRows),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace tavorin::control
