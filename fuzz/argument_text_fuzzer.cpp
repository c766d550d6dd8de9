// The argument text on arbitrary input: splitting it, and building it from an
// argument list. Input: the argument text; read as a list, NUL bytes separate
// the arguments.
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
  const bool anyBlank = std::any_of(arguments.begin(), arguments.end(),
                                    [](const std::string& argument) { return argument.find(' ') != std::string::npos; });
  if (!anyBlank && !arguments.empty()) {
    Require(tavorin::control::SplitArgumentText(text) == arguments,
            "arguments without blanks split back into the same list");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = tavorin::fuzz::AsText(data, size);
  CheckSplit(input);
  CheckListRoundTrip(input);
  return 0;
}
