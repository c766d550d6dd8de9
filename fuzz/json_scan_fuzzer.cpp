// The scanners on arbitrary response text. Input: the key on the first line,
// the response text after it. Every check runs for that key and for the keys
// the program itself looks up.
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/property.h"
#include "scan/json_scan.h"

namespace {

using tavorin::fuzz::FirstMatch;
using tavorin::fuzz::Require;
using Outcome = std::optional<std::string>;

constexpr std::string_view kLiteralEnds = ",}] \t\r\n";
// Text without a double quote, which cannot start or complete a quoted key:
// put in front of a response it must change no result. For one input in
// sixteen it is repeated until positions no longer fit in 16 bits (always
// doing so slows fuzzing sixfold).
constexpr std::string_view kNeutral = "{ \r\n\t x:1, ";

// A scan's result, or nothing when it raised the one error the scanners
// document: a string value that never closes.
template <typename Scan>
Outcome Try(Scan scan) {
  try {
    return scan();
  } catch (const std::runtime_error& error) {
    Require(std::string_view(error.what()).starts_with("malformed response: unterminated value for key"),
            "the only error a scan raises is an unterminated value");
    return std::nullopt;
  }
}

Outcome Value(std::string_view json, std::string_view key) {
  return Try([&] { return tavorin::scan::ExtractJSON(json, key); });
}

Outcome Switch(std::string_view json) {
  return Try([&] { return tavorin::scan::ExtractJSONParam(json); });
}

// The value stands right after the first quoted key, its colon and blanks: the
// text up to the next double quote where a string opens, else the literal up
// to the next delimiter; empty for none, an object, an array or null.
void CheckValue(std::string_view json, std::string_view key) {
  const Outcome outcome = Value(json, key);
  const std::string quotedKey = "\"" + std::string(key) + "\":";
  const std::size_t keyAt = FirstMatch(json, quotedKey);
  Require(tavorin::scan::ExtractJSONBool(json, key) == (FirstMatch(json, quotedKey + "true") != std::string::npos),
          "the flag is set exactly where the quoted key, a colon and true occur");
  if (keyAt == std::string_view::npos) {
    Require(outcome == std::string(), "an absent key gives empty text");
    return;
  }
  std::string_view value = json.substr(keyAt + quotedKey.size());
  value.remove_prefix(std::min(value.find_first_not_of(" \t\r\n"), value.size()));
  if (value.starts_with('"')) {
    const std::size_t close = value.find('"', 1);
    Require(close == std::string_view::npos ? !outcome : outcome == value.substr(1, close - 1),
            "a string value is the text up to the next double quote, an error without one");
    return;
  }
  const std::string_view literal = value.substr(0, value.find_first_of(kLiteralEnds));
  const bool none = literal.empty() || literal.starts_with('{') || literal.starts_with('[') || literal == "null";
  Require(outcome == (none ? std::string() : std::string(literal)), "a scalar is the literal up to a delimiter");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [key, json] = tavorin::fuzz::SplitFirstLine(tavorin::fuzz::AsText(data, size));
  for (const std::string_view scanned :
       {key, std::string_view("at"), std::string_view("rt"), std::string_view("online"), std::string_view("rssi")}) {
    CheckValue(json, scanned);
  }
  const std::size_t paramsAt = FirstMatch(json, "\"params\":");
  Require(Switch(json) == (paramsAt == std::string_view::npos ? std::string() : Value(json.substr(paramsAt), "switch")),
          "the switch value is the first one at or after the params key");

  std::string shifted;
  for (std::size_t i = 0; i < (size % 16 == 0 ? 32768 / kNeutral.size() + 1 : 1); ++i) {
    shifted += kNeutral;
  }
  shifted += json;
  Require(Value(shifted, key) == Value(json, key) && Switch(shifted) == Switch(json),
          "text without double quotes in front of the response changes no value");
  return 0;
}
