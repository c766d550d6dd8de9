#pragma once
// What the platform's HTTP clients share, whatever their library: refusing
// headers that would inject lines, the cap on an answer, and the text of a
// failed request, which names the host.

#include <cstddef>
#include <string>
#include <string_view>

#include "http/http_client.h"

namespace tavorin::http {

// Answers larger than this are refused rather than held in memory.
inline constexpr std::size_t kMaxResponseSize = std::size_t{64} * 1024 * 1024;

// Throws std::runtime_error naming the header when its name is empty or holds
// a colon, line break or NUL, or its value holds a line break or NUL.
void CheckHeader(const HttpHeader& header);

// "request to HOST failed: " + cause, the text of every transport error.
[[nodiscard]] std::string RequestFailure(std::string_view url, std::string_view cause);

// The cause for an answer beyond kMaxResponseSize.
[[nodiscard]] std::string ResponseTooLarge();

}  // namespace tavorin::http
