// What the program reads from the token file and what it sends the cloud,
// whatever the values hold.
#include "cloud/token_file.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "cloud/request_bodies.h"

namespace tavorin::cloud {
namespace {

using namespace std::string_literals;

TEST(TokenFileTest, TokenIsTheRestOfTheFirstLineStartingWithKeyAndEquals) {
  struct {
    std::string content;
    const char* key;
    const char* token;
  } const cases[] = {
      {"at=A1\r\nrt=R1\r\n", "rt", "R1"},
      {"rt=R1\nat=A1\n", "at", "A1"},
      {"rt=R1\rat=A1\r", "at", "A1"},
      {"at=first\r\nat=second", "at", "first"},
      {"at =A1\r\natx=A2\r\nAT=A3\r\nat=A4", "at", "A4"},
      {"\r\n\r\n\nat= a=b c ", "at", " a=b c "},
      {"at=\r\nrt=R1", "at", ""},
      {"rt=R1", "at", ""},
      {"", "at", ""},
  };
  for (const auto& file : cases) {
    EXPECT_EQ(FindToken(file.content, file.key), file.token) << file.content;
  }
}

TEST(TokenFileTest, PairIsTwoCrLfLinesAndOneThatWouldNotReadBackIsRefused) {
  EXPECT_EQ(TokenFileText("A2", "R2"), "at=A2\r\nrt=R2\r\n");
  for (const auto& [at, rt] : {std::pair{"A2\r\nrt=X"s, "R2"s}, {"A2"s, "R2\n"s}, {"A2\0"s, "R2"s}, {"A\r"s, "R"s}}) {
    EXPECT_THROW(static_cast<void>(TokenFileText(at, rt)), std::runtime_error) << at << rt;
  }
  // A kept file is a whole pair only as saved, the blanks of its room after it.
  for (const auto& [kept, length] : {std::pair{"at=A\r\nrt=\r\n  "s, 11},
                                     {"at=A\r\nrt=R\r\n"s, 12},
                                     {"at=A\r\n"s, 0},
                                     {"rt=R\r\nat=A\r\n"s, 0},
                                     {"at=\r\nrt=R\r\n"s, 0},
                                     {"  "s, 0}}) {
    EXPECT_EQ(WholeTokenFileLength(kept), static_cast<std::size_t>(length)) << kept;
  }
}

TEST(RequestBodies, AreTheCloudsExactBodiesAndInsertedValuesCannotAddFields) {
  EXPECT_EQ(StatusBody("1000c8441f"), R"({"thingList":[{"itemType":1,"id":"1000c8441f"}]})");
  EXPECT_EQ(SetBody(R"(x","type":2,"id":"y)", "on"),
            R"({"type":1,"id":"x\",\"type\":2,\"id\":\"y","params":{"switch":"on"}})");
}

// A refresh token goes back as the cloud's answer held it, escapes and all,
// where that is a JSON string's content; anything else is escaped. An access
// token goes into its header as the token that such content stands for, and
// anything else as it is.
TEST(RequestBodies, RefreshTokenGoesBackAsTheCloudWroteItAndTheAccessTokenDecoded) {
  struct {
    std::string token;
    const char* sent;
    std::string bearer;
  } const cases[] = {
      {"R1", "R1", "R1"},
      {R"(R\/2)", R"(R\/2)", "R/2"},
      {R"(a\"b\\c\u00e9\n)", R"(a\"b\\c\u00e9\n)", "a\"b\\c\xc3\xa9\n"},
      {R"(\b\f\r\t\u00a8\u20AC\udbc8\udc82\ud83d\ude00f\u0080f)",
       R"(\b\f\r\t\u00a8\u20AC\udbc8\udc82\ud83d\ude00f\u0080f)",
       "\b\f\r\t\xc2\xa8\xe2\x82\xac\xf4\x82\x82\x82\xf0\x9f\x98\x80"s + "f\xc2\x80" + "f"},
      // A surrogate that is not half of a pair stands for no character.
      {R"(\ud83dx\ude00\ud83d\u0047)", R"(\ud83dx\ude00\ud83d\u0047)", "\xef\xbf\xbdx\xef\xbf\xbd\xef\xbf\xbdG"},
      {R"(a"b\/)", R"(a\"b\\/)", R"(a"b\/)"},
      {R"(a\q\/)", R"(a\\q\\/)", R"(a\q\/)"},
      {R"(a\u00g9)", R"(a\\u00g9)", R"(a\u00g9)"},
      {R"(a\)", R"(a\\)", R"(a\)"},
      {"a\\b\n\x01\x1f", R"(a\\b\u000a\u0001\u001f)", "a\\b\n\x01\x1f"},
  };
  for (const auto& token : cases) {
    EXPECT_EQ(RefreshBody(token.token), R"({"rt":")" + std::string(token.sent) + R"("})") << token.token;
    EXPECT_EQ(BearerValue(token.token), "Bearer " + token.bearer) << token.token;
  }
}

}  // namespace
}  // namespace tavorin::cloud
