#include "text/json_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* untouched = "untouched";

struct span {
  const char* start;
  const char* end;
};
span whole(const std::string& doc) {
  return {doc.c_str(), doc.c_str() + doc.size()};
}

}  // namespace

TEST(JsonReader, ReadStringAtTable) {
  struct literal_case {
    const char* text;
    std::size_t cap;
    const char* decoded;  // up to the first stored zero byte
    std::size_t cursor_after;
  };
  const literal_case cases[] = {
      {R"("")", 64, "", 2},
      {R"("abc" tail)", 64, "abc", 5},
      {R"("\\\/")", 64, "\\/", 6},
      {R"("\b\f\n\r\t")", 64, "\b\f\n\r\t", 12},
      {R"("\q\'")", 64, "q'", 6},
      {R"("\u0041")", 64, "A", 8},
      {R"("\u00e9")", 64, "\xe9", 8},
      {R"("\u20AC")", 64, "\xac", 8},
      {R"("\u12")", 64, "\x12", 6},
      {R"("\u41x")", 64, "Ax", 7},
      {R"("\u004142")", 64, "A42", 10},
      {R"("\u0000z")", 64, "", 9},
      {R"("\uzz")", 64, "", 6},
      {R"("abc)", 64, "abc", 4},   // unterminated: the cursor stops on the zero byte
      {R"("ab\)", 64, "ab\\", 4},  // a lone backslash before the zero byte is kept
      {R"(")", 64, "", 1},
      {R"("abcdefghij")", 8, "abcdefg", 12},
      {R"("\u0041\u0042\n")", 2, "A", 16},
      {R"("x\"y\"z" ,)", 4, "x\"y", 9},
  };
  for (const literal_case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<char> out(c.cap, '#');
    const char* cursor = c.text;
    ASSERT_EQ(json_read_string_at(&cursor, out.data(), out.size()), 1);
    EXPECT_STREQ(out.data(), c.decoded);
    EXPECT_EQ(static_cast<std::size_t>(cursor - c.text), c.cursor_after);
  }
}

TEST(JsonReader, ReadStringAtNeedsAQuote) {
  char out[8] = "keep";
  const char* text = " \"a\"";
  const char* cursor = text;
  EXPECT_EQ(json_read_string_at(&cursor, out, sizeof out), 0);
  EXPECT_EQ(cursor, text);
  EXPECT_STREQ(out, "keep");
  const char* none = nullptr;
  EXPECT_EQ(json_read_string_at(&none, out, sizeof out), 0);
  EXPECT_EQ(json_read_string_at(nullptr, out, sizeof out), 0);
  EXPECT_STREQ(out, "keep");
}

