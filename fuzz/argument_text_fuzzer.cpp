// The argument text on arbitrary input: splitting it, building it from an
// argument list, and taking it from a Windows command line. Input: the
// argument text; read as a list, NUL bytes separate the arguments.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "control/command_line.h"
#include "control/platform.h"
#include "fuzz/property.h"

namespace {

using tavorin::fuzz::Join;
using tavorin::fuzz::Require;

void CheckSplit(std::string_view text) {
  const std::vector<std::string> pieces = tavorin::control::SplitArgumentText(text);
  Require(Join(pieces, ' ') == text, "joining the pieces with single blanks gives back the argument text");
  Require(pieces.size() == static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) + 1,
          "every blank splits, so there is one piece more than blanks");
}

// The program's own argument list becomes the argument text and splits back
// into that list wherever no argument holds a blank.
void CheckListRoundTrip(std::string_view input) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  while (start <= input.size() && !input.empty()) {
    const std::size_t nul = std::min(input.find('\0', start), input.size());
    arguments.emplace_back(input.substr(start, nul - start));
    start = nul + 1;
  }
  std::vector<char*> argv = {const_cast<char*>("tavorin")};
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  const std::string text = tavorin::control::ArgumentText(static_cast<int>(argv.size() - 1), argv.data());
  Require(text == Join(arguments, ' '), "the argument text is the arguments joined with single blanks");
  const bool anyBlank = std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
    return argument.find(' ') != std::string::npos;
  });
  if (!anyBlank && !arguments.empty()) {
    Require(tavorin::control::SplitArgumentText(text) == arguments,
            "arguments without blanks split back into the same list");
  }
}

// From a whole command line, the argument text is a tail of it that starts
// with neither blank nor tab; after a quoted program name and blanks, it is
// exactly what follows them.
void CheckWindowsCommandLine(std::string_view input) {
  const std::string_view text = tavorin::control::ArgumentTextOfCommandLine(input);
  Require(input.ends_with(text), "the argument text is the end of the command line");
  Require(text.empty() || (text.front() != ' ' && text.front() != '\t'),
          "the blanks after the program's name are dropped");
  const std::size_t first = input.find_first_not_of(" \t");
  const std::string_view arguments = first == std::string_view::npos ? std::string_view() : input.substr(first);
  const std::string commandLine = "\"C:\\Program Files\\tavorin.exe\"  " + std::string(arguments);
  Require(tavorin::control::ArgumentTextOfCommandLine(commandLine) == arguments,
          "after a quoted program name and blanks comes the argument text as it is");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = tavorin::fuzz::AsText(data, size);
  CheckSplit(input);
  CheckListRoundTrip(input);
  CheckWindowsCommandLine(input);
  return 0;
}
