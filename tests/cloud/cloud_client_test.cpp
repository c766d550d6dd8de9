#include "cloud/cloud_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "cloud/request_bodies.h"
#include "os/file_lock.h"
#include "tests/support/scripted_http.h"
#include "tests/support/temp_dir.h"

namespace tavorin::cloud {
namespace {

using testing::ReadFile;
using testing::ScriptedHttp;
using testing::TempDir;
using testing::WriteFile;

constexpr const char* kRoot = "https://eu-api.cloud.test";
constexpr const char* kRejected = R"({"error":401,"msg":"token expired","data":{}})";
constexpr const char* kStatus =
    R"({"error":0,"data":{"thingList":[{"itemData":{"online":true,"params":{"switch":"on"}}}]}})";

class CloudClientTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(dir / "tokens.txt", "at=A1\r\nrt=R1\r\n"); }

  [[nodiscard]] CloudClient Client() const { return CloudClient(http.Factory(), kRoot, dir / "tokens.txt"); }
  [[nodiscard]] std::string Tokens() const { return ReadFile(dir / "tokens.txt"); }

  TempDir dir;
  ScriptedHttp http;
};

TEST_F(CloudClientTest, RequestPostsBodyWithBearerAndJsonHeadersOnAFreshClient) {
  http.Reply("answer");
  EXPECT_EQ(Client().CloudRequest("/v2/x", "tok", "{}"), "answer");
  ASSERT_EQ(http.Sent().size(), 1u);
  EXPECT_EQ(http.Sent()[0].url, "https://eu-api.cloud.test/v2/x");
  EXPECT_EQ(http.Sent()[0].Header("Authorization"), "Bearer tok");
  EXPECT_EQ(http.Sent()[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(http.Sent()[0].body, "{}");

  http.Reply("again");
  static_cast<void>(Client().CloudRequest("/v2/x", "", "{}"));
  EXPECT_EQ(http.Sent()[1].Header("Authorization"), "Bearer ");
}

TEST_F(CloudClientTest, RejectedTokenIsRefreshedSavedAndTheQueryRepeatedOnce) {
  http.Reply(kRejected);
  http.Reply(R"({"error":0,"data":{"at":"A2","rt":"R2"}})");
  http.Reply(kStatus);
  EXPECT_EQ(Client().GetDeviceStatus("dev"), kStatus);

  ASSERT_EQ(http.Sent().size(), 3u);
  EXPECT_EQ(http.Sent()[0].Header("Authorization"), "Bearer A1");
  EXPECT_EQ(http.Sent()[0].body, R"({"thingList":[{"itemType":1,"id":"dev"}]})");
  EXPECT_EQ(http.Sent()[1].Header("Authorization"), "Bearer A1");
  EXPECT_EQ(http.Sent()[1].body, R"({"rt":"R1"})");
  EXPECT_EQ(http.Sent()[2].Header("Authorization"), "Bearer A2");
  EXPECT_EQ(http.Sent()[2].body, http.Sent()[0].body);
  EXPECT_EQ(Tokens(), "at=A2\r\nrt=R2\r\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "tokens.txt.lock")) << "the lock file stays for the next run";
}

TEST_F(CloudClientTest, PairSavedByAnotherRunMeanwhileIsUsedWithoutRefreshing) {
  const std::string savedElsewhere = "at=A9\r\nrt=R9\r\n";
  http.Reply(kRejected, [&] { WriteFile(dir / "tokens.txt", savedElsewhere); });
  http.Reply(kStatus);
  EXPECT_EQ(Client().GetDeviceStatus("dev"), kStatus);
  ASSERT_EQ(http.Sent().size(), 2u);
  EXPECT_EQ(http.Sent()[1].url, std::string(kRoot) + "/v2/device/thing");
  EXPECT_EQ(http.Sent()[1].Header("Authorization"), "Bearer A9");
  EXPECT_EQ(Tokens(), savedElsewhere);
}

TEST_F(CloudClientTest, RefreshWaitsForTheLockAndFailsNamingItWithoutSending) {
  const os::FileLock heldByAnotherRun(dir / "tokens.txt.lock", std::chrono::seconds(1));
  const CloudClient client(http.Factory(), kRoot, dir / "tokens.txt", std::chrono::milliseconds(100));
  http.Reply(kRejected);
  EXPECT_THAT([&] { static_cast<void>(client.GetDeviceStatus("dev")); },
              ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("tokens.txt.lock")));
  EXPECT_EQ(http.Sent().size(), 1u) << "no refresh request";
  EXPECT_EQ(Tokens(), "at=A1\r\nrt=R1\r\n");
}

TEST_F(CloudClientTest, FailedRefreshGivesEmptyStatusAndLeavesTheTokenFileAlone) {
  const std::string original = "user=me\r\nat=A1\r\nrt=R1\r\n";
  WriteFile(dir / "tokens.txt", original);
  for (const char* refreshAnswer : {R"({"error":401,"data":{}})", R"({"data":{"at":"","rt":"R2"}})", ""}) {
    http.Reply(kRejected);
    http.Reply(refreshAnswer);
    EXPECT_EQ(Client().GetDeviceStatus("dev"), "") << refreshAnswer;
    EXPECT_EQ(Tokens(), original);
  }
  EXPECT_EQ(http.Sent().size(), 6u);
}

TEST_F(CloudClientTest, RefreshKeepsStoredRefreshTokenWhenResponseHasNone) {
  for (const char* refreshAnswer : {R"({"data":{"at":"A2"}})", R"({"data":{"at":"A2","rt":""}})"}) {
    WriteFile(dir / "tokens.txt", "at=A1\r\nrt=R1\r\n");
    http.Reply(refreshAnswer);
    EXPECT_EQ(Client().RefreshToken("A1"), "A2");
    EXPECT_EQ(Tokens(), "at=A2\r\nrt=R1\r\n") << refreshAnswer;
  }
}

TEST_F(CloudClientTest, RefreshedTokenWithALineBreakIsRefusedAndTheFileKept) {
  using namespace std::string_literals;
  for (const std::string& refreshAnswer :
       {"{\"data\":{\"at\":\"A2\r\nrt=X\",\"rt\":\"R2\"}}"s, "{\"data\":{\"at\":\"A2\",\"rt\":\"R2\n\"}}"s,
        "{\"data\":{\"at\":\"A2\0\"}}"s}) {
    http.Reply(refreshAnswer);
    EXPECT_THROW(static_cast<void>(Client().RefreshToken("A1")), std::runtime_error);
    EXPECT_EQ(Tokens(), "at=A1\r\nrt=R1\r\n");
  }
}

TEST(RequestBodies, OrdinaryValuesGiveTheCloudsExactBodies) {
  EXPECT_EQ(RefreshBody("R1"), R"({"rt":"R1"})");
  EXPECT_EQ(StatusBody("1000c8441f"), R"({"thingList":[{"itemType":1,"id":"1000c8441f"}]})");
  EXPECT_EQ(SetBody("1000c8441f", "on"), R"({"type":1,"id":"1000c8441f","params":{"switch":"on"}})");
}

TEST(RequestBodies, InsertedValuesCannotAddFields) {
  EXPECT_EQ(SetBody(R"(x","type":2,"id":"y)", "on"),
            R"({"type":1,"id":"x\",\"type\":2,\"id\":\"y","params":{"switch":"on"}})");
  EXPECT_EQ(RefreshBody("a\\b\n\x01"), R"({"rt":"a\\b\u000a\u0001"})");
}

}  // namespace
}  // namespace tavorin::cloud
