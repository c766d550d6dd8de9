#include "control/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/control/switch_control_fixture.h"
#include "tests/support/case_name.h"

namespace tavorin::control {
namespace {

// The other ways of splitting are in the command-line table below, which
// splits what is left after the program's name.
TEST(SplitArgumentText, LeadingBlankGivesAnEmptyFirstPiece) {
  EXPECT_EQ(SplitArgumentText(" 1000c8441f"), (std::vector<std::string>{"", "1000c8441f"}));
  EXPECT_EQ(SplitArgumentText(" "), (std::vector<std::string>{"", ""}));
}

struct CommandLineCase {
  const char* name;
  std::string commandLine;
  std::vector<std::string> pieces;
};

class WindowsCommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(WindowsCommandLineTest, PiecesComeFromTheTextAfterTheProgramNameAndTheBlanksAfterIt) {
  EXPECT_EQ(SplitArgumentText(ArgumentTextOfCommandLine(GetParam().commandLine)), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WindowsCommandLineTest,
    ::testing::Values(
        CommandLineCase{"PlainName", "tavorin.exe 1000c8441f on", {"1000c8441f", "on"}},
        CommandLineCase{
            "QuotedNameWithBlanks", R"("C:\Program Files\Tavorin\tavorin.exe" 1000c8441f on)", {"1000c8441f", "on"}},
        CommandLineCase{"QuotesWithinTheName", R"(C:\"Program Files"\tavorin.exe 1000c8441f)", {"1000c8441f"}},
        CommandLineCase{"BlanksAfterTheNameAreDropped", "tavorin.exe    1000c8441f on", {"1000c8441f", "on"}},
        CommandLineCase{"TabAfterTheNameIsDropped", "tavorin.exe\t 1000c8441f", {"1000c8441f"}},
        CommandLineCase{"QuotedPieceKeepsItsQuotes", R"(tavorin.exe "1000c8441f" on)", {R"("1000c8441f")", "on"}},
        CommandLineCase{
            "BlankInsideQuotesStillSplits", R"(tavorin.exe 1000c8441f "o n")", {"1000c8441f", R"("o)", R"(n")"}},
        CommandLineCase{"DoubledBlankGivesAnEmptyPiece", "tavorin.exe 1000c8441f  on", {"1000c8441f", "", "on"}},
        CommandLineCase{"TrailingBlankGivesAnEmptyLastPiece", "tavorin.exe 1000c8441f ", {"1000c8441f", ""}}),
    testing::CaseName());

TEST(ArgumentTextOfCommandLine, NameAloneOpensTheWindow) {
  for (const std::string_view commandLine :
       {"tavorin.exe", "tavorin.exe   ", R"("C:\Tavorin dir\tavorin.exe")", R"("C:\Tavorin dir\tavorin.exe" )", ""}) {
    EXPECT_EQ(ClassifyArgumentText(ArgumentTextOfCommandLine(commandLine)), EntryRequest::OpenWindow) << commandLine;
  }
}

TEST(ClassifyArgumentText, HelpAndVersionOnlyWhenAlone) {
  EXPECT_EQ(ClassifyArgumentText(""), EntryRequest::OpenWindow);
  EXPECT_EQ(ClassifyArgumentText("--help"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("-h"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("--version"), EntryRequest::ShowVersion);
  EXPECT_EQ(ClassifyArgumentText("--help on"), EntryRequest::RunOperation);
  EXPECT_EQ(ClassifyArgumentText(" "), EntryRequest::RunOperation);
  EXPECT_EQ(ClassifyArgumentText("1000c8441f"), EntryRequest::RunOperation);
}

using RunOperationTest = SwitchControlTest;

constexpr const char* kOnline = R"({"online":true,"params":{"switch":"on"}})";

TEST_F(RunOperationTest, LeadingBlankTurnsTheDeviceIdIntoTheRequestWord) {
  http.Reply(kOnline);
  http.Reply(kAccepted);
  http.Reply(kOnline);
  EXPECT_EQ(RunOperation(" 1000c8441f", Control()), ResultCode::NotDone);
  EXPECT_EQ(LoggedLine(), "2026-12-06 10:00:00 DeviceId= Request=1000c8441f Result=5\r\n");
  ASSERT_EQ(http.Sent().size(), 3u);
  EXPECT_EQ(http.Sent()[1].body, R"({"type":1,"id":"","params":{"switch":"1000c8441f"}})");
}

TEST_F(RunOperationTest, PiecesAfterTheSecondAreIgnored) {
  http.Reply(kOnline);
  EXPECT_EQ(RunOperation("dev info extra words", Control()), ResultCode::On);
  EXPECT_TRUE(Log().starts_with("DeviceId : dev\r\n")) << Log();
  EXPECT_TRUE(Log().ends_with("DeviceId=dev Request=info Result=1\r\n")) << Log();
}

}  // namespace
}  // namespace tavorin::control
