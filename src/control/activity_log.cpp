#include "control/activity_log.h"

#include "scan/json_scan.h"

namespace tavorin::control {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

void AppendReportLine(std::string& report, std::string_view label, std::string_view value) {
  report.append(label).append(value).append(kLineEnd);
}

}  // namespace

std::string ActivityLine(std::string_view timestamp, std::string_view deviceId, std::string_view state,
                         ResultCode result) {
  std::string line;
  line.append(timestamp).append(" DeviceId=").append(deviceId);
  line.append(" Request=").append(state);
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
