#include "cgi/query.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct query_case {
  const char* query;  // nullptr: QUERY_STRING unset
  const char* key;
  int has;
  int found;
  std::string value;
};

TEST(QueryString, AccessorsReadRawSegments) {
  const std::string long_value(100, 'v');
  const std::string long_query = "action=" + long_value;
  const query_case cases[] = {
      {nullptr, "action", 0, 0, ""},
      {"", "action", 0, 0, ""},
      {"action", "action", 1, 0, ""},
      {"action=", "action", 1, 1, ""},
      {"actions=1", "action", 0, 0, ""},
      {"xaction=1", "action", 0, 0, ""},
      {"Action=1", "action", 0, 0, ""},
      {"action=&action=start", "action", 1, 1, ""},
      {"action&action=start", "action", 1, 1, "start"},
      {"a=1&&action=x", "action", 1, 1, "x"},
      {"a=1&", "action", 0, 0, ""},
      {"a=1&action;b=2", "action", 0, 0, ""},
      {"a=1;action=x", "action", 0, 0, ""},
      {"code=4%2F0Ab+c=d", "code", 1, 1, "4%2F0Ab+c=d"},
      {"node=a&id=b", "action", 0, 0, ""},
      {"format", "format", 1, 0, ""},
      {"x=1&format&y=2", "format", 1, 0, ""},
      {"action=st%61tus", "action", 1, 1, "st%61tus"},
      {long_query.c_str(), "action", 1, 1, long_value.substr(0, 63)},
  };
  for (const query_case& c : cases) {
    SCOPED_TRACE(c.query != nullptr ? c.query : "(unset)");
    EXPECT_EQ(query_has(c.query, c.key), c.has);
    fixed_text<64> out;
    out.assign("stale");
    EXPECT_EQ(get_query_val(c.query, c.key, out), c.found);
    EXPECT_EQ(out.view(), c.value);
  }
}

TEST(QueryString, ValueIsCutToCapacityLessOne) {
  const std::string pwd(300, 'p');
  const std::string query = "pwd=" + pwd + "&x=1";
  char out[256];
  EXPECT_EQ(get_query_val(query.c_str(), "pwd", out, sizeof out), 1);
  EXPECT_EQ(std::string(out), pwd.substr(0, 255));
}

}  // namespace
