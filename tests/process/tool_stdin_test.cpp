// A request body that no action reads must not reach the tools: they get an empty standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "harness.h"

namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct stdin_case {
  const char* query;
  const char* tool_variable;
};

TEST(ToolStdin, RequestBodyNeverReachesATool) {
  const stdin_case cases[] = {
      {"action=status", "LUMENHOLLOW_LOGIN_BIN"},
      {"action=start", "LUMENHOLLOW_LOGIN_BIN"},
      {"action=cancel", "LUMENHOLLOW_LOGIN_BIN"},
      {"action=refresh", "LUMENHOLLOW_TOKEN_BIN"},
      {"action=finish&code=abc", "LUMENHOLLOW_LOGIN_BIN"},
  };
  for (const stdin_case& c : cases) {
    SCOPED_TRACE(c.query);
    sandbox box;
    const std::string seen = box.root() + "/stdin-seen";
    const std::string tool = box.write_file(
        "bin/reads-stdin", "#!/bin/sh\ncat > '" + seen + "'\necho '{\"ok\":false}'\n");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    const std::string body = "{\"code\":\"from-the-body\"} and more";
    box.set_env(c.tool_variable, tool);
    box.set_env("CONTENT_LENGTH", std::to_string(body.size()));
    box.request(c.query, body);
    EXPECT_EQ(read_all(seen), "");
  }
}

}  // namespace
