#include "cloud/request_bodies.h"

#include <array>

namespace tavorin::cloud {

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

std::string RefreshBody(std::string_view refreshToken) {
  return "{\"rt\":\"" + EscapeJsonString(refreshToken) + "\"}";
}

std::string StatusBody(std::string_view deviceId) {
  return "{\"thingList\":[{\"itemType\":1,\"id\":\"" + EscapeJsonString(deviceId) + "\"}]}";
}

std::string SetBody(std::string_view deviceId, std::string_view switchValue) {
  return "{\"type\":1,\"id\":\"" + EscapeJsonString(deviceId) + "\",\"params\":{\"switch\":\"" +
         EscapeJsonString(switchValue) + "\"}}";
}

}  // namespace tavorin::cloud
