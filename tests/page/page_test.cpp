#include "page/page.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "page/page_data.h"

namespace {

class Page : public testing::Test {
 protected:
  void SetUp() override {
    for (std::string_view part : page_body().part) out.append(part);
    body = out;
  }
  std::string out;
  std::string_view body;
  std::string_view head{theme_head, theme_head_len};
  std::string_view bridge{theme_bridge, theme_bridge_len};
};

TEST_F(Page, StartsWithTheDocumentType) {
  EXPECT_TRUE(body.starts_with("<!DOCTYPE html>"));
}

TEST_F(Page, WritesNoMarkerByte) {
  EXPECT_EQ(body.find_first_of(std::string_view("\x00\x01\x02", 3)), std::string_view::npos);
}

TEST_F(Page, ThemeHeadStandsOnceRightAfterTheTitleLine) {
  constexpr std::string_view title_line = "<title>google</title>\n";
  const std::size_t title = body.find(title_line);
  ASSERT_NE(title, std::string_view::npos);
  const std::size_t at = body.find(head);
  EXPECT_EQ(at, title + title_line.size());
  EXPECT_EQ(body.find(head, at + 1), std::string_view::npos);
  // The page's own stylesheet follows on the next line, so its rules win over the shell's.
  EXPECT_TRUE(body.substr(at + head.size()).starts_with("\n<style>"));
}

TEST_F(Page, ThemeBridgeStandsOnceRightBeforeTheDocumentEnd) {
  constexpr std::string_view tail = "</body></html>\n";
  ASSERT_TRUE(body.ends_with(tail));
  const std::size_t at = body.find(bridge);
  EXPECT_EQ(at, body.size() - tail.size() - bridge.size());
  EXPECT_EQ(body.find(bridge, at + 1), std::string_view::npos);
  // It runs after the page's script.
  EXPECT_TRUE(body.substr(0, at).ends_with("</script>\n"));
}

TEST_F(Page, BodyIsTheTemplateWithBothMarkersExpanded) {
  std::string expected;
  for (const char* p = page_template; *p != '\0'; ++p) {
    if (*p == '\x01') {
      expected.append(head);
    } else if (*p == '\x02') {
      expected.append(bridge);
    } else {
      expected.push_back(*p);
    }
  }
  EXPECT_EQ(body, expected);
}

// These three texts are kept broken across two source lines with this indent; a formatter
// reflowing console.html would lose that.
TEST_F(Page, BrokenTextsKeepTheirLineBreakAndIndent) {
  constexpr std::string_view texts[] = {
      "Nothing leaves this node: the login CLI performs the\n"
      "      exchange and writes the credential file here.",
      "No token is\n"
      "        created until you paste the code back.",
      "After approving, the browser lands on localhost. Copy the\n"
      "        whole address (or just the ",
  };
  for (std::string_view text : texts) {
    EXPECT_NE(body.find(text), std::string_view::npos) << text;
  }
}

}  // namespace
