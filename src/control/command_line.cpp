#include "control/command_line.h"

namespace tavorin::control {

EntryRequest ClassifyArgumentText(std::string_view argumentText) {
  if (argumentText.empty()) {
    return EntryRequest::OpenWindow;
  }
  if (argumentText == "--help" || argumentText == "-h") {
    return EntryRequest::ShowHelp;
  }
  if (argumentText == "--version") {
    return EntryRequest::ShowVersion;
  }
  return EntryRequest::RunOperation;
}

std::vector<std::string> SplitArgumentText(std::string_view argumentText) {
  std::vector<std::string> pieces;
  while (true) {
    const std::size_t blank = argumentText.find(' ');
    pieces.emplace_back(argumentText.substr(0, blank));
    if (blank == std::string_view::npos) {
      return pieces;
    }
    argumentText.remove_prefix(blank + 1);
  }
}

ResultCode RunOperation(std::string_view argumentText, const SwitchControl& control) {
  const std::vector<std::string> pieces = SplitArgumentText(argumentText);
  if (pieces.size() == 1) {
    return control.ControlSwitch("", pieces[0]);
  }
  return control.ControlSwitch(pieces[1], pieces[0]);
}

std::string UsageText() {
  return "Usage: tavorin <deviceId> [on|off|info|<switch value>]\n"
         "\n"
         "Without a request word, reports whether the device's switch is on.\n"
         "\"on\" or \"off\" sets the switch and confirms the change; \"info\" writes\n"
         "a status report of the device to Tavorin.log.\n"
         "\n"
         "Exit status: 0 switch not on, 1 switch on, 5 not done,\n"
         "10 device offline, 2 error (the message is on stderr).\n"
         "Files in the working directory: tokens.txt (access and refresh token),\n"
         "Tavorin.log (activity log).\n";
}

}  // namespace tavorin::control
