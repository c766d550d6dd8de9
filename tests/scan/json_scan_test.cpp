// The scanners' rules, each in one table: the value of the first quoted key,
// the flag, the switch after "params", and the marker anywhere in an answer.
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

TEST(JsonScanTest, FlagIsTheQuotedKeyAColonAndTrueAnywhereAndTheSwitchFollowsParams) {
  EXPECT_TRUE(ExtractJSONBool(R"({"d":{"x":1,"online":true}})", "online"));
  for (const char* json : {R"({"online": true})", R"({"online":"true"})", R"({"isonline":true})", ""}) {
    EXPECT_FALSE(ExtractJSONBool(json, "online")) << json;
  }
  // The switch is the first one at or after the params key.
  EXPECT_EQ(ExtractJSONParam(R"({"switch":"on","params":{"pulse":"on","switch":"off"}})"), "off");
  EXPECT_EQ(ExtractJSONParam(R"({"params":{},"x":{"switch":"on"},"params":{"switch":"off"}})"), "on");
  EXPECT_EQ(ExtractJSONParam(R"({"switch":"on"})"), "");
}

TEST(JsonScanTest, MarkerIsFoundWhereverItStandsAndOnlyWhole) {
  for (const char* text : {R"("error":401)", R"({"error":0,"data":{"error":401}})", R"("error":40"error":401)"}) {
    EXPECT_TRUE(Contains(text, R"("error":401)")) << text;
  }
  for (const char* text : {R"({"error":402})", R"({"error":40)", ""}) {
    EXPECT_FALSE(Contains(text, R"("error":401)")) << text;
  }
}

}  // namespace
}  // namespace tavorin::scan
