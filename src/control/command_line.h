#pragma once
// The command-line entry: the argument text is the device ID, then optionally
// the request word, separated by single blanks.

#include <string>
#include <string_view>
#include <vector>

#include "control/result_code.h"
#include "control/switch_control.h"

namespace tavorin::control {

// Exit status of a run that ended on an error rather than a result code.
inline constexpr int kErrorStatus = 2;

enum class EntryRequest {
  OpenWindow,    // no argument text: the person's front end
  ShowHelp,      // "--help" or "-h" alone
  ShowVersion,   // "--version" alone
  RunOperation,  // anything else: one switch operation
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
[[nodiscard]] ResultCode RunOperation(std::string_view argumentText, const SwitchControl& control);

// What --help prints, and what a run without a device ID prints on stderr.
inline constexpr std::string_view kUsageText =
    "Usage: tavorin <deviceId> [on|off|info|<switch value>]\n"
    "\n"
    "Without a request word, reports whether the device's switch is on.\n"
    "\"on\" or \"off\" sets the switch and confirms the change; \"info\" writes\n"
    "a status report of the device to Tavorin.log.\n"
    "\n"
    "Exit status: 0 switch not on, 1 switch on, 5 not done,\n"
    "10 device offline, 2 error (the message is on stderr).\n"
    "Files in the working directory: tokens.txt (access and refresh token),\n"
    "tokens.txt.lock (held during a token refresh), Tavorin.log (activity log).\n";

}  // namespace tavorin::control
