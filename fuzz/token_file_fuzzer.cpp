// Token-file lines on arbitrary content. Input: the key on the first line, the
// file's content after it. Also saves the first line and the content as a pair
// and reads both back.
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

#include "cloud/token_file.h"
#include "fuzz/property.h"

namespace {

using tavorin::fuzz::Lines;
using tavorin::fuzz::Require;

constexpr std::array<std::string_view, 2> kProgramKeys = {"at", "rt"};

// The rest of the first line whose first characters are the key and "=".
std::string_view ReferenceToken(std::string_view content, std::string_view key) {
  for (const std::string_view line : Lines(content)) {
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=') {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

void CheckFindToken(std::string_view content, std::string_view key) {
  Require(tavorin::cloud::FindToken(content, key) == ReferenceToken(content, key),
          "a token is the rest of the first line that starts with its key and =");
}

// The file's format holds a pair exactly when neither value has a line end
// (any CR or LF would read back as the end of the value) or a NUL: such a pair
// is refused, and every other one reads back unchanged.
void CheckSavedPairReadsBack(std::string_view at, std::string_view rt) {
  constexpr std::string_view kUnstorable("\r\n\0", 3);
  const bool storable = (std::string(at) + std::string(rt)).find_first_of(kUnstorable) == std::string::npos;
  std::string text;
  try {
    text = tavorin::cloud::TokenFileText(at, rt);
  } catch (const std::runtime_error&) {
    Require(!storable, "only a pair holding a line break or NUL is refused");
    return;
  }
  Require(storable, "a pair holding a line break or NUL is refused");
  Require(Lines(text).size() == 2, "a saved pair is two lines");
  Require(tavorin::cloud::FindToken(text, "at") == at && tavorin::cloud::FindToken(text, "rt") == rt,
          "a saved pair reads back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto [key, content] = tavorin::fuzz::SplitFirstLine(tavorin::fuzz::AsText(data, size));
  CheckFindToken(content, key);
  for (const std::string_view programKey : kProgramKeys) {
    CheckFindToken(content, programKey);
  }
  CheckSavedPairReadsBack(key, content);
  return 0;
}
