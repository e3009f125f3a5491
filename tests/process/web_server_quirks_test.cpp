// What some web servers do to a CGI program that the program must undo: arguments taken from the
// query, and the child-exit signal ignored.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

TEST(WebServerQuirks, QueryWordsPassedAsArgumentsNeverReachTheSwitches) {
  struct row {
    const char* name;
    std::optional<std::string> gateway;  // GATEWAY_INTERFACE, nullopt: unset
    std::string query;
    std::vector<std::string> args;
    std::string_view out;
  };
  // A node password is set and no carrier is given: a request that went through the gate is
  // refused, a switch answers without it.
  const row rows[] = {
      {"?--version over CGI", "CGI/1.1", "--version", {"--version"}, expected::refusal},
      {"?-v over CGI", "CGI/1.1", "-v", {"-v"}, expected::refusal},
      {"?--meta over CGI", "CGI/1.1", "--meta", {"--meta"}, expected::refusal},
      {"?--meta+x over CGI", "CGI/1.1", "--meta+x", {"--meta", "x"}, expected::refusal},
      {"hub, CGI variables left over, empty query",
       "CGI/1.1",
       "",
       {"--meta"},
       expected::discovery_line},
      {"hub, query with a key", "CGI/1.1", "a=--meta", {"--meta"}, expected::discovery_line},
      {"hub, no CGI", std::nullopt, "--version", {"--version"}, expected::version_line},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.set_env("BOT_PASSWORD", "secret").set_env("QUERY_STRING", r.query);
    if (r.gateway) sb.set_env("GATEWAY_INTERFACE", *r.gateway);
    EXPECT_EQ(sb.run(r.args), (reply{std::string(r.out), 0}));
  }
}

TEST(WebServerQuirks, MissingLoginCliIsReportedWithTheChildSignalIgnored) {
  sandbox sb;
  sb.missing_login_cli();
  sb.ignore_child_signal();
  EXPECT_EQ(sb.request("action=start"),
            expected::tool_error("cli_unavailable", expected::login_cli_missing_detail));
}

}  // namespace
