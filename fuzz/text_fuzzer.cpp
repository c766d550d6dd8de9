// The cloud's answers on arbitrary input: the scanners, and a refresh that
// must never lose or damage the stored token pair. Input: a key on the first
// line and an answer after it, which is scanned for the key, or with the key
// "refresh" (which writes files, so it is kept apart) answers a refresh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cloud/cloud_client.h"
#include "scan/json_scan.h"
#include "tests/support/temp_dir.h"

namespace {

using Outcome = std::optional<std::string>;

// Ends the run when a property does not hold, so that libFuzzer keeps the input.
void Require(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
  }
}

// Where pattern first occurs in text, by comparing at every position in turn:
// a reference that shares no code with the scanners' search.
std::size_t FirstMatch(std::string_view text, std::string_view pattern) {
  for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    if (std::equal(pattern.begin(), pattern.end(), text.begin() + at)) {
      return at;
    }
  }
  return std::string_view::npos;
}

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
  const std::string_view literal = value.substr(0, value.find_first_of(",}] \t\r\n"));
  const bool none = literal.empty() || literal.starts_with('{') || literal.starts_with('[') || literal == "null";
  Require(outcome == (none ? std::string() : std::string(literal)), "a scalar is the literal up to a delimiter");
}

void CheckScanners(std::string_view key, std::string_view json) {
  for (const std::string_view scanned : {key, std::string_view("at"), std::string_view("online")}) {
    CheckValue(json, scanned);
  }
  const std::size_t paramsAt = FirstMatch(json, "\"params\":");
  Require(Switch(json) == (paramsAt == std::string_view::npos ? std::string() : Value(json.substr(paramsAt), "switch")),
          "the switch value is the first one at or after the params key");
  // Text without a double quote cannot start or complete a quoted key, so in
  // front of the answer it changes nothing. For one input in sixteen it runs
  // until positions no longer fit in 16 bits (always, fuzzing is six times slower).
  constexpr std::string_view kNeutral = "{ \r\n\t x:1, ";
  std::string shifted;
  for (std::size_t i = 0; i < (json.size() % 16 == 0 ? 32768 / kNeutral.size() + 1 : 1); ++i) {
    shifted += kNeutral;
  }
  shifted += json;
  Require(Value(shifted, key) == Value(json, key) && Switch(shifted) == Switch(json),
          "text without double quotes in front of the answer changes no value");
}

// Whatever the answer holds, the token file afterwards holds either the old
// pair, byte for byte, or exactly the new pair the answer carries; and no
// temporary file is left.
void CheckRefresh(const std::string& answer) {
  constexpr std::string_view kStoredPair = "at=old-at\r\nrt=old-rt\r\n";
  static const tavorin::testing::TempDir directory;
  const std::filesystem::path tokenFile = directory / "tokens.txt";
  tavorin::testing::WriteFile(tokenFile, kStoredPair);
  const tavorin::cloud::CloudClient client(
      [&](const std::string&, const std::vector<tavorin::http::HttpHeader>&, std::string_view) { return answer; },
      "https://cloud.test", tokenFile, std::chrono::milliseconds(0));
  std::optional<std::string> newAt;
  try {
    newAt = client.RefreshToken("old-at");
  } catch (const std::runtime_error& error) {
    const std::string_view message = error.what();
    Require(message.starts_with("malformed response") || message.starts_with("cannot store a token"),
            "a refresh fails only on a malformed answer or a token the file cannot hold");
  }
  const std::string stored = tavorin::testing::ReadFile(tokenFile);
  for (const auto& entry : std::filesystem::directory_iterator(directory.path())) {
    const std::string name = entry.path().filename().string();
    Require(name == "tokens.txt" || name == "tokens.txt.lock", "no temporary file is left behind");
  }
  if (!newAt || newAt->empty()) {
    Require(stored == kStoredPair, "a failed or empty refresh leaves the stored pair as it was");
    return;
  }
  const std::string issuedRt = tavorin::scan::ExtractJSON(answer, "rt");
  Require(*newAt == tavorin::scan::ExtractJSON(answer, "at") &&
              stored == "at=" + *newAt + "\r\nrt=" + (issuedRt.empty() ? "old-rt" : issuedRt) + "\r\n",
          "the file holds the pair issued, keeping the old refresh token when none came");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lf = std::min(input.find('\n'), input.size());
  const std::string_view key = input.substr(0, lf);
  const std::string_view text = input.substr(std::min(lf + 1, input.size()));
  if (key == "refresh") {
    CheckRefresh(std::string(text));
    return 0;
  }
  CheckScanners(key, text);
  return 0;
}
