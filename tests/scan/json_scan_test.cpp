// The scanners' rules: the value of the first quoted key, in one table, the
// flag and the switch after "params". The fuzzer holds all of them, and the
// marker search, against a plain reference.
#include "scan/json_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace tavorin::scan {
namespace {

TEST(JsonScanTest, ValueFollowsTheFirstQuotedKeyItsColonAndBlanks) {
  struct {
    const char* json;
    const char* key;
    const char* value;
  } const cases[] = {
      {R"({"fat":"x","at": "abc","at":"y"})", "at", "abc"},
      {R"({"at" : "abc","AT":"x"})", "at", ""},
      {R"({"at":"","rt":"x"})", "at", ""},
      {R"({"rssi": -48 ,"x":"y"})", "rssi", "-48"},
      {R"([{"n":7]])", "n", "7"},
      {R"("rssi":-48)", "rssi", "-48"},
      {R"({"online":false})", "online", "false"},
      {R"({"at":null,"rt":"x"})", "at", ""},
      {R"({"data":{"at":"x"}})", "data", ""},
      {R"({"list":["x"]})", "list", ""},
      {"{\"at\": \r\n", "at", ""},
  };
  for (const auto& scan : cases) {
    EXPECT_EQ(ExtractJSON(scan.json, scan.key), scan.value) << scan.json;
  }
}

TEST(JsonScanTest, StringValueWithoutItsClosingQuoteIsAnErrorNamingTheKey) {
  EXPECT_THAT([] { static_cast<void>(ExtractJSON(R"({"at":"abc)", "at")); },
              ::testing::ThrowsMessage<std::runtime_error>("malformed response: unterminated value for key at"));
}

TEST(JsonScanTest, FlagIsExactlyTheQuotedKeyAColonAndTrueAnywhereAndTheSwitchFollowsParams) {
  EXPECT_TRUE(ExtractJSONBool(R"({"d":{"x":1,"online":true}})", "online"));
  EXPECT_FALSE(ExtractJSONBool(R"({"online": true})", "online"));
  // The switch is the first one at or after the params key.
  EXPECT_EQ(ExtractJSONParam(R"({"switch":"on","params":{"pulse":"on","switch":"off"}})"), "off");
  EXPECT_EQ(ExtractJSONParam(R"({"params":{},"x":{"switch":"on"},"params":{"switch":"off"}})"), "on");
  EXPECT_EQ(ExtractJSONParam(R"({"switch":"on"})"), "");
}

}  // namespace
}  // namespace tavorin::scan
