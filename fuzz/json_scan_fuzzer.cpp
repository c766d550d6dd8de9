// The scanners on arbitrary response text. Input: the key on the first line,
// the response text after it. Every check runs for that key and for the keys
// the program itself looks up.
#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/property.h"
#include "scan/json_scan.h"

namespace {

using tavorin::fuzz::FirstMatch;
using tavorin::fuzz::Require;

constexpr std::array<std::string_view, 6> kProgramKeys = {"at", "rt", "online", "fwVersion", "rssi", "pulse"};
constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kLiteralEnds = ",}] \t\r\n";
// Text in front of a response that holds no double quote, so it cannot start
// or complete a quoted key: it must change no result. For one input in
// sixteen it is repeated past 32767 characters, so that positions in the
// response no longer fit in 16 bits (always doing so slows fuzzing sixfold).
constexpr std::string_view kNeutralPiece = "{ \r\n\t x:1, ";
constexpr std::size_t kFarRepeats = 32768 / kNeutralPiece.size() + 1;

// A scan's result, or nothing when it raised the one error the scanners
// document: a string value that never closes.
template <typename Scan>
std::optional<std::string> Outcome(Scan scan) {
  try {
    return scan();
  } catch (const std::runtime_error& error) {
    Require(std::string_view(error.what()).find("unterminated value") != std::string_view::npos,
            "the only error a scan raises is an unterminated value");
    return std::nullopt;
  }
}

std::optional<std::string> ExtractJSONOutcome(std::string_view json, std::string_view key) {
  return Outcome([&] { return tavorin::scan::ExtractJSON(json, key); });
}

// The result stands right after the first quoted key, its colon and any
// blanks: as the text between the next two double quotes when a string opens
// there, else as the literal up to the next delimiter.
void CheckExtractJSON(std::string_view json, std::string_view key) {
  const std::optional<std::string> outcome = ExtractJSONOutcome(json, key);
  const std::string pattern = "\"" + std::string(key) + "\":";
  const std::size_t keyAt = FirstMatch(json, pattern);
  if (keyAt == std::string_view::npos) {
    Require(outcome == std::string(), "an absent key gives empty text");
    return;
  }
  std::string_view value = json.substr(keyAt + pattern.size());
  value.remove_prefix(std::min(value.find_first_not_of(kBlanks), value.size()));

  if (!outcome) {
    Require(value.starts_with('"') && value.find('"', 1) == std::string_view::npos,
            "an error only for a string value without its closing quote");
    return;
  }
  const std::string& result = *outcome;
  Require(json.find(result) != std::string_view::npos, "the result is part of the response text");
  if (value.starts_with('"')) {
    Require(value.substr(1).starts_with(result) && value.size() > result.size() + 1 &&
                value[result.size() + 1] == '"' && result.find('"') == std::string::npos,
            "a string value is the text up to the next double quote");
  } else if (result.empty()) {
    const std::string_view literal = value.substr(0, value.find_first_of(kLiteralEnds));
    Require(literal.empty() || literal.starts_with('{') || literal.starts_with('[') || literal == "null",
            "empty text only where no value, an object, an array or null follows");
  } else {
    Require(value.starts_with(result) && result.find_first_of(kLiteralEnds) == std::string::npos &&
                (value.size() == result.size() || kLiteralEnds.find(value[result.size()]) != std::string_view::npos),
            "a scalar is the literal up to the next delimiter");
    Require(result != "null" && !result.starts_with('{') && !result.starts_with('['),
            "null, objects and arrays give no literal");
  }
}

void CheckExtractJSONBool(std::string_view json, std::string_view key) {
  const std::string quotedKey = "\"" + std::string(key) + "\":";
  const bool flag = tavorin::scan::ExtractJSONBool(json, key);
  Require(flag == (FirstMatch(json, quotedKey + "true") != std::string_view::npos),
          "the flag is set exactly where the quoted key, a colon and true occur");
  const std::size_t keyAt = FirstMatch(json, quotedKey);
  Require(flag || keyAt == std::string_view::npos || !json.substr(keyAt + quotedKey.size()).starts_with("true"),
          "a first value of true right after the colon sets the flag");
}

std::optional<std::string> ExtractJSONParamOutcome(std::string_view json) {
  return Outcome([&] { return tavorin::scan::ExtractJSONParam(json); });
}

void CheckExtractJSONParam(std::string_view json) {
  const std::optional<std::string> outcome = ExtractJSONParamOutcome(json);
  const std::size_t paramsAt = FirstMatch(json, "\"params\":");
  if (paramsAt == std::string_view::npos) {
    Require(outcome == std::string(), "no params key gives empty text");
    return;
  }
  Require(outcome == ExtractJSONOutcome(json.substr(paramsAt), "switch"),
          "the switch value is the first one at or after the params key");
  CheckExtractJSON(json.substr(paramsAt), "switch");
}

void CheckAll(std::string_view json, std::string_view key) {
  CheckExtractJSON(json, key);
  CheckExtractJSONBool(json, key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [key, json] = tavorin::fuzz::SplitFirstLine(tavorin::fuzz::AsText(data, size));
  CheckAll(json, key);
  for (const std::string_view programKey : kProgramKeys) {
    CheckAll(json, programKey);
  }
  CheckExtractJSONParam(json);

  const std::size_t repeats = size % 16 == 0 ? kFarRepeats : 1;
  std::string shifted;
  shifted.reserve(repeats * kNeutralPiece.size() + json.size());
  for (std::size_t i = 0; i < repeats; ++i) {
    shifted += kNeutralPiece;
  }
  shifted += json;
  Require(ExtractJSONOutcome(shifted, key) == ExtractJSONOutcome(json, key),
          "text without double quotes in front of the response changes no value");
  Require(ExtractJSONParamOutcome(shifted) == ExtractJSONParamOutcome(json),
          "text without double quotes in front of the response changes no switch value");
  return 0;
}
