#pragma once
// The token file: "at=<access token>" and "rt=<refresh token>" lines. It is
// read afresh for every request and only ever written whole.

#include <filesystem>
#include <string>
#include <string_view>

#include "os/replace_file.h"

namespace tavorin::cloud {

inline constexpr std::string_view kTokenFileName = "tokens.txt";

// The value of the first line of content that starts with tokenType + "=",
// untrimmed, or empty text when no line does. CR LF, a lone LF and a lone CR
// all end a line. The result views content.
[[nodiscard]] std::string_view FindToken(std::string_view content, std::string_view tokenType);

// FindToken over the file's content. Throws std::system_error when the file
// cannot be read (a missing file too).
[[nodiscard]] std::string ReadToken(const std::filesystem::path& tokenFile, std::string_view tokenType);

// "at=<at>" and "rt=<rt>", each ended by CR LF: the whole content of a saved
// file. Throws std::runtime_error when a value holds CR, LF or NUL, which the
// file could not give back.
[[nodiscard]] std::string TokenFileText(std::string_view at, std::string_view rt);

// Whether content is exactly what TokenFileText gives for a pair with an
// access token: a whole saved file, not a part of one.
[[nodiscard]] bool IsWholeTokenFile(std::string_view content);

// Commits exactly the lines "at=<at>" and "rt=<rt>", each ended by CR LF, to a
// replacement of the token file begun earlier. On failure the old file is kept.
void SaveTokens(os::PendingReplacement& tokenFile, std::string_view at, std::string_view rt);

}  // namespace tavorin::cloud
