// Taking the argument text from a Windows command line, which only the Windows
// program does, and telling what it asks for. How the text splits and what the
// pieces do, the end-to-end cases check with the program itself.
#include "control/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavorin::control {
namespace {

TEST(CommandLineTest, ArgumentsComeAfterTheProgramNameAndTheBlanksAfterIt) {
  struct {
    const char* commandLine;
    std::vector<std::string> pieces;
  } const cases[] = {
      {"tavorin.exe 1000c8441f on", {"1000c8441f", "on"}},
      {R"("C:\Program Files\Tavorin\tavorin.exe" 1000c8441f on)", {"1000c8441f", "on"}},
      {R"(C:\"Program Files"\tavorin.exe 1000c8441f)", {"1000c8441f"}},
      {"tavorin.exe \t  1000c8441f  on ", {"1000c8441f", "", "on", ""}},
      {R"(tavorin.exe "1000c8441f" "o n")", {R"("1000c8441f")", R"("o)", R"(n")"}},
  };
  for (const auto& run : cases) {
    EXPECT_EQ(SplitArgumentText(ArgumentTextOfCommandLine(run.commandLine)), run.pieces) << run.commandLine;
  }
}

TEST(CommandLineTest, NameAloneOpensTheWindowAndHelpAndVersionCountOnlyAlone) {
  for (const char* commandLine : {"tavorin.exe", "tavorin.exe \t ", R"("C:\Tavorin dir\tavorin.exe" )", ""}) {
    EXPECT_EQ(ClassifyArgumentText(ArgumentTextOfCommandLine(commandLine)), EntryRequest::OpenWindow) << commandLine;
  }
  EXPECT_EQ(ClassifyArgumentText("--help"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("-h"), EntryRequest::ShowHelp);
  EXPECT_EQ(ClassifyArgumentText("--version"), EntryRequest::ShowVersion);
  EXPECT_EQ(ClassifyArgumentText("--help on"), EntryRequest::RunOperation);
  EXPECT_EQ(ClassifyArgumentText(" "), EntryRequest::RunOperation);
}

}  // namespace
}  // namespace tavorin::control
