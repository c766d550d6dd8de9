#include "control/activity_log.h"

#include "scan/json_scan.h"

namespace tavorin::control {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendEscaped(std::string& escaped, unsigned char byte) {
  constexpr std::string_view kHex = "0123456789abcdef";
  escaped.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xf]);
}

// One line whatever value holds: what comes from the cloud is escaped.
void AppendReportLine(std::string& report, std::string_view label, std::string_view value) {
  report.append(label).append(EscapeControlCharacters(value)).append(kLineEnd);
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  std::string escaped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    // U+0080 to U+009F in UTF-8: a terminal may take NEL for a line end and
    // CSI for the start of a command.
    const bool c1 = byte == 0xc2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xe0) == 0x80;
    if (c1) {
      AppendEscaped(escaped, byte);
      AppendEscaped(escaped, static_cast<unsigned char>(text[++i]));
    } else if (byte < 0x20 || byte == 0x7f) {
      AppendEscaped(escaped, byte);
    } else {
      escaped += text[i];
    }
  }
  return escaped;
}

std::string ActivityLine(std::string_view timestamp, std::string_view deviceId, std::string_view state,
                         ResultCode result) {
  std::string line;
  line.append(timestamp).append(" DeviceId=").append(EscapeControlCharacters(deviceId));
  line.append(" Request=").append(EscapeControlCharacters(state));
  line.append(" Result=").append(std::to_string(static_cast<int>(result)));
  line.append(kLineEnd);
  return line;
}

std::string InfoReport(std::string_view deviceId, std::string_view status, std::string_view timestamp) {
  std::string report;
  AppendReportLine(report, "DeviceId : ", deviceId);
  AppendReportLine(report, "Online   : ", scan::ExtractJSONBool(status, "online") ? "True" : "False");
  AppendReportLine(report, "Switch   : ", scan::ExtractJSONParam(status));
  AppendReportLine(report, "Firmware : ", scan::ExtractJSON(status, "fwVersion"));
  AppendReportLine(report, "RSSI     : ", scan::ExtractJSON(status, "rssi"));
  AppendReportLine(report, "Pulse    : ", scan::ExtractJSON(status, "pulse"));
  AppendReportLine(report, "Time     : ", timestamp);
  return report;
}

}  // namespace tavorin::control
