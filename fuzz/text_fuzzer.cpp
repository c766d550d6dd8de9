// The cloud's answers on arbitrary input: a key on the first line, then an answer, which the scanners must read
// as a reference of their rules does; after the key "refresh" the answer is a refresh's instead.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "cloud/cloud_client.h"
#include "scan/json_scan.h"
#include "tests/support/temp_dir.h"

// Ends the run when a property does not hold, so that libFuzzer keeps the input.
#define REQUIRE(property) ((property) ? void() : (std::fprintf(stderr, "fails: %s\n", #property), std::abort()))

namespace {

using Outcome = std::optional<std::string>;  // none: the error for a string value that never closes

// The value of the first "key": by the documented rules, as a table-driven state machine that shares nothing with
// the scanners: before the value (b), at a string's opening quote (q), in a string (s) or a literal (l), done (e).
Outcome Reference(std::string_view json, std::string_view key) {
  constexpr std::string_view kClasses = " \t\r\n\"{[,}]";  // then any other character
  constexpr std::string_view kNext[] = {"bbbbqeeeeel", "ssssessssss", "ssssessssss", "eeeellleeel"};  // from b, q, s, l
  const std::string quoted = "\"" + std::string(key) + "\":";
  std::string value;  // the characters read in s and l
  char state = 'b';
  for (std::size_t i = std::min(json.find(quoted), json.size()) + quoted.size(); i < json.size() && state != 'e'; ++i) {
    state = kNext[std::string_view("bqsl").find(state)][std::min(kClasses.find(json[i]), kClasses.size())];
    value.append(state == 's' || state == 'l' ? 1 : 0, json[i]);
  }
  return state == 'q' || state == 's' ? std::nullopt : Outcome(value == "null" ? "" : value);
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

// A quoted key starts with a double quote, so text without one in front of the answer changes no value; for
// one input in 64 it runs past position 32767. Contains and the flag agree with string_view's plain search.
void CheckScanners(std::string_view key, std::string_view json) {
  using namespace tavorin::scan;
  const std::string shifted = std::string(json.size() % 64 ? 0 : 32768, ' ') + "{ x:1,\t[y]}\r\n" + std::string(json);
  for (const std::string_view name : {key, std::string_view("at"), std::string_view("switch")}) {
    const Outcome value = Reference(json, name);
    REQUIRE(Scan(json, name) == value && Scan(shifted, name) == value);
    REQUIRE(ExtractJSONBool(json, name) == (json.find("\"" + std::string(name) + "\":true") != std::string::npos));
    REQUIRE(Contains(json, name) == (json.find(name) != std::string::npos));
  }
  const Outcome value = Reference(json.substr(std::min(json.find("\"params\":"), json.size())), "switch");
  REQUIRE(Scan(json, "switch", true) == value && Scan(shifted, "switch", true) == value);
}

// The token file holds the old pair byte for byte, or exactly the pair the answer carries as the reference
// reads it, whose "rt" counts only after a non-empty "at"; no temporary file is left.
void CheckRefresh(const std::string& answer) {
  constexpr std::string_view kOldPair = "at=old-at\r\nrt=old-rt\r\n";
  static const tavorin::testing::TempDir directory;
  tavorin::testing::WriteFile(directory / "tokens.txt", kOldPair);
  const tavorin::cloud::CloudClient client([&](const auto&, const auto&, auto) { return answer; }, "https://cloud.test",
                                           directory / "tokens.txt", std::chrono::milliseconds(0));
  std::string newAt, error;
  try {
    newAt = client.RefreshToken("old-at");
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  const Outcome at = Reference(answer, "at"), rt = at && !at->empty() ? Reference(answer, "rt") : "";
  const std::string pair = "at=" + at.value_or("") + "\r\nrt=" + (rt && !rt->empty() ? *rt : "old-rt") + "\r\n";
  // A line break or NUL in a token would add lines to the file, which is refused.
  const bool broken = std::count_if(pair.begin(), pair.end(), [](char c) { return !c || c == '\r' || c == '\n'; }) > 4;
  const std::string_view expected = !at || !rt ? "malformed response" : broken ? "cannot store a token" : "";
  const bool saved = expected.empty() && !at->empty();
  REQUIRE(error.starts_with(expected) && error.empty() == expected.empty());
  REQUIRE(newAt == (saved ? *at : ""));
  REQUIRE(tavorin::testing::ReadFile(directory / "tokens.txt") == (saved ? pair : kOldPair));
  REQUIRE(std::distance(std::filesystem::directory_iterator(directory.path()), {}) == 2);  // the file and its lock
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size), key = input.substr(0, input.find('\n'));
  const std::string_view text = input.substr(std::min(key.size() + 1, size));
  key == "refresh" ? CheckRefresh(std::string(text)) : CheckScanners(key, text);
  return 0;
}