TEST(JsonReader, StrFieldTable) {
  struct field_case {
    const char* doc;
    const char* name;
    std::size_t cap;
    int result;
    const char* text;
  };
  const field_case cases[] = {
      // Only the outermost object's members are seen.
      {R"({"a":{"b":1},"b":2})", "b", 64, 1, "2"},
      {R"({"a":{"b":1},"b":2})", "a", 64, 1, R"({"b":1)"},
      {R"({"o":{"a":"in"},"a":"out"})", "a", 64, 1, "out"},
      {R"([{"a":"v"}])", "a", 64, 0, untouched},
      // A string value equal to a name is not a member name.
      {R"({"k":"x:y","v":"k"})", "k", 64, 1, "x:y"},
      {R"({"k":"x:y","v":"k"})", "v", 64, 1, "k"},
      {R"({"k":"x:y","v":"k"})", "x:y", 64, 0, untouched},
      // Two objects back to back: depth -1 then 0 again.
      {R"({"a":1}{"b":2})", "b", 64, 1, "2"},
      // Brackets and quotes inside literals do not count.
      {R"({"s":"q\"}x"})", "s", 64, 1, "q\"}x"},
      {R"({"x":"[{","a":"v"})", "a", 64, 1, "v"},
      {" \t\r\n{\"a\":\"v\"}", "a", 64, 1, "v"},
      {R"("a":"v")", "a", 64, 1, "v"},
      {R"(x"a":"v")", "a", 64, 1, "v"},
      {"{\"a\" \t:\r\n \"v\"}", "a", 64, 1, "v"},
      {"{\"a\"\v:\"v\"}", "a", 64, 0, untouched},
      {R"({"a\u0062":"v"})", "ab", 64, 1, "v"},
      {R"({"a":"1","a":"2"})", "a", 64, 1, "1"},
      {R"({"e":""})", "e", 64, 1, ""},
      {R"({"e":null})", "e", 64, 0, untouched},
      {R"({"e":nonsense})", "e", 64, 0, untouched},
      {R"({"e":42 })", "e", 64, 1, "42"},
      {"{\"e\": 7\r\n}", "e", 64, 1, "7"},
      {R"({"e":,"f":1})", "e", 64, 0, ""},
      {R"({"e":[1,2]})", "e", 64, 1, "[1"},
      {R"({"e":[1]})", "e", 64, 1, "[1"},
      {R"({"e":true})", "e", 64, 1, "true"},
      {R"({"e":tr ue,"f":1})", "e", 64, 1, "tr ue"},
      {R"({"e":123456789})", "e", 5, 1, "1234"},
      {R"({"e":"abcdefghij","f":"g"})", "e", 8, 1, "abcdefg"},
      {R"({"e":"\u0000abc"})", "e", 64, 1, ""},
      {R"({"a"})", "a", 64, 0, untouched},
      {R"({"a":)", "a", 64, 0, untouched},
      {"{\"a\":  \n", "a", 64, 0, untouched},
      {"", "a", 64, 0, untouched},
      {"  \n", "a", 64, 0, untouched},
  };
  for (const field_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.doc << " [" << c.name << "]");
    const std::string doc = c.doc;
    std::vector<char> out(c.cap > 10 ? c.cap : 10);
    std::strcpy(out.data(), untouched);
    const span s = whole(doc);
    EXPECT_EQ(json_str_field(s.start, s.end, c.name, out.data(), c.cap), c.result);
    EXPECT_STREQ(out.data(), c.text);
  }
}

TEST(JsonReader, SpanEndBoundsTheScan) {
  const std::string doc = R"({"a":"1"}{"b":"2"})";
  char out[16] = "";
  EXPECT_EQ(json_str_field(doc.data(), doc.data() + 9, "b", out, sizeof out), 0);
  EXPECT_EQ(json_str_field(doc.data(), doc.data() + 9, "a", out, sizeof out), 1);
  EXPECT_STREQ(out, "1");

  const std::string number = R"({"n":12345})";
  EXPECT_EQ(json_str_field(number.data(), number.data() + 8, "n", out, sizeof out), 1);
  EXPECT_STREQ(out, "123");
  EXPECT_EQ(json_num_field(number.data(), number.data() + 8, "n"), 123);

  // A literal that runs past the end ends the scan even though the member follows it.
  const std::string cut = R"({"x":"abc","a":"v"})";
  EXPECT_EQ(json_find_key(cut.data(), cut.data() + 7, "a"), nullptr);

  // A string value is decoded up to its quote, beyond the end of the span.
  const std::string value = R"({"a":"value"})";
  EXPECT_EQ(json_str_field(value.data(), value.data() + 6, "a", out, sizeof out), 1);
  EXPECT_STREQ(out, "value");

  EXPECT_EQ(json_find_key(value.data(), value.data(), "a"), nullptr);
  EXPECT_EQ(json_find_key(nullptr, value.data(), "a"), nullptr);
  EXPECT_EQ(json_find_key(value.data(), nullptr, "a"), nullptr);
}

TEST(JsonReader, BareValueCopyPassesZeroBytes) {
  const std::string doc("{\"e\":ab\0cd}", 11);
  char out[16];
  ASSERT_EQ(json_str_field(doc.data(), doc.data() + doc.size(), "e", out, sizeof out), 1);
  EXPECT_EQ(std::memcmp(out, "ab\0cd", 6), 0);
}

