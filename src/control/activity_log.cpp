#include "control/activity_log.h"

#include "scan/json_scan.h"

namespace tavorin::control {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendReportLine(std::string& report, std::string_view label, std::string_view value) {
  report.append(label).append(value).append(kLineEnd);
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  constexpr std::string_view kHex = "0123456789abcdef";
  std::string escaped;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      escaped.append("\\x").append(1, kHex[byte >> 4]).append(1, kHex[byte & 0xf]);
    } else {
      escaped += c;
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
  AppendReportLine(report, "DeviceId : ", EscapeControlCharacters(deviceId));
  AppendReportLine(report, "Online   : ", scan::ExtractJSONBool(status, "online") ? "True" : "False");
  AppendReportLine(report, "Switch   : ", scan::ExtractJSONParam(status));
  AppendReportLine(report, "Firmware : ", scan::ExtractJSON(status, "fwVersion"));
  AppendReportLine(report, "RSSI     : ", scan::ExtractJSON(status, "rssi"));
  AppendReportLine(report, "Pulse    : ", scan::ExtractJSON(status, "pulse"));
  AppendReportLine(report, "Time     : ", timestamp);
  return report;
}

}  // namespace tavorin::control
