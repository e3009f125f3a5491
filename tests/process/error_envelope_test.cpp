// Every error envelope the program sends: status line, header lines, body bytes and exit status.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "harness.h"

namespace {

using expected::error_reply;
using expected::tool_error;

TEST(ErrorEnvelope, EveryRowOfTheErrorTable) {
  struct row {
    const char* name;
    std::function<void(sandbox&)> setup;
    std::string query;
    reply want;
  };
  const row rows[] = {
      {"unknown action", [](sandbox&) {}, "action=nosuch",
       error_reply("404 Not Found", "unknown_action", "nosuch")},
      {"finish without code", [](sandbox&) {}, "action=finish",
       error_reply("400 Bad Request", "missing_code", expected::missing_code_detail)},
      {"finish with a shell character", [](sandbox&) {}, "action=finish&code=%24",
       error_reply("400 Bad Request", "invalid_code", expected::invalid_code_detail)},
      {"start without login CLI", [](sandbox& sb) { sb.missing_login_cli(); }, "action=start",
       tool_error("cli_unavailable", expected::login_cli_missing_detail)},
      {"finish without login CLI", [](sandbox& sb) { sb.missing_login_cli(); },
       "action=finish&code=abc", tool_error("cli_unavailable", expected::login_cli_missing_detail)},
      {"refresh without token CLI", [](sandbox& sb) { sb.missing_token_cli(); }, "action=refresh",
       tool_error("cli_unavailable", expected::token_cli_missing_detail)},
      {"start, no JSON line",
       [](sandbox& sb) { sb.login_cli().on("--start", "opening browser...\nnot json {\n"); },
       "action=start", tool_error("start_failed")},
      {"start, tool error",
       [](sandbox& sb) { sb.login_cli().on("--start", "{\"ok\":false,\"error\":\"busy\"}\n"); },
       "action=start", tool_error("busy", expected::no_auth_url_detail)},
      {"start, no address", [](sandbox& sb) { sb.login_cli().on("--start", "{\"ok\":true}\n"); },
       "action=start", tool_error("start_failed", expected::no_auth_url_detail)},
      {"finish, no JSON line",
       [](sandbox& sb) { sb.login_cli().on("--finish", "exchanging code\n"); },
       "action=finish&code=abc", tool_error("finish_failed", expected::finish_no_json_detail)},
      {"finish, tool error",
       [](sandbox& sb) {
         sb.login_cli().on("--finish", "{\"ok\":false,\"error\":\"invalid_grant\"}\n");
       },
       "action=finish&code=abc", tool_error("invalid_grant", expected::finish_rejected_detail)},
      {"finish, not ok without error",
       [](sandbox& sb) { sb.login_cli().on("--finish", "{\"ok\":false}\n"); },
       "action=finish&code=abc", tool_error("finish_failed", expected::finish_rejected_detail)},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    r.setup(sb);
    EXPECT_EQ(sb.request(r.query), r.want);
  }
}

TEST(ErrorEnvelope, ToolErrorTextIsEscapedAsTheErrorCode) {
  sandbox sb;
  // The tool's escapes are decoded first, then written again by the program's own string writer.
  sb.login_cli().on("--start", "{\"ok\":false,\"error\":\"a\\\"b\\\\c\\u0001\\/d\\u00e9\"}\n");
  EXPECT_EQ(sb.request("action=start"),
            tool_error("a\\\"b\\\\c\\u0001/d\xE9", expected::no_auth_url_detail));
}

}  // namespace
