#include "runner/tool_runner.h"

#include <gtest/gtest.h>

#include <string>

#include "../support/temp_dir.h"

namespace {

class RunCapture : public ::testing::Test {
 protected:
  temp_dir dir_{"run_capture"};  // small /bin/sh scripts, removed at the end of the test
};

TEST_F(RunCapture, ClassifiesAndTrimsOutput) {
  struct {
    const char* name;
    const char* body;
    std::initializer_list<const char*> arguments;
    int result;
    const char* captured;  // nullptr: no block was ever obtained
  } cases[] = {
      {"silent", "exit 0", {}, run_ran, nullptr},
      {"trailing white space", "printf '{\"a\":1}\\n \\t\\r\\v\\f\\n'", {}, run_ran, "{\"a\":1}"},
      {"only white space", "printf ' \\n\\n'", {}, run_ran, ""},
      {"leading white space kept", "printf '  x'", {}, run_ran, "  x"},
      {"NUL cuts its piece", "printf 'ab\\000cd\\nef\\n'", {}, run_ran, "abef"},
      {"standard error discarded", "echo noise >&2; echo '{}'", {}, run_ran, "{}"},
      {"tool failure still ran", "echo '{\"ok\":false}'; exit 1", {}, run_ran, "{\"ok\":false}"},
      {"exit code 127 reads as not installed", "echo '{}'; exit 127", {}, run_not_installed, "{}"},
      {"arguments are words", "echo \"$#:$2\"", {"--x", "a b'$c"}, run_ran, "2:a b'$c"},
      {"standard input is empty", "wc -c", {}, run_ran, "0"},
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

TEST_F(RunCapture, ProgramNameIsOneWord) {
  std::string program = dir_.write_script("it's a $tool", "echo ran");
  buf capture;
  EXPECT_EQ(run_capture(program.c_str(), {}, capture), run_ran);
  EXPECT_STREQ(capture.text(), "ran");
}

TEST_F(RunCapture, MissingOrEmptyProgram) {
  buf capture;
  EXPECT_EQ(run_capture((dir_.path() + "/absent").c_str(), {"--status"}, capture),
            run_not_installed);
  EXPECT_EQ(run_capture("lumenhollow-no-such-tool-here", {}, capture), run_not_installed);
  EXPECT_EQ(run_capture("", {"--status"}, capture), run_not_run);
  EXPECT_EQ(run_capture(nullptr, {}, capture), run_not_run);
  EXPECT_EQ(capture.data, nullptr);
}

TEST_F(RunCapture, LimitDropsThePieceThatCrossesIt) {
  // No line feeds, so every piece is 2047 bytes: 128 full pieces are 262,016 bytes.
  std::string exact = dir_.write_script("exact", "head -c 262144 /dev/zero | tr '\\000' x");
  std::string over = dir_.write_script("over", "head -c 262145 /dev/zero | tr '\\000' x");
  buf whole;
  EXPECT_EQ(run_capture(exact.c_str(), {}, whole), run_ran);
  EXPECT_EQ(whole.len, capture_limit_bytes);
  buf cut;
  EXPECT_EQ(run_capture(over.c_str(), {}, cut), run_ran);
  EXPECT_EQ(cut.len, 128u * 2047u);
}

}  // namespace
