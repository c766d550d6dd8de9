#include "window/window_model.h"

namespace tavorin::window {
namespace {

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) {
    return 1;
  }
  // The range of the second byte narrows for the leads that could otherwise
  // make overlong forms, surrogates or code points past U+10FFFF.
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : low;
    high = lead == 0xed ? 0x9f : high;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : low;
    high = lead == 0xf4 ? 0x8f : high;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) {
      return 0;
    }
  }
  return length;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = SequenceLength(text);
    valid.append(length == 0 ? std::string_view("\xef\xbf\xbd") : text.substr(0, length));
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return valid;
}

std::string ReasonLine(const control::Outcome& outcome) {
  const bool notDone = outcome.result == control::ResultCode::NotDone || outcome.result == control::ResultCode::Offline;
  return notDone ? ValidUtf8(outcome.reason) : std::string();
}

MessageBoxContent ResultBox(control::ResultCode result) {
  return {std::string(kApplicationTitle), std::to_string(static_cast<int>(result)), BoxIcon::None};
}

MessageBoxContent ErrorBox(std::string_view message) {
  return {std::string(kApplicationTitle), ValidUtf8(message), BoxIcon::Error};
}

}  // namespace tavorin::window
