#include "cloud/token_file.h"

#include "cloud/text_file.h"

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

std::string ReadToken(const std::filesystem::path& tokenFile, std::string_view tokenType) {
  return std::string(FindToken(ReadTextFile(tokenFile), tokenType));
}

std::string TokenFileText(std::string_view at, std::string_view rt) {
  std::string content;
  content.append("at=").append(at).append("\r\n");
  content.append("rt=").append(rt).append("\r\n");
  return content;
}

void SaveTokens(const std::filesystem::path& tokenFile, std::string_view at, std::string_view rt) {
  ReplaceFile(tokenFile, TokenFileText(at, rt), FileAccess::OwnerOnly);
}

}  // namespace tavorin::cloud
