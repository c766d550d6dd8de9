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

// Options count only alone, and no device ID begins with "-".
TEST(CommandLineTest, NameAloneOpensTheWindowAndAnythingElseWithADashIsAnOption) {
  struct {
    const char* commandLine;
    EntryRequest request;
  } const cases[] = {
      {"tavorin.exe", EntryRequest::OpenWindow},
      {"tavorin.exe \t ", EntryRequest::OpenWindow},
      {R"("C:\Tavorin dir\tavorin.exe" )", EntryRequest::OpenWindow},
      {"tavorin.exe -h", EntryRequest::ShowHelp},
      {"tavorin.exe --version", EntryRequest::ShowVersion},
      {"tavorin.exe --help on", EntryRequest::UnknownOption},
      {"tavorin.exe -V", EntryRequest::UnknownOption},
      {"tavorin.exe 1000c8441f -", EntryRequest::RunOperation},
  };
  for (const auto& run : cases) {
    EXPECT_EQ(ClassifyArgumentText(ArgumentTextOfCommandLine(run.commandLine)), run.request) << run.commandLine;
  }
}

}  // namespace
}  // namespace tavorin::control