TEST(JsonReader, LongMemberNamesCompareByFirst127Bytes) {
  const std::string k127(127, 'k');
  const std::string k128(128, 'k');
  struct name_case {
    std::string key_in_doc;
    std::string name;
    bool found;
  };
  const name_case cases[] = {
      {k127 + "tail", k127, true}, {k127 + "tail", k127 + "tail", false},
      {k127, k127, true},          {k127, k128, false},
      {k128, k127, true},
  };
  for (const name_case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key_in_doc.size() << " vs " << c.name.size());
    const std::string doc = "{\"" + c.key_in_doc + "\":7}";
    EXPECT_EQ(json_num_field(doc.data(), doc.data() + doc.size(), c.name.c_str()), c.found ? 7 : 0);
  }
}

TEST(JsonReader, BoolFieldTable) {
  struct bool_case {
    const char* value;  // nullptr: the member is absent
    int default_value;
    int expected;
  };
  const bool_case cases[] = {
      {"true", 0, 1},     {"1", 0, 1},     {"10", 0, 1},      {"1.5", 0, 1},
      {"\"true\"", 0, 1}, {"\"1\"", 0, 1}, {"trueish", 0, 1}, {"false", 1, 0},
      {"0", 1, 0},        {"2", 1, 0},     {"null", 1, 0},    {"\"false\"", 1, 0},
      {"\"yes\"", 1, 0},  {"True", 1, 0},  {"\"\"", 1, 0},    {"[true]", 1, 0},
      {nullptr, 7, 7},    {nullptr, 0, 0}, {nullptr, -1, -1},
  };
  for (const bool_case& c : cases) {
    const std::string doc =
        c.value != nullptr ? std::string(R"({"f":)") + c.value + "}" : R"({"g":true})";
    SCOPED_TRACE(doc);
    EXPECT_EQ(json_bool_field(doc.data(), doc.data() + doc.size(), "f", c.default_value),
              c.expected);
  }
}

TEST(JsonReader, NumFieldTable) {
  constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t least = std::numeric_limits<std::int64_t>::min();
  struct num_case {
    const char* value;  // nullptr: the member is absent
    std::int64_t expected;
  };
  const num_case cases[] = {
      {"3600", 3600},
      {"-42", -42},
      {"+5", 5},
      {"0007", 7},
      {"\"77\"", 77},
      {"\" \t-9\"", -9},
      {"\"\v8\"", 8},
      {"3600.9", 3600},
      {"1e3", 1},
      {"true", 0},
      {"null", 0},
      {"\"\"", 0},
      {"-", 0},
      {"--5", 0},
      {"- 5", 0},
      {"1735689600}", 1735689600},
      {"9223372036854775807", most},
      {"9223372036854775808", most},
      {"123456789012345678901234567890", most},
      {"-9223372036854775808", least},
      {"-9223372036854775809", least},
      {"-123456789012345678901234567890", least},
      {nullptr, 0},
  };
  for (const num_case& c : cases) {
    const std::string doc =
        c.value != nullptr ? std::string(R"({"n":)") + c.value + "}" : R"({"m":5})";
    SCOPED_TRACE(doc);
    EXPECT_EQ(json_num_field(doc.data(), doc.data() + doc.size(), "n"), c.expected);
  }
}

TEST(JsonReader, LastJsonLineTable) {
  struct line_case {
    const char* output;
    std::ptrdiff_t line_at;  // -1: no line
  };
  const line_case cases[] = {
      {"plain words\n{\"ok\":true}\n  {\"x\":1}\n", 12},
      {"{\"a\":1}", 0},
      {"{\"a\":1}\n{\"b\":2}\n", 8},
      {"{\"a\":1}\nlater words\n", 0},
      {"x\r{\"a\":1}", -1},
      {"x\r\n{\"a\":1}", 3},
      {"x {\"a\":1}", -1},
      {"\t{\"a\":1}", -1},
      {"no json here\n", -1},
      {"", -1},
  };
  for (const line_case& c : cases) {
    SCOPED_TRACE(c.output);
    buf b;
    buf_adds(b, c.output);
    const char* line = last_json_line(b);
    if (c.line_at < 0) {
      EXPECT_EQ(line, nullptr);
    } else {
      EXPECT_EQ(line, b.data + c.line_at);
    }
  }
  const buf never_filled;
  EXPECT_EQ(last_json_line(never_filled), nullptr);
}

