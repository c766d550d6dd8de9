// The scanners on arbitrary input: a key on the first line, then an answer, which the scanners must read as a plain
// reader of their documented rules does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "scan/json_scan.h"

// Ends the run when a property does not hold, so that libFuzzer keeps the input.
#define REQUIRE(property) ((property) ? void() : (std::fprintf(stderr, "fails: %s\n", #property), std::abort()))

namespace {

using Outcome = std::optional<std::string>;  // none: the error for a string value that never closes

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The value of the first "key": read one character at a time, as the rules in the scanners' header say.
Outcome Reference(std::string_view json, std::string_view key) {
  const std::string quotedKey = "\"" + std::string(key) + "\":";
  const std::size_t keyAt = json.find(quotedKey);
  if (keyAt == std::string_view::npos) {
    return "";
  }
  std::size_t i = keyAt + quotedKey.size();
  while (i < json.size() && IsBlank(json[i])) {
    i++;
  }
  if (i == json.size() || json[i] == '{' || json[i] == '[') {
    return "";
  }
  std::string value;
  if (json[i] == '"') {
    for (i++; i < json.size(); i++) {
      if (json[i] == '"') {
        return value;
      }
      value += json[i];
    }
    return std::nullopt;
  }
  // A literal ends at a blank, a comma or a closing bracket.
  while (i < json.size() && !IsBlank(json[i]) && json[i] != ',' && json[i] != '}' && json[i] != ']') {
    value += json[i];
    i++;
  }
  if (value == "null") {
    return "";
  }
  return value;
}

// ExtractJSON's result (ExtractJSONParam's for params), or none for the one error a scan may raise.
Outcome Scan(std::string_view json, std::string_view key, bool params = false) {
  try {
    return params ? tavorin::scan::ExtractJSONParam(json) : tavorin::scan::ExtractJSON(json, key);
  } catch (const std::runtime_error& error) {
    REQUIRE(!std::strcmp(error.what(), ("malformed response: unterminated value for key " + std::string(key)).c_str()));
    return std::nullopt;
  }
}

}  // namespace

// A quoted key starts with a double quote, so text without one in front of the answer changes no value; for one
// input in 64 it runs past position 32767. Contains and the flag agree with string_view's plain search.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tavorin::scan;
  const std::string_view input(reinterpret_cast<const char*>(data), size), key = input.substr(0, input.find('\n'));
  const std::string_view json = input.substr(std::min(key.size() + 1, size));
  const std::string shifted = std::string(json.size() % 64 ? 0 : 32768, ' ') + "{ x:1,\t[y]}\r\n" + std::string(json);
  for (const std::string_view name : {key, std::string_view("at"), std::string_view("switch")}) {
    const Outcome value = Reference(json, name);
    REQUIRE(Scan(json, name) == value && Scan(shifted, name) == value);
    REQUIRE(ExtractJSONBool(json, name) == (json.find("\"" + std::string(name) + "\":true") != std::string::npos));
    REQUIRE(Contains(json, name) == (json.find(name) != std::string::npos));
  }
  const Outcome value = Reference(json.substr(std::min(json.find("\"params\":"), json.size())), "switch");
  REQUIRE(Scan(json, "switch", true) == value && Scan(shifted, "switch", true) == value);
  return 0;
}
