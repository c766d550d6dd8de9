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
  if (argumentText.starts_with('-')) {
    return EntryRequest::UnknownOption;
  }
  return EntryRequest::RunOperation;
}

std::string_view ArgumentTextOfCommandLine(std::string_view commandLine) {
  // The name ends at the first blank or tab outside double quotes, as the
  // system's own start-up code reads it; the quotes themselves belong to it.
  bool quoted = false;
  std::size_t end = 0;
  for (; end < commandLine.size(); ++end) {
    const char c = commandLine[end];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      break;
    }
  }
  commandLine.remove_prefix(end);
  const std::size_t first = commandLine.find_first_not_of(" \t");
  return first == std::string_view::npos ? std::string_view() : commandLine.substr(first);
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

Outcome RunOperation(std::string_view argumentText, const SwitchControl& control) {
  const std::vector<std::string> pieces = SplitArgumentText(argumentText);
  if (pieces.size() == 1) {
    return control.ControlSwitch("", pieces[0]);
  }
  return control.ControlSwitch(pieces[1], pieces[0]);
}

}  // namespace tavorin::control
