#pragma once
// The switch operation wired to a scripted cloud in a scratch directory that
// holds a token pair and one line of earlier history.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "control/switch_control.h"
#include "tests/support/scripted_http.h"
#include "tests/support/temp_dir.h"

namespace tavorin::control {

using testing::ReadFile;
using testing::ScriptedHttp;
using testing::TempDir;
using testing::WriteFile;

inline constexpr const char* kRejected = R"({"error":401,"msg":"token expired","data":{}})";
inline constexpr const char* kAccepted = R"({"error":0,"msg":"","data":{}})";
inline constexpr const char* kRefused = R"({"error":400,"msg":"params incorrect","data":{}})";
inline constexpr const char* kNewPair = R"({"error":0,"data":{"at":"A2","rt":"R2"}})";
inline constexpr const char* kHistory = "2026-01-01 00:00:00 DeviceId=1000c8441f Request= Result=1\r\n";

inline std::string Status(const std::string& switchValue, bool online = true) {
  return R"({"error":0,"msg":"","data":{"thingList":[{"itemType":1,"itemData":{"deviceid":"1000c8441f","online":)" +
         std::string(online ? "true" : "false") + R"(,"params":{"switch":")" + switchValue +
         R"(","fwVersion":"3.7.1","rssi":-48,"pulse":"off"}}}]}})";
}

class SwitchControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(dir / "tokens.txt", "at=A1\r\nrt=R1\r\n");
    WriteFile(dir / "Tavorin.log", kHistory);
  }

  // Each timestamp read gives the next second: 10:00:00, 10:00:01, ...
  [[nodiscard]] SwitchControl Control() const {
    int tick = 0;
    return SwitchControl(
        cloud::CloudClient(http.Factory(), "https://cloud.test", dir / "tokens.txt"),
        [tick]() mutable { return "2026-12-06 10:00:0" + std::to_string(tick++); }, dir / "Tavorin.log");
  }

  [[nodiscard]] ResultCode Run(std::string_view state, std::string_view deviceId = kDefaultDeviceId) {
    const ResultCode result = Control().ControlSwitch(state, deviceId);
    EXPECT_EQ(http.RepliesLeft(), 0u) << "the operation sent fewer requests than scripted";
    return result;
  }

  [[nodiscard]] std::string Log() const { return ReadFile(dir / "Tavorin.log"); }
  [[nodiscard]] std::string LoggedLine() const { return Log().substr(std::string(kHistory).size()); }

  TempDir dir;
  ScriptedHttp http;
};

}  // namespace tavorin::control