TEST(JsonReader, CapturedOutputEndToEnd) {
  buf b;
  buf_adds(b, "Opening a browser...\n{\"ok\":true,\"expires_at\":1735689600,\"email\":\"a@b\"}\n");
  const char* line = last_json_line(b);
  ASSERT_NE(line, nullptr);
  const char* end = b.data + b.len;
  fixed_text<64> email;
  EXPECT_EQ(json_bool_field(line, end, "ok", 0), 1);
  EXPECT_EQ(json_num_field(line, end, "expires_at"), 1735689600);
  EXPECT_EQ(json_str_field(line, end, "email", email), 1);
  EXPECT_EQ(email.view(), "a@b");
}

TEST(JsonReader, ValueEndTable) {
  struct value_case {
    std::string text;
    int taken;  // bytes of the value, -1 when it does not end inside the text
  };
  const value_case cases[] = {
      {R"({"a":1},{)", 7},
      {R"([1,[2,{"b":[]}]] x)", 16},
      {R"({"s":"}]"}tail)", 10},
      {R"({"s":"a\"}"})", 12},  // an escaped quote does not end the string
      {R"("a\"b",)", 6},
      {"true,", 4},
      {"12}", 2},
      {R"({"a":[1,2})", -1},
      {R"({"s":"})", -1},
      {"", -1},
  };
  for (const value_case& c : cases) {
    SCOPED_TRACE(c.text);
    const span s = whole(c.text);
    const char* end = json_value_end(s.start, s.end);
    EXPECT_EQ(end == nullptr ? -1 : static_cast<int>(end - s.start), c.taken);
  }
}

TEST(JsonReader, TrimTailTable) {
  struct trim_case {
    const char* text;
    const char* trimmed;
  };
  const trim_case cases[] = {
      {"abc \t\r\n", "abc"}, {"abc\v", "abc\v"}, {"abc\f", "abc\f"}, {"a b \n", "a b"},
      {" \t\r\n", ""},       {"", ""},           {"\nabc", "\nabc"},
  };
  for (const trim_case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    trim_tail(text.data());
    EXPECT_STREQ(text.c_str(), c.trimmed);
    // Every removed byte is zeroed, not only the first.
    for (std::size_t i = std::strlen(c.trimmed); i < text.size(); ++i) EXPECT_EQ(text[i], '\0');
  }
  trim_tail(nullptr);
}

TEST(JsonReader, ArbitraryBytesStayInBounds) {
  // Inputs biased toward JSON punctuation, each in an exact-size block so that a sanitizer build
  // reports any read past the terminator or write past an output area.
  const char alphabet[] = "{}[]\":,\\u0aAfnt1 \t\n\r\v-e";
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const char* names[] = {"a", "u", "0a", ""};
  for (int round = 0; round < 3000; ++round) {
    const std::size_t size = next() % 48;
    auto text = std::make_unique<char[]>(size + 1);
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint32_t r = next();
      text[i] = r % 8 == 0 ? static_cast<char>((r >> 8) & 0xFF)
                           : alphabet[(r >> 8) % (sizeof alphabet - 1)];
    }
    text[size] = '\0';
    const char* start = text.get();
    const char* end = start + size;
    for (const char* name : names) {
      const char* value = json_find_key(start, end, name);
      if (value != nullptr) {
        EXPECT_GE(value, start);
        EXPECT_LT(value, end);
      }
      const std::size_t cap = 1 + next() % 6;
      auto out = std::make_unique<char[]>(cap);
      if (json_str_field(start, end, name, out.get(), cap) != 0) {
        EXPECT_LT(std::strlen(out.get()), cap);
      }
      json_bool_field(start, end, name, 0);
      json_num_field(start, end, name);
    }
    const char* cursor = start;
    char step[8];
    if (json_read_string_at(&cursor, step, sizeof step) != 0) {
      EXPECT_GT(cursor, start);
      EXPECT_LE(cursor, end);
    }
  }
}
