#pragma once
// The JSON bodies of the three cloud requests and the markers looked for in the
// answers. Inserted values are escaped as JSON strings, so no device ID, token
// or switch value can add fields to a request; ordinary values are unchanged.
// A refresh token goes back as the cloud sent it, escapes and all, where it is
// already a JSON string's content; an access token is decoded for its header.

#include <string>
#include <string_view>

namespace tavorin::cloud {

inline constexpr std::string_view kRefreshPath = "/v2/user/refresh";
inline constexpr std::string_view kStatusPath = "/v2/device/thing";
inline constexpr std::string_view kSetPath = "/v2/device/thing/status";

// The cloud rejected the access token.
inline constexpr std::string_view kTokenRejected = "\"error\":401";
// The cloud accepted a set request.
inline constexpr std::string_view kAccepted = "\"error\":0";

// "Bearer " + the access token. A token that is a JSON string's content, as
// the cloud's answer held it, goes in decoded (\/ as /, \uXXXX as UTF-8 and so
// on); any other, such as one written into the token file by hand, as it is.
[[nodiscard]] std::string BearerValue(std::string_view accessToken);

[[nodiscard]] std::string RefreshBody(std::string_view refreshToken);
[[nodiscard]] std::string StatusBody(std::string_view deviceId);
[[nodiscard]] std::string SetBody(std::string_view deviceId, std::string_view switchValue);

}  // namespace tavorin::cloud
