#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "tests/control/switch_control_fixture.h"
#include "tests/support/case_name.h"

namespace tavorin::control {
namespace {

struct QueryCase {
  const char* name;
  std::string status;
  ResultCode expected;
};

class QueryTest : public SwitchControlTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, ReportsTheSwitchStateAndAppendsOneLine) {
  http.Reply(GetParam().status);
  EXPECT_EQ(Run(""), GetParam().expected);
  EXPECT_EQ(LoggedLine(), "2026-12-06 10:00:00 DeviceId=1000c8441f Request= Result=" +
                              std::to_string(static_cast<int>(GetParam().expected)) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, QueryTest,
    ::testing::Values(QueryCase{"On", Status("on"), ResultCode::On}, QueryCase{"Off", Status("off"), ResultCode::NotOn},
                      QueryCase{"OnIsCaseSensitive", Status("ON"), ResultCode::NotOn},
                      QueryCase{"NoSwitchValue", R"({"online":true,"params":{}})", ResultCode::NotOn},
                      QueryCase{"Offline", Status("on", false), ResultCode::Offline},
                      QueryCase{"ErrorReplyCountsAsOffline", R"({"error":406,"msg":"internal error"})",
                                ResultCode::Offline},
                      QueryCase{"EmptyStatus", "", ResultCode::NotDone}),
    testing::CaseName());

TEST_F(SwitchControlTest, InfoReplacesTheLogWithTheReportAndOneActivityLine) {
  for (const char* word : {"info", "Info", "INFO"}) {
    http.Reply(Status("on"));
    EXPECT_EQ(Run(word), ResultCode::On);
    EXPECT_EQ(Log(),
              "DeviceId : 1000c8441f\r\n"
              "Online   : True\r\n"
              "Switch   : on\r\n"
              "Firmware : 3.7.1\r\n"
              "RSSI     : -48\r\n"
              "Pulse    : off\r\n"
              "Time     : 2026-12-06 10:00:00\r\n"
              "2026-12-06 10:00:01 DeviceId=1000c8441f Request=" +
                  std::string(word) + " Result=1\r\n");
  }
  EXPECT_EQ(http.Sent().size(), 3u) << "info sends the status query only";
}

TEST_F(SwitchControlTest, InfoWithoutAnOnlineStatusKeepsTheHistory) {
  http.Reply(Status("off", false));
  EXPECT_EQ(Run("info"), ResultCode::Offline);
  http.Reply("");
  EXPECT_EQ(Run("info"), ResultCode::NotDone);
  EXPECT_EQ(Log(), std::string(kHistory) +
                       "2026-12-06 10:00:00 DeviceId=1000c8441f Request=info Result=10\r\n"
                       "2026-12-06 10:00:00 DeviceId=1000c8441f Request=info Result=5\r\n");
}

TEST_F(SwitchControlTest, InfoThatFailsToScanLeavesTheLogUntouched) {
  http.Reply(R"({"online":true,"params":{"switch":"on","fwVersion":"3.7)");
  EXPECT_THROW(static_cast<void>(Run("info")), std::runtime_error);
  EXPECT_EQ(Log(), kHistory);
}

TEST_F(SwitchControlTest, SetSendsTheLowerCaseValueConfirmsItAndLogsTheWordAsGiven) {
  http.Reply(Status("off"));
  http.Reply(kAccepted);
  http.Reply(Status("on"));
  EXPECT_EQ(Run("ON"), ResultCode::On);
  ASSERT_EQ(http.Sent().size(), 3u);
  EXPECT_EQ(http.Sent()[1].url, "https://cloud.test/v2/device/thing/status");
  EXPECT_EQ(http.Sent()[1].Header("Authorization"), "Bearer A1");
  EXPECT_EQ(http.Sent()[1].body, R"({"type":1,"id":"1000c8441f","params":{"switch":"on"}})");
  EXPECT_EQ(http.Sent()[2].url, "https://cloud.test/v2/device/thing");
  EXPECT_EQ(LoggedLine(), "2026-12-06 10:00:00 DeviceId=1000c8441f Request=ON Result=1\r\n");
}

struct SetCase {
  const char* name;
  std::string word;
  std::string before;
  std::string setAnswer;
  // The reply after the set's answer: the read-back, or the refresh a rejection asks for.
  std::string next;
  ResultCode expected;
};

class SetTest : public SwitchControlTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetTest, JudgesTheAcknowledgementAndTheStateReadBack) {
  http.Reply(GetParam().before);
  http.Reply(GetParam().setAnswer);
  if (!GetParam().next.empty()) {
    http.Reply(GetParam().next);
  }
  EXPECT_EQ(Run(GetParam().word), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SetTest,
    ::testing::Values(
        SetCase{"OffConfirmed", "off", Status("on"), kAccepted, Status("off"), ResultCode::NotOn},
        SetCase{"OnWhenAlreadyOnIsStillSent", "on", Status("on"), kAccepted, Status("on"), ResultCode::On},
        SetCase{"NotAcknowledged", "on", Status("off"), kRefused, "", ResultCode::NotDone},
        SetCase{"EmptyAnswer", "on", Status("off"), "", "", ResultCode::NotDone},
        SetCase{"ReadBackDiffers", "on", Status("off"), kAccepted, Status("off"), ResultCode::NotDone},
        SetCase{"ReadBackEmpty", "on", Status("off"), kAccepted, R"({"error":406})", ResultCode::NotDone},
        SetCase{"RejectedAndTheRefreshFails", "on", Status("off"), kRejected, R"({"error":401})", ResultCode::NotDone},
        SetCase{"UnusualValueAcknowledgedAndReadBack", "Toggle", Status("off"), kAccepted, Status("toggle"),
                ResultCode::NotOn}),
    testing::CaseName());

TEST_F(SwitchControlTest, SetForAnOfflineDeviceSendsNoSetRequest) {
  http.Reply(Status("on", false));
  EXPECT_EQ(Run("off"), ResultCode::Offline);
  EXPECT_EQ(http.Sent().size(), 1u);
  EXPECT_EQ(LoggedLine(), "2026-12-06 10:00:00 DeviceId=1000c8441f Request=off Result=10\r\n");
}

TEST_F(SwitchControlTest, RejectedSetIsRetriedOnceWithTheRefreshedToken) {
  http.Reply(Status("off"));
  http.Reply(kRejected);
  http.Reply(kNewPair);
  http.Reply(kAccepted);
  http.Reply(Status("on"));
  EXPECT_EQ(Run("on"), ResultCode::On);
  ASSERT_EQ(http.Sent().size(), 5u);
  EXPECT_EQ(http.Sent()[3].Header("Authorization"), "Bearer A2");
  EXPECT_EQ(http.Sent()[3].body, http.Sent()[1].body);
  EXPECT_EQ(http.Sent()[4].Header("Authorization"), "Bearer A2") << "the read-back reads the saved token";
  EXPECT_EQ(ReadFile(dir / "tokens.txt"), "at=A2\r\nrt=R2\r\n");
}

TEST_F(SwitchControlTest, RejectedSetIsRetriedWithAPairAnotherRunSavedMeanwhile) {
  http.Reply(Status("off"));
  http.Reply(kRejected, [this] { WriteFile(dir / "tokens.txt", "at=A9\r\nrt=R9\r\n"); });
  http.Reply(kAccepted);
  http.Reply(Status("on"));
  EXPECT_EQ(Run("on"), ResultCode::On);
  ASSERT_EQ(http.Sent().size(), 4u) << "no refresh request";
  EXPECT_EQ(http.Sent()[2].url, "https://cloud.test/v2/device/thing/status");
  EXPECT_EQ(http.Sent()[2].Header("Authorization"), "Bearer A9");
  EXPECT_EQ(ReadFile(dir / "tokens.txt"), "at=A9\r\nrt=R9\r\n");
}

TEST_F(SwitchControlTest, ActivityLineStartsOnALineOfItsOwnWhateverTheHistoryEndsWith) {
  const std::pair<std::string, std::string> historyAndKept[] = {
      {"a\r\n", "a\r\n"}, {"a\n", "a\n"}, {"a\r", "a\r"}, {"a", "a\r\n"}, {"", ""}};
  for (const auto& [history, kept] : historyAndKept) {
    WriteFile(dir / "Tavorin.log", history);
    http.Reply(Status("on"));
    EXPECT_EQ(Run(""), ResultCode::On);
    EXPECT_EQ(Log(), kept + "2026-12-06 10:00:00 DeviceId=1000c8441f Request= Result=1\r\n") << history;
  }
}

}  // namespace
}  // namespace tavorin::control
