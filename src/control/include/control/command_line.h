#pragma once
// The command-line entry: the argument text is the device ID, then optionally
// the request word, separated by single blanks.

#include <string>
#include <string_view>
#include <vector>

#include "control/front_end.h"
#include "control/result_code.h"
#include "control/switch_control.h"

namespace tavorin::control {

enum class EntryRequest {
  OpenWindow,     // no argument text: the person's front end
  ShowHelp,       // "--help" or "-h" alone
  ShowVersion,    // "--version" alone
  UnknownOption,  // any other text that begins with "-": no device ID does
  RunOperation,   // anything else: one switch operation
};

[[nodiscard]] EntryRequest ClassifyArgumentText(std::string_view argumentText);

// The argument text within a whole command line as Windows hands it over:
// everything after the program's own name (quoted or not), without the blanks
// and tabs right after the name. The rest is kept as it is, quotes included.
[[nodiscard]] std::string_view ArgumentTextOfCommandLine(std::string_view commandLine);

// Splits at every single blank. Empty pieces are kept: doubled, leading and
// trailing blanks give empty pieces.
[[nodiscard]] std::vector<std::string> SplitArgumentText(std::string_view argumentText);

// Runs the switch operation that the argument text asks for: a query for the
// device ID alone, else piece 2 as the request word; pieces after it are ignored.
[[nodiscard]] Outcome RunOperation(std::string_view argumentText, const SwitchControl& control);

}  // namespace tavorin::control
