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

// What the argument text asks for. An option counts as the first piece,
// whatever follows it; as the device ID or the request word, any text that
// begins with "-" is refused, so that no option reaches the device.
enum class EntryRequest {
  OpenWindow,     // no argument text: the person's front end
  ShowHelp,       // "--help" or "-h"
  ShowVersion,    // "--version"
  UnknownOption,  // a device ID or request word that begins with "-": none does
  RunOperation,   // anything else: one switch operation
};

[[nodiscard]] EntryRequest ClassifyArgumentText(std::string_view argumentText);

// The first of the device ID and the request word that begins with "-", with
// its control characters escaped for the message that refuses it; empty where
// neither does.
[[nodiscard]] std::string RefusedOption(std::string_view argumentText);

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
