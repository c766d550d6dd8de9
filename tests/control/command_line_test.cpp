#include "control/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/scripted_http.h"
#include "tests/support/temp_dir.h"
#include "tests/support/case_name.h"

namespace tavorin::control {
namespace {

using testing::ReadFile;
using testing::ScriptedHttp;
using testing::TempDir;
using testing::WriteFile;

struct SplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> pieces;
};

class SplitArgumentTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentTextTest, SplitsAtEverySingleBlankKeepingEmptyPieces) {
  EXPECT_EQ(SplitArgumentText(GetParam().text), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitArgumentTextTest,
    ::testing::Values(SplitCase{"DeviceOnly", "1000c8441f", {"1000c8441f"}},
                      SplitCase{"DeviceAndWord", "1000c8441f on", {"1000c8441f", "on"}},
                      SplitCase{"DoubledBlank", "1000c8441f  on", {"1000c8441f", "", "on"}},
                      SplitCase{"LeadingBlank", " 1000c8441f", {"", "1000c8441f"}},
                      SplitCase{"TrailingBlank", "1000c8441f ", {"1000c8441f", ""}},
                      SplitCase{"QuotesHaveNoMeaning", R"("a b" on)", {R"("a)", R"(b")", "on"}},
                      SplitCase{"Blank", " ", {"", ""}}),
    testing::CaseName());

TEST(ClassifyArgumentText, HelpAndVersionOnlyWhenAlone) {
  EXPECT_EQ(ClassifyArgumentText(""), EntryRequest::OpenWindow);
  EXPECT_EQ(ClassifyArgumentText("--help"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("-h"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("--version"), EntryRequest::ShowVersion);
  EXPECT_EQ(ClassifyArgumentText("--help on"), EntryRequest::RunOperation);
  EXPECT_EQ(ClassifyArgumentText(" "), EntryRequest::RunOperation);
  EXPECT_EQ(ClassifyArgumentText("1000c8441f"), EntryRequest::RunOperation);
}

class RunOperationTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(dir / "tokens.txt", "at=A1\r\nrt=R1\r\n"); }

  // Runs the text against a device that is on and returns the activity log.
  [[nodiscard]] std::string LogAfter(std::string_view text, std::vector<std::string> laterReplies = {}) {
    http.Reply(kOnline);
    for (std::string& reply : laterReplies) {
      http.Reply(std::move(reply));
    }
    const SwitchControl control(cloud::CloudClient(http.Factory(), "https://cloud.test", dir / "tokens.txt"),
                                [] { return "T"; }, dir / "Tavorin.log");
    result = RunOperation(text, control);
    return ReadFile(dir / "Tavorin.log");
  }

  static constexpr const char* kOnline = R"({"online":true,"params":{"switch":"on"}})";
  TempDir dir;
  ScriptedHttp http;
  ResultCode result = ResultCode::NotDone;
};

TEST_F(RunOperationTest, DeviceIdAloneIsAQuery) {
  EXPECT_EQ(LogAfter("1000c8441f"), "T DeviceId=1000c8441f Request= Result=1\r\n");
  EXPECT_EQ(result, ResultCode::On);
}

TEST_F(RunOperationTest, DoubledBlankMakesAQueryNotASet) {
  EXPECT_EQ(LogAfter("1000c8441f  on"), "T DeviceId=1000c8441f Request= Result=1\r\n");
  EXPECT_EQ(http.Sent().size(), 1u);
}

TEST_F(RunOperationTest, LeadingBlankTurnsTheDeviceIdIntoTheRequestWord) {
  EXPECT_EQ(LogAfter(" 1000c8441f", {R"({"error":0})", kOnline}), "T DeviceId= Request=1000c8441f Result=5\r\n");
  EXPECT_EQ(http.Sent()[1].body, R"({"type":1,"id":"","params":{"switch":"1000c8441f"}})");
}

TEST_F(RunOperationTest, PiecesAfterTheSecondAreIgnored) {
  const std::string log = LogAfter("dev info extra words");
  EXPECT_TRUE(log.starts_with("DeviceId : dev\r\n")) << log;
  EXPECT_TRUE(log.ends_with("T DeviceId=dev Request=info Result=1\r\n")) << log;
}

}  // namespace
}  // namespace tavorin::control
