#include "cloud/token_file.h"

#include <stdexcept>

namespace tavorin::cloud {

std::string_view FindToken(std::string_view content, std::string_view tokenType) {
  const std::string prefix = std::string(tokenType) + "=";
  std::string_view rest = content;
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of("\r\n");
    const std::string_view line = rest.substr(0, end);
    if (line.starts_with(prefix)) {
      return line.substr(prefix.size());
    }
    if (end == std::string_view::npos) {
      break;
    }
    const bool crlf = rest.compare(end, 2, "\r\n") == 0;
    rest.remove_prefix(end + (crlf ? 2 : 1));
  }
  return {};
}

std::string TokenFileText(std::string_view at, std::string_view rt) {
  // A raw line break would add lines of its own to the file, where the first
  // "rt=" line wins: a pair like that cannot be stored faithfully.
  using namespace std::string_view_literals;
  constexpr std::string_view kLineBreaks = "\r\n\0"sv;
  if (at.find_first_of(kLineBreaks) != std::string_view::npos ||
      rt.find_first_of(kLineBreaks) != std::string_view::npos) {
    throw std::runtime_error("cannot store a token that holds a line break or NUL in the token file");
  }
  std::string content;
  content.append("at=").append(at).append("\r\n");
  content.append("rt=").append(rt).append("\r\n");
  return content;
}

std::size_t WholeTokenFileLength(std::string_view content) {
  content = content.substr(0, content.find_last_not_of(' ') + 1);
  const std::string_view at = FindToken(content, "at");
  const std::string_view rt = FindToken(content, "rt");
  const bool whole = !at.empty() && content == "at=" + std::string(at) + "\r\nrt=" + std::string(rt) + "\r\n";
  return whole ? content.size() : 0;
}

void SaveTokens(os::PendingReplacement& tokenFile, std::string_view at, std::string_view rt) {
  tokenFile.Commit(TokenFileText(at, rt));
}

}  // namespace tavorin::cloud
