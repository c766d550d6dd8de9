#include "scan/json_scan.h"

#include <stdexcept>

namespace tavorin::scan {
namespace {

constexpr std::string_view kJsonBlanks = " \t\r\n";
constexpr std::string_view kLiteralEnd = ",}] \t\r\n";

std::string QuotedKey(std::string_view key, std::string_view after) {
  std::string pattern;
  pattern.reserve(key.size() + after.size() + 2);
  pattern += '"';
  pattern += key;
  pattern += '"';
  pattern += after;
  return pattern;
}

}  // namespace

std::string ExtractJSON(std::string_view json, std::string_view key) {
  const std::string pattern = QuotedKey(key, ":");
  const std::size_t keyAt = json.find(pattern);
  if (keyAt == std::string_view::npos) {
    return {};
  }
  const std::size_t valueAt = json.find_first_not_of(kJsonBlanks, keyAt + pattern.size());
  if (valueAt == std::string_view::npos) {
    return {};
  }
  if (json[valueAt] == '"') {
    const std::size_t closeAt = json.find('"', valueAt + 1);
    if (closeAt == std::string_view::npos) {
      throw std::runtime_error("malformed response: unterminated value for key " +
                               std::string(key));
    }
    return std::string(json.substr(valueAt + 1, closeAt - valueAt - 1));
  }
  if (json[valueAt] == '{' || json[valueAt] == '[') {
    return {};
  }
  const std::string_view literal = json.substr(valueAt, json.find_first_of(kLiteralEnd, valueAt) - valueAt);
  return literal == "null" ? std::string() : std::string(literal);
}

bool ExtractJSONBool(std::string_view json, std::string_view key) {
  return Contains(json, QuotedKey(key, ":true"));
}

std::string ExtractJSONParam(std::string_view json) {
  const std::size_t paramsAt = json.find("\"params\":");
  if (paramsAt == std::string_view::npos) {
    return {};
  }
  return ExtractJSON(json.substr(paramsAt), "switch");
}

bool Contains(std::string_view text, std::string_view marker) {
  return text.find(marker) != std::string_view::npos;
}

}  // namespace tavorin::scan
