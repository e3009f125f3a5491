#include <gtest/gtest.h>

#include <string>

#include "../support/scoped_resize.h"
#include "text/buf.h"

namespace {

std::string json_literal(const char* text) {
  buf b;
  EXPECT_EQ(buf_json(b, text), 1);
  return std::string(b.text(), b.len);
}

}  // namespace

TEST(JsonWriter, EscapesTable) {
  struct escape_case {
    const char* text;
    const char* literal;
  };
  const escape_case cases[] = {
      {"", R"("")"},
      {"plain text", R"("plain text")"},
      {"\"", R"("\"")"},
      {"\\", R"("\\")"},
      {"\t\n\r", R"("\t\n\r")"},
      {"\x01", R"("\u0001")"},
      {"\b", R"("\u0008")"},
      {"\f", R"("\u000c")"},
      {"\x0b", R"("\u000b")"},
      {"\x1b", R"("\u001b")"},
      {"\x1f", R"("\u001f")"},
      {"/", R"("/")"},
      {"\x7f", "\"\x7f\""},
      {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
      {"\xff\x80", "\"\xff\x80\""},  // invalid UTF-8 passes as well
      {"a\"b\\c", R"("a\"b\\c")"},
  };
  for (const escape_case& c : cases) {
    SCOPED_TRACE(c.literal);
    EXPECT_EQ(json_literal(c.text), c.literal);
  }
}

TEST(JsonWriter, FailedAppendStopsAndKeepsThePartialLiteral) {
  buf b;
  const std::string filler(1016, '.');
  ASSERT_EQ(buf_adds(b, filler.c_str()), 1);
  scoped_resize failing(refuse_resize);
  // The six-byte escape does not fit the 1024-byte block, though the bytes after it would.
  EXPECT_EQ(buf_json(b, "ab\001cd"), 0);
  EXPECT_EQ(std::string(b.data, b.len), filler + "\"ab");
  EXPECT_EQ(b.cap, 1024u);
}
