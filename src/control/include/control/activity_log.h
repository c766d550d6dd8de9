#pragma once
// The texts written to the activity log: one line per operation, and the
// seven-line report of an info request.

#include <string>
#include <string_view>

#include "control/result_code.h"

namespace tavorin::control {

inline constexpr std::string_view kActivityLogName = "Tavorin.log";

// text with each control character written as \xHH in lower-case hex, so that
// it can neither end or break a line nor steer a terminal: bytes below 0x20,
// 0x7f, and U+0080 to U+009F in UTF-8 (C2 80 to C2 9F, written as
// \xc2\x80...); the rest as it is.
[[nodiscard]] std::string EscapeControlCharacters(std::string_view text);

// "<timestamp> DeviceId=<id> Request=<state> Result=<code>" ended by CR LF,
// one line whatever the device ID and request word hold.
[[nodiscard]] std::string ActivityLine(std::string_view timestamp, std::string_view deviceId, std::string_view state,
                                       ResultCode result);

// The device report: ID, online flag, switch, firmware, signal strength, pulse
// setting and the time, one CR LF line each, read out of the status text. Its
// values are escaped as above, so it is always seven lines.
[[nodiscard]] std::string InfoReport(std::string_view deviceId, std::string_view status, std::string_view timestamp);

}  // namespace tavorin::control
