#pragma once
// Pulls single values out of the cloud's JSON responses by plain substring
// search. Responses are never parsed: the exact matching rules below are what
// the rest of the program relies on.

#include <string>
#include <string_view>

namespace tavorin::scan {

// The value of the first `"key":` in json. A string value gives its text (a
// blank may stand before the opening quote); a scalar literal such as -48 or
// true gives that literal; null, an object, an array or an absent key gives
// empty text. Throws std::runtime_error when a string value never closes.
[[nodiscard]] std::string ExtractJSON(std::string_view json, std::string_view key);

// The same, but empty text where the string value never closes: for text
// that only describes an answer, which must not fail over a cut one.
[[nodiscard]] std::string ExtractJSONLenient(std::string_view json, std::string_view key);

// True only where json holds `"key":true` exactly, with no blank after the colon.
[[nodiscard]] bool ExtractJSONBool(std::string_view json, std::string_view key);

// The value of the first "switch" key at or after the first "params" key, or
// empty text when there is no params key.
[[nodiscard]] std::string ExtractJSONParam(std::string_view json);

// True when marker occurs anywhere in text.
[[nodiscard]] bool Contains(std::string_view text, std::string_view marker);

}  // namespace tavorin::scan
