#include "runner/tool_runner.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/temp_dir.h"

namespace {

TEST(ShellQuote, WritesOneCompleteWord) {
  const std::string name510(510, 'n');
  const std::string quotes_near_end = std::string(506, 'n') + "'x";
  struct {
    const char* name;
    const char* source;
    std::size_t cap;
    std::string expected;
  } cases[] = {
      {"null source", nullptr, 16, "''"},
      {"empty", "", 16, "''"},
      {"plain", "tool", 16, "'tool'"},
      {"embedded quote", "a'b", 16, "'a'\\''b'"},
      {"space and dollar stay literal", "a b$c", 16, "'a b$c'"},
      {"cut at capacity", "abcdef", 6, "'abc'"},
      {"quote that does not fit ends the copy", "ab'cd", 8, "'ab'"},
      {"quote that just fits", "ab'cd", 9, "'ab'\\'''"},
      {"510 bytes into 512", name510.c_str(), 512, "'" + name510.substr(0, 509) + "'"},
      {"quote near the end is dropped whole", quotes_near_end.c_str(), 512,
       "'" + std::string(506, 'n') + "'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    char out[600];
    std::fill(std::begin(out), std::end(out), '#');
    shell_quote_into(c.source, out, c.cap);
    EXPECT_EQ(std::string(out), c.expected);
    EXPECT_LT(c.expected.size(), c.cap);
  }
}

class RunCapture : public ::testing::Test {
 protected:
  temp_dir dir_{"run_capture"};  // small /bin/sh scripts, removed at the end of the test
};

TEST_F(RunCapture, ClassifiesAndTrimsOutput) {
  struct {
    const char* name;
    const char* body;
    const char* arguments;
    int result;
    const char* captured;  // nullptr: no block was ever obtained
  } cases[] = {
      {"silent", "exit 0", "", run_ran, nullptr},
      {"trailing white space", "printf '{\"a\":1}\\n \\t\\r\\v\\f\\n'", "", run_ran, "{\"a\":1}"},
      {"only white space", "printf ' \\n\\n'", "", run_ran, ""},
      {"leading white space kept", "printf '  x'", "", run_ran, "  x"},
      {"NUL cuts its piece", "printf 'ab\\000cd\\nef\\n'", "", run_ran, "abef"},
      {"standard error discarded", "echo noise >&2; echo '{}'", "", run_ran, "{}"},
      {"tool failure still ran", "echo '{\"ok\":false}'; exit 1", "", run_ran, "{\"ok\":false}"},
      {"arguments unquoted", "echo \"$#:$2\"", "--x 'a b'", run_ran, "2:a b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string program = dir_.write_script("tool", c.body);
    buf capture;
    EXPECT_EQ(run_capture(program.c_str(), c.arguments, capture), c.result);
    if (c.captured == nullptr) {
      EXPECT_EQ(capture.data, nullptr);
    } else {
      ASSERT_NE(capture.data, nullptr);
      EXPECT_EQ(std::string(capture.data, capture.len), c.captured);
      EXPECT_EQ(capture.data[capture.len], '\0');
    }
  }
}

TEST_F(RunCapture, ProgramNameIsOneShellWord) {
  std::string program = dir_.write_script("it's a $tool", "echo ran");
  buf capture;
  EXPECT_EQ(run_capture(program.c_str(), "", capture), run_ran);
  EXPECT_STREQ(capture.text(), "ran");
}

TEST_F(RunCapture, MissingOrEmptyProgram) {
  buf capture;
  EXPECT_EQ(run_capture((dir_.path() + "/absent").c_str(), "--status", capture), run_not_installed);
  EXPECT_EQ(run_capture("lumenhollow-no-such-tool-here", "", capture), run_not_installed);
  EXPECT_EQ(run_capture("", "--status", capture), run_not_run);
  EXPECT_EQ(run_capture(nullptr, "", capture), run_not_run);
  EXPECT_EQ(capture.data, nullptr);
}

TEST_F(RunCapture, LimitDropsThePieceThatCrossesIt) {
  // No line feeds, so every piece is 2047 bytes: 128 full pieces are 262,016 bytes.
  std::string exact = dir_.write_script("exact", "head -c 262144 /dev/zero | tr '\\000' x");
  std::string over = dir_.write_script("over", "head -c 262145 /dev/zero | tr '\\000' x");
  buf whole;
  EXPECT_EQ(run_capture(exact.c_str(), "", whole), run_ran);
  EXPECT_EQ(whole.len, capture_limit_bytes);
  buf cut;
  EXPECT_EQ(run_capture(over.c_str(), "", cut), run_ran);
  EXPECT_EQ(cut.len, 128u * 2047u);
}

}  // namespace
