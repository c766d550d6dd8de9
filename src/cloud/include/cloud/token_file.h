#pragma once
// The token file: "at=<access token>" and "rt=<refresh token>" lines. It is
// read afresh for every request and only ever written whole.

#include <cstddef>
#include <string>
#include <string_view>

#include "os/replace_file.h"

namespace tavorin::cloud {

inline constexpr std::string_view kTokenFileName = "tokens.txt";

// The value of the first line of content that starts with tokenType + "=",
// untrimmed, or empty text when no line does. CR LF, a lone LF and a lone CR
// all end a line. The result views content.
[[nodiscard]] std::string_view FindToken(std::string_view content, std::string_view tokenType);

// "at=<at>" and "rt=<rt>", each ended by CR LF: the whole content of a saved
// file. Throws std::runtime_error when a value holds CR, LF or NUL, which the
// file could not give back.
[[nodiscard]] std::string TokenFileText(std::string_view at, std::string_view rt);

// The length of what TokenFileText gives for a pair with an access token, where
// content starts with it and only blanks follow (the room that a new file
// reserves before its text is cut to size); 0 where it is no whole saved file.
[[nodiscard]] std::size_t WholeTokenFileLength(std::string_view content);

// Commits exactly the lines "at=<at>" and "rt=<rt>", each ended by CR LF, to a
// replacement of the token file begun earlier. On failure the old file is kept.
void SaveTokens(os::PendingReplacement& tokenFile, std::string_view at, std::string_view rt);

}  // namespace tavorin::cloud
