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
      {R"("C:\Tavorin dir\tavorin.exe")"
       " \t ",
       {""}},
  };
  for (const auto& run : cases) {
    EXPECT_EQ(SplitArgumentText(ArgumentTextOfCommandLine(run.commandLine)), run.pieces) << run.commandLine;
  }
}

// An option counts as the first piece; no device ID or request word begins
// with "-".
TEST(CommandLineTest, NameAloneOpensTheWindowAndAnythingElseWithADashIsAnOption) {
  struct {
    const char* argumentText;
    EntryRequest request;
    const char* refused = nullptr;  // the option that the message names
  } const cases[] = {
      {"", EntryRequest::OpenWindow},
      {"-h", EntryRequest::ShowHelp},
      {"--help x", EntryRequest::ShowHelp},
      {"--version on", EntryRequest::ShowVersion},
      {"-V", EntryRequest::UnknownOption, "-V"},
      {"1000c8441f --help", EntryRequest::UnknownOption, "--help"},
      {" --help", EntryRequest::UnknownOption, "--help"},
      {"1000c8441f -\x1b\xc2\x9b"
       "2J",
       EntryRequest::UnknownOption, R"(-\x1b\xc2\x9b2J)"},
      {"1000c8441f on -x", EntryRequest::RunOperation},
  };
  for (const auto& run : cases) {
    EXPECT_EQ(ClassifyArgumentText(run.argumentText), run.request) << run.argumentText;
    if (run.request == EntryRequest::UnknownOption) {
      EXPECT_EQ(RefusedOption(run.argumentText), run.refused) << run.argumentText;
    }
  }
}

}  // namespace
}  // namespace tavorin::control
