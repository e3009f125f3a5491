// Token refresh: the fresh status with the token CLI's project, the failure document, and a token
// CLI that cannot run.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

reply refresh_failed(std::string_view detail) {
  return expected::json_reply(
      "{\"ok\":false,\"error\":\"refresh_failed\",\"detail\":\"" + std::string(detail) + "\"}", 1);
}

TEST(Refresh, SuccessIsTheFreshStatusWithTheToolsProject) {
  sandbox sb;
  sb.token_cli().on("-local", "refreshing\n{\"ok\":true,\"project_id\":\"proj-7\"}\n", 1);
  sb.login_cli().on(
      "--status",
      "{\"has_refresh\":true,\"identity\":\"r@example.com\",\"expires_at\":99999999999}");
  sb.write_env_file("GOOGLE_PROJECT_ID=p-1\n");
  expected::status s = expected::signed_in(sb, "r@example.com");
  s.cli_present = true;
  s.project_id = "proj-7";
  s.profile = "lumenhollow";
  s.expires_at = 99999999999;
  s.expires_in_sec = 2147483647;
  EXPECT_EQ(sb.request("action=refresh"), expected::refreshed_reply(s));
  EXPECT_EQ(sb.token_cli().calls(), (calls{{"-local"}}));
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--status"}}));
}

TEST(Refresh, ProjectFromTheToolOnlyWhenNotEmpty) {
  struct row {
    const char* name;
    std::string tool_output;
    std::string project_id;  // as written in the document
  };
  const row rows[] = {
      {"no project member", R"({"ok":true})", "p-1"},
      {"empty project", R"({"ok":true,"project_id":""})", "p-1"},
      {"null project", R"({"ok":true,"project_id":null})", "p-1"},
      {"project given", R"({"ok":true,"project_id":"proj-7"})", "proj-7"},
      {"numeric project", R"({"ok":true,"project_id":1234})", "1234"},
      {"bare value runs to the brace", "{\"ok\":true,\"project_id\":p 1\n}", "p 1"},
      {"escaped project", R"({"ok":true,"project_id":"p\"q\\r"})", "p\\\"q\\\\r"},
      {"project cut at 255 bytes", "{\"ok\":true,\"project_id\":\"" + std::string(300, 'p') + "\"}",
       std::string(255, 'p')},
      {"error member ignored on success", R"({"ok":true,"error":"stale","project_id":"x"})", "x"},
      {"ok spelled 1", R"({"ok":1})", "p-1"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.token_cli().on("-local", r.tool_output);
    sb.missing_login_cli();  // the fresh status still succeeds, without the login CLI
    sb.write_env_file("GOOGLE_PROJECT_ID=p-1\n");
    expected::status s = expected::nothing(sb);
    s.project_id = r.project_id;
    s.profile = "lumenhollow";
    EXPECT_EQ(sb.request("action=refresh"), expected::refreshed_reply(s));
  }
}

TEST(Refresh, FailureDocumentCarriesTheToolsErrorAsDetail) {
  const std::string fallback(expected::refresh_default_detail);
  struct row {
    const char* name;
    std::string tool_output;
    int exit_code;
    std::string detail;  // as written in the document
  };
  const row rows[] = {
      {"tool error", R"({"ok":false,"error":"invalid_grant"})", 1, "invalid_grant"},
      {"not ok without error", R"({"ok":false})", 0, fallback},
      {"no ok member", R"({"project_id":"p"})", 0, fallback},
      {"ok spelled yes", R"({"ok":"yes","error":"e1"})", 0, "e1"},
      {"empty error", R"({"ok":false,"error":""})", 0, fallback},
      {"null error", R"({"ok":false,"error":null})", 0, fallback},
      {"numeric error", R"({"ok":false,"error":7})", 0, "7"},
      {"escaped error", "{\"ok\":false,\"error\":\"a\\\"b\\nc\"}", 0, "a\\\"b\\nc"},
      {"error cut at 511 bytes", "{\"ok\":false,\"error\":\"" + std::string(600, 'e') + "\"}", 0,
       std::string(511, 'e')},
      {"last JSON line decides", "{\"ok\":true}\n{\"error\":\"later\"}\n", 0, "later"},
      {"text only", "token endpoint unreachable\n", 2, fallback},
      {"nothing", "", 0, fallback},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.token_cli().on("-local", r.tool_output, r.exit_code);
    sb.login_cli().on("--status", "{\"has_refresh\":true}");
    EXPECT_EQ(sb.request("action=refresh"), refresh_failed(r.detail));
    EXPECT_FALSE(sb.login_cli().ran());  // no fresh status after a failure
  }
}

TEST(Refresh, TokenCliThatCannotRun) {
  const reply unavailable =
      expected::tool_error("cli_unavailable", expected::token_cli_missing_detail);
  const std::function<void(sandbox&)> setups[] = {
      [](sandbox& sb) { sb.missing_token_cli(); },
      [](sandbox& sb) { sb.unset_env("LUMENHOLLOW_TOKEN_BIN"); },
      [](sandbox& sb) { sb.set_env("LUMENHOLLOW_TOKEN_BIN", ""); },
      [](sandbox& sb) { sb.token_cli().on("-local", "{\"ok\":true}", 127); },
  };
  for (std::size_t i = 0; i < std::size(setups); ++i) {
    SCOPED_TRACE("setup " + std::to_string(i));
    sandbox sb;
    sb.login_cli().on("--status", "{\"has_refresh\":true}");
    setups[i](sb);
    EXPECT_EQ(sb.request("action=refresh"), unavailable);
    EXPECT_FALSE(sb.login_cli().ran());
  }
}

TEST(Refresh, EmptyTokenVariableUsesTheDefaultNameOnThePath) {
  sandbox sb;
  fake_tool& cli = sb.tool_named("veltrane-google-fetchtoken");
  cli.on("-local", R"({"ok":true,"project_id":"from-path"})");
  sb.set_env("PATH", sb.root() + "/bin:/usr/bin:/bin");
  sb.set_env("LUMENHOLLOW_TOKEN_BIN", "");
  sb.missing_login_cli();
  expected::status s = expected::nothing(sb);
  s.project_id = "from-path";
  EXPECT_EQ(sb.request("action=refresh"), expected::refreshed_reply(s));
  EXPECT_EQ(cli.calls(), (calls{{"-local"}}));
}

}  // namespace
