#pragma once
// The texts written to the activity log: one line per operation, and the
// seven-line report of an info request.

#include <string>
#include <string_view>

#include "control/result_code.h"

namespace tavorin::control {

inline constexpr std::string_view kActivityLogName = "Tavorin.log";

// text with each control character (below 0x20, and 0x7f) written as \xHH in
// lower-case hex, so that it cannot end or break a line; the rest as it is.
[[nodiscard]] std::string EscapeControlCharacters(std::string_view text);

// "<timestamp> DeviceId=<id> Request=<state> Result=<code>" ended by CR LF,
// one line whatever the device ID and request word hold.
[[nodiscard]] std::string ActivityLine(std::string_view timestamp, std::string_view deviceId, std::string_view state,
                                       ResultCode result);

// The device report: ID, online flag, switch, firmware, signal strength, pulse
// setting and the time, one CR LF line each, read out of the status text.
[[nodiscard]] std::string InfoReport(std::string_view deviceId, std::string_view status, std::string_view timestamp);

}  // namespace tavorin::control
