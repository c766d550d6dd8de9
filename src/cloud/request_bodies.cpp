#include "cloud/request_bodies.h"

#include <array>

namespace tavorin::cloud {
namespace {

// value with `"`, `\` and control characters escaped for a JSON string.
std::string EscapeJsonString(std::string_view value) {
  static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  std::string escaped;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      escaped += '\\';
      escaped += c;
    } else if (byte < 0x20) {
      escaped += "\\u00";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Whether value may stand between a JSON string's quotes as it is: no control
// character, no bare quote, and every backslash the start of a valid escape.
bool IsJsonStringContent(std::string_view value) {
  constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";
  for (std::size_t i = 0; i < value.size(); ++i) {
    const auto byte = static_cast<unsigned char>(value[i]);
    if (byte < 0x20 || value[i] == '"') {
      return false;
    }
    if (value[i] != '\\') {
      continue;
    }
    const std::string_view escape = value.substr(i + 1);
    if (escape.starts_with('u') && escape.size() >= 5 &&
        escape.substr(1, 4).find_first_not_of(kHexDigits) == std::string_view::npos) {
      i += 5;
    } else if (!escape.empty() && std::string_view("\"\\/bfnrt").find(escape.front()) != std::string_view::npos) {
      i += 1;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string RefreshBody(std::string_view refreshToken) {
  // The cloud's token is what its answer held between the quotes, escapes
  // and all: escaped again it would be another token.
  const std::string token =
      IsJsonStringContent(refreshToken) ? std::string(refreshToken) : EscapeJsonString(refreshToken);
  return "{\"rt\":\"" + token + "\"}";
}

std::string StatusBody(std::string_view deviceId) {
  return "{\"thingList\":[{\"itemType\":1,\"id\":\"" + EscapeJsonString(deviceId) + "\"}]}";
}

std::string SetBody(std::string_view deviceId, std::string_view switchValue) {
  return "{\"type\":1,\"id\":\"" + EscapeJsonString(deviceId) + "\",\"params\":{\"switch\":\"" +
         EscapeJsonString(switchValue) + "\"}}";
}

}  // namespace tavorin::cloud
