#include "scan/json_scan.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include "tests/support/case_name.h"

namespace tavorin::scan {
namespace {

struct ExtractCase {
  const char* name;
  std::string json;
  std::string key;
  std::string expected;
};

class ExtractJSONTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractJSONTest, FindsTheValueOfTheFirstQuotedKey) {
  EXPECT_EQ(ExtractJSON(GetParam().json, GetParam().key), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ExtractJSONTest,
    ::testing::Values(ExtractCase{"StringValue", R"({"at":"abc","rt":"def"})", "at", "abc"},
                      ExtractCase{"BlankBeforeOpeningQuote", R"({"at": "abc"})", "at", "abc"},
                      ExtractCase{"EmptyString", R"({"at":"","rt":"x"})", "at", ""},
                      ExtractCase{"AbsentKey", R"({"rt":"x"})", "at", ""},
                      ExtractCase{"BlankBeforeColonIsNotTheKey", R"({"at" : "abc"})", "at", ""},
                      ExtractCase{"KeyIsCaseSensitive", R"({"AT":"abc"})", "at", ""},
                      ExtractCase{"TailOfLongerKeyDoesNotMatch", R"({"fat":"x","at":"y"})", "at", "y"},
                      ExtractCase{"FirstOccurrenceWinsEvenNested", R"({"data":{"at":"inner"},"at":"outer"})", "at",
                                  "inner"},
                      ExtractCase{"NegativeNumber", R"({"rssi":-48,"fwVersion":"3.7.1"})", "rssi", "-48"},
                      ExtractCase{"NumberClosingTheObject", R"({"rssi":-48})", "rssi", "-48"},
                      ExtractCase{"NumberAtEndOfText", R"("rssi":-48)", "rssi", "-48"},
                      ExtractCase{"NumberInArray", R"([{"n":7]])", "n", "7"},
                      ExtractCase{"BlankBeforeNumber", R"({"rssi": 12 ,"x":"y"})", "rssi", "12"},
                      ExtractCase{"TrueLiteral", R"({"online":true,"x":"y"})", "online", "true"},
                      ExtractCase{"FalseLiteral", R"({"online":false})", "online", "false"},
                      ExtractCase{"NullIsEmpty", R"({"at":null,"rt":"x"})", "at", ""},
                      ExtractCase{"ObjectIsEmpty", R"({"data":{"at":"x"}})", "data", ""},
                      ExtractCase{"ArrayIsEmpty", R"({"list":["x"]})", "list", ""},
                      ExtractCase{"NothingAfterColon", R"({"at":)", "at", ""},
                      ExtractCase{"OnlyBlanksAfterColon", "{\"at\": \r\n", "at", ""}),
    testing::CaseName());

TEST(ExtractJSONFailures, UnterminatedStringValueNamesTheKey) {
  try {
    static_cast<void>(ExtractJSON(R"({"at":"abc)", "at"));
    FAIL() << "expected an error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "malformed response: unterminated value for key at");
  }
}

TEST(ExtractJSONLongText, ScansValuesBeyondSixteenBitPositions) {
  const std::string padding(70000, 'x');
  const std::string json = R"({"pad":")" + padding + R"(","params":{"switch":"on"},"rssi":-3,"online":true})";
  EXPECT_EQ(ExtractJSON(json, "rssi"), "-3");
  EXPECT_EQ(ExtractJSONParam(json), "on");
  EXPECT_TRUE(ExtractJSONBool(json, "online"));
  EXPECT_EQ(ExtractJSON(json, "pad").size(), padding.size());
}

struct BoolCase {
  const char* name;
  std::string json;
  bool expected;
};

class ExtractJSONBoolTest : public ::testing::TestWithParam<BoolCase> {};

TEST_P(ExtractJSONBoolTest, IsTrueOnlyForTheExactQuotedKeyColonTrue) {
  EXPECT_EQ(ExtractJSONBool(GetParam().json, "online"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Flags, ExtractJSONBoolTest,
                         ::testing::Values(BoolCase{"True", R"({"online":true})", true},
                                           BoolCase{"TrueInsideNestedObject", R"({"d":{"x":1,"online":true}})", true},
                                           BoolCase{"BlankAfterColon", R"({"online": true})", false},
                                           BoolCase{"False", R"({"online":false})", false},
                                           BoolCase{"StringTrue", R"({"online":"true"})", false},
                                           BoolCase{"UpperCase", R"({"online":True})", false},
                                           BoolCase{"LongerKey", R"({"isonline":true})", false},
                                           BoolCase{"Absent", R"({"error":406})", false}, BoolCase{"Empty", "", false}),
                         testing::CaseName());

struct ParamCase {
  const char* name;
  std::string json;
  std::string expected;
};

class ExtractJSONParamTest : public ::testing::TestWithParam<ParamCase> {};

TEST_P(ExtractJSONParamTest, ReadsTheSwitchAtOrAfterTheParamsKey) {
  EXPECT_EQ(ExtractJSONParam(GetParam().json), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, ExtractJSONParamTest,
    ::testing::Values(ParamCase{"On", R"({"online":true,"params":{"switch":"on","pulse":"off"}})", "on"},
                      ParamCase{"SwitchBeforeParamsIsIgnored", R"({"switch":"on","params":{"switch":"off"}})", "off"},
                      ParamCase{"NoParamsKey", R"({"switch":"on"})", ""},
                      ParamCase{"ParamsWithoutSwitch", R"({"params":{"pulse":"on"}})", ""},
                      ParamCase{"OnlyFirstParamsCounts",
                                R"({"params":{},"x":{"switch":"on"},"params":{"switch":"off"}})", "on"}),
    testing::CaseName());

struct ContainsCase {
  const char* name;
  std::string text;
  bool expected;
};

class ContainsTest : public ::testing::TestWithParam<ContainsCase> {};

TEST_P(ContainsTest, FindsTheMarkerWhereverItStands) {
  EXPECT_EQ(Contains(GetParam().text, R"("error":401)"), GetParam().expected);
}

// Quote-dense filler like a real answer's many fields, so the search meets
// many near misses before the end.
std::string Fields(int count) {
  std::string fields;
  for (int i = 0; i < count; ++i) {
    fields += "\"error\":40" + std::to_string(i % 10 == 1 ? 0 : i % 10) + ",\"e\":\"x\",";
  }
  return fields;
}

INSTANTIATE_TEST_SUITE_P(Markers, ContainsTest,
                         ::testing::Values(ContainsCase{"WholeText", R"("error":401)", true},
                                           ContainsCase{"AtStart", R"("error":401,"msg":"")", true},
                                           ContainsCase{"AtEnd", R"({"msg":"","error":401)", true},
                                           ContainsCase{"Nested", R"({"error":0,"data":{"error":401}})", true},
                                           ContainsCase{"AfterAPartialMatch", R"("error":40"error":401)", true},
                                           ContainsCase{"OtherCode", R"({"error":402})", false},
                                           ContainsCase{"CutShortAtEnd", R"({"error":40)", false},
                                           ContainsCase{"Empty", "", false},
                                           ContainsCase{"EndOfLongAnswer", Fields(5000) + R"("error":401})", true},
                                           ContainsCase{"LongAnswerWithoutIt", Fields(5000) + R"("error":40)", false}),
                         testing::CaseName());

}  // namespace
}  // namespace tavorin::scan
