#include "control/command_line.h"

#include <algorithm>

#include "control/activity_log.h"

namespace tavorin::control {

EntryRequest ClassifyArgumentText(std::string_view argumentText) {
  if (argumentText.empty()) {
    return EntryRequest::OpenWindow;
  }
  const std::string_view first = argumentText.substr(0, argumentText.find(' '));
  if (first == "--help" || first == "-h") {
    return EntryRequest::ShowHelp;
  }
  if (first == "--version") {
    return EntryRequest::ShowVersion;
  }
  return RefusedOption(argumentText).empty() ? EntryRequest::RunOperation : EntryRequest::UnknownOption;
}

std::string RefusedOption(std::string_view argumentText) {
  const std::vector<std::string> pieces = SplitArgumentText(argumentText);
  for (std::size_t i = 0; i < std::min<std::size_t>(pieces.size(), 2); ++i) {
    if (pieces[i].starts_with('-')) {
      return EscapeControlCharacters(pieces[i]);
    }
  }
  return {};
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
