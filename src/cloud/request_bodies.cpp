#include "cloud/request_bodies.h"

#include <array>
#include <charconv>

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

// The value of four hex digits.
unsigned HexValue(std::string_view digits) {
  unsigned value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return value;
}

void AppendUtf8(std::string& text, unsigned code) {
  const auto byte = [&text](unsigned value) { text += static_cast<char>(value); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xc0 | (code >> 6));
    byte(0x80 | (code & 0x3f));
  } else if (code < 0x10000) {
    byte(0xe0 | (code >> 12));
    byte(0x80 | ((code >> 6) & 0x3f));
    byte(0x80 | (code & 0x3f));
  } else {
    byte(0xf0 | (code >> 18));
    byte(0x80 | ((code >> 12) & 0x3f));
    byte(0x80 | ((code >> 6) & 0x3f));
    byte(0x80 | (code & 0x3f));
  }
}

// The text that JSON string content stands for. content must pass
// IsJsonStringContent. A surrogate that is not half of a pair stands for no
// character and becomes U+FFFD.
std::string DecodeJsonString(std::string_view content) {
  std::string decoded;
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\\') {
      decoded += content[i];
      continue;
    }
    const char kind = content[++i];
    if (kind != 'u') {
      constexpr std::string_view kEscaped = "bfnrt";
      constexpr std::string_view kMeant = "\b\f\n\r\t";
      const std::size_t at = kEscaped.find(kind);
      decoded += at == std::string_view::npos ? kind : kMeant[at];
      continue;
    }
    unsigned code = HexValue(content.substr(i + 1, 4));
    i += 4;
    const std::string_view next = content.substr(i + 1);
    const unsigned low = next.starts_with("\\u") ? HexValue(next.substr(2, 4)) : 0;
    if (code >= 0xd800 && code < 0xdc00 && low >= 0xdc00 && low < 0xe000) {
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
      i += 6;
    } else if (code >= 0xd800 && code < 0xe000) {
      code = 0xfffd;
    }
    AppendUtf8(decoded, code);
  }
  return decoded;
}

}  // namespace

std::string BearerValue(std::string_view accessToken) {
  // The cloud's token is what its answer held between the quotes; the header
  // carries the token that text stands for.
  return "Bearer " + (IsJsonStringContent(accessToken) ? DecodeJsonString(accessToken) : std::string(accessToken));
}

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
