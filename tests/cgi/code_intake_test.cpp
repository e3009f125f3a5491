#include "cgi/code_intake.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CodeIntake, BodyLengthIsReadLikeStrtol) {
  struct {
    const char* value;
    std::size_t length;
  } cases[] = {
      {nullptr, 0},
      {"", 0},
      {"0", 0},
      {"-5", 0},
      {"-0", 0},
      {"+-5", 0},
      {"abc", 0},
      {"262144", 0},
      {"1", 1},
      {"262143", 262143},
      {" \t\n12", 12},
      {"+12", 12},
      {"12abc", 12},
      {"12 ", 12},
      {"99999999999999999999999999", 0},
      {"18446744073709551617", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    EXPECT_EQ(code_body_length(c.value), c.length);
  }
}

TEST(CodeIntake, BodyValueIsFoundLeniently) {
  const std::string long_body = "{\"code\":\"" + std::string(3000, 'c') + "\"}";
  struct {
    const char* body;
    int found;
    std::string code;
  } cases[] = {
      {"{\"code\": \"4/0AbC-x_y\"}", 1, "4/0AbC-x_y"},
      {"{\"code\":4711}", 1, "4711"},
      {"{\"code\"\t:\t\"ab\",\"x\":1}", 1, "ab"},
      {"{\"a\":\"code\",\"b\":\"z\"}", 1, "z"},
      {"{\"code\":\"a\\\"b\"}", 1, "a\\"},
      {"{\"code\":\"a+b%41\"}", 1, "a+b%41"},
      {"{\"code\":\"\"}", 1, ""},
      {"code=abc", 0, ""},
      {"{\"code\"}", 0, ""},
      {"{\"Code\":\"x\"}", 0, ""},
      {long_body.c_str(), 1, std::string(2047, 'c')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    code_text out;
    EXPECT_EQ(code_from_body(c.body, out), c.found);
    EXPECT_EQ(out.view(), c.code);
  }
}

TEST(CodeIntake, PercentDecodingIsOnePass) {
  struct {
    const char* raw;
    std::string decoded;
  } cases[] = {
      {"%2541", "%41"},  {"abc%4", "abc%4"},     {"%G1", "%G1"},       {"a+b", "a b"},
      {"%41%62", "Ab"},  {"%c3%A9", "\xc3\xa9"}, {"100%", "100%"},     {"%%41", "%A"},
      {"a%0Ab", "a\nb"}, {"ab%00cd", "ab"},      {"4%2F0Ab", "4/0Ab"}, {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.raw);
    char text[64];
    std::strcpy(text, c.raw);
    code_percent_decode(text);
    EXPECT_EQ(std::string(text), c.decoded);
  }
}

TEST(CodeIntake, ExtractionTakesTheValueAfterCodeEquals) {
  struct {
    const char* decoded;
    const char* code;
  } cases[] = {
      {"4/0Ab-cd", "4/0Ab-cd"},   {"http://localhost:8085/?state=s&code=4/0Ab&scope=x", "4/0Ab"},
      {"authcode=xyz", "xyz"},    {"code=abc#frag", "abc"},
      {"a=1&code=x&code=y", "x"}, {"code=&x=1", "code=&x=1"},
      {"code=", "code="},         {"code=#x", "code=#x"},
      {"code=a=b", "a=b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decoded);
    code_text code;
    code.assign(c.decoded);
    code_extract(code);
    EXPECT_STREQ(code.c_str(), c.code);
  }
}

TEST(CodeIntake, ValidationRefusesShellBytes) {
  const std::string forbidden = "\"$&';<>\\`|\x7f";
  for (int byte = 1; byte <= 0xFF; ++byte) {
    const char c = static_cast<char>(byte);
    const bool refused = byte < 0x20 || forbidden.find(c) != std::string::npos;
    SCOPED_TRACE(byte);
    EXPECT_EQ(code_is_acceptable(std::string("4/0A") + c + "b"), refused ? 0 : 1);
  }
  EXPECT_EQ(code_is_acceptable(""), 0);
  EXPECT_EQ(code_is_acceptable("4/0Ab c=?#%+!()*~._-"), 1);
  EXPECT_EQ(code_is_acceptable("\xc3\xa9"), 1);
}

}  // namespace
