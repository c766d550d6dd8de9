#pragma once
// What the fuzz targets share: input as text, and checks that end the run when
// a property does not hold, so that libFuzzer keeps the input that broke it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace tavorin::fuzz {

inline void Require(bool holds, const char* property) {
  if (!holds) {
    std::fprintf(stderr, "property does not hold: %s\n", property);
    std::abort();
  }
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The input's first line and the rest after its LF (no LF: empty first line).
inline std::pair<std::string_view, std::string_view> SplitFirstLine(std::string_view input) {
  const std::size_t lf = input.find('\n');
  if (lf == std::string_view::npos) {
    return {{}, input};
  }
  return {input.substr(0, lf), input.substr(lf + 1)};
}

// Position of the first occurrence of pattern in text by comparing at every
// position in turn: a reference that shares no code with the scanners' search.
inline std::size_t FirstMatch(std::string_view text, std::string_view pattern) {
  for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    if (std::equal(pattern.begin(), pattern.end(), text.begin() + at)) {
      return at;
    }
  }
  return std::string_view::npos;
}

// The file's lines, cut one character at a time: CR LF, a lone CR and a lone LF
// each end a line; text after the last line end is a last line of its own.
inline std::vector<std::string_view> Lines(std::string_view content) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r' || content[i] == '\n') {
      lines.push_back(content.substr(start, i - start));
      i += content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n' ? 1 : 0;
      start = i + 1;
    }
  }
  if (start < content.size()) {
    lines.push_back(content.substr(start));
  }
  return lines;
}

}  // namespace tavorin::fuzz
