// The account actions: the JSON POST rule of logout and select, their way to the login CLI and
// back as the fresh status, and the account list written anew from the tool's answer.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "harness.h"

namespace {

constexpr std::string_view logout_failed = "the login CLI could not sign the account out";
constexpr std::string_view select_failed = "the login CLI could not switch to that account";
constexpr std::string_view accounts_failed = "the login CLI could not list the accounts";

// A request as the web server passes it; an empty method or type leaves the variable unset.
reply send(sandbox& sb, const std::string& query, const std::string& method,
           const std::string& content_type, const std::string& body) {
  if (!method.empty()) sb.set_env("REQUEST_METHOD", method);
  if (!content_type.empty()) sb.set_env("CONTENT_TYPE", content_type);
  if (!body.empty()) sb.set_env("CONTENT_LENGTH", std::to_string(body.size()));
  return sb.request(query, body);
}

reply post_json(sandbox& sb, const std::string& query, const std::string& body) {
  return send(sb, query, "POST", "application/json", body);
}

reply method_refused(std::string_view named) {
  return reply{
      "Status: 405 Method Not Allowed\r\nAllow: POST\r\n" + std::string(expected::json_head) +
          "{\"ok\":false,\"error\":\"method_not_allowed\",\"detail\":\"" + std::string(named) +
          " is not allowed here; this action changes the node and needs POST with "
          "Content-Type: application/json\"}\n",
      1};
}

const reply media_refused =
    expected::error_reply("415 Unsupported Media Type", "unsupported_media_type",
                          "send the body as Content-Type: application/json");
const reply body_refused =
    expected::error_reply("400 Bad Request", "invalid_body",
                          "the body must be a JSON object: {} or {\\\"email\\\":\\\"...\\\"}");
const reply email_refused =
    expected::error_reply("400 Bad Request", "invalid_email",
                          "the email member must be an e-mail address of printable characters");

// The status after the change, as the login CLI's --status reports it in these tests.
expected::status remaining(const sandbox& sb) {
  expected::status s = expected::signed_in(sb, "b@example.com");
  s.cli_present = true;
  return s;
}
constexpr char status_of_remaining[] = R"({"identity":"b@example.com","has_refresh":true})";

TEST(AccountChange, OnlyAJsonPostReachesTheTool) {
  struct row {
    const char* name;
    std::string method;
    std::string content_type;
    std::string body;
    reply want;
  };
  const std::string email_body = R"({"email":"a@example.com"})";
  const row rows[] = {
      {"GET", "GET", "", "", method_refused("GET")},
      {"GET with a JSON body", "GET", "application/json", email_body, method_refused("GET")},
      {"method in lower case", "post", "application/json", email_body, method_refused("post")},
      {"no method", "", "application/json", email_body,
       method_refused("A request without a method")},
      {"method named with a quote", "PO\"ST", "", "", method_refused("PO\\\"ST")},
      {"form post", "POST", "application/x-www-form-urlencoded", "email=a%40example.com",
       media_refused},
      {"multipart post", "POST", "multipart/form-data; boundary=x", email_body, media_refused},
      {"text post", "POST", "text/plain", email_body, media_refused},
      {"no content type", "POST", "", email_body, media_refused},
      {"longer media type", "POST", "application/jsonp", email_body, media_refused},
      {"no body", "POST", "application/json", "", body_refused},
      {"form body as JSON", "POST", "application/json", "email=a@example.com", body_refused},
      {"array body", "POST", "application/json", R"(["a@example.com"])", body_refused},
      {"number as email", "POST", "application/json", R"({"email":5})", email_refused},
      {"no @", "POST", "application/json", R"({"email":"example.com"})", email_refused},
      {"leading dash", "POST", "application/json", R"({"email":"--list@x"})", email_refused},
      {"space", "POST", "application/json", R"({"email":"a b@example.com"})", email_refused},
      {"escape", "POST", "application/json", R"({"email":"a\u0000@example.com"})", email_refused},
      {"control byte", "POST", "application/json", "{\"email\":\"a\x01@example.com\"}",
       email_refused},
      {"over 320 bytes", "POST", "application/json",
       "{\"email\":\"" + std::string(310, 'a') + "@example.com\"}", email_refused},
  };
  for (const char* action : {"logout", "select"}) {
    for (const row& r : rows) {
      SCOPED_TRACE(std::string(action) + ": " + r.name);
      sandbox sb;
      sb.login_cli().otherwise(R"({"ok":true})");
      EXPECT_EQ(send(sb, std::string("action=") + action, r.method, r.content_type, r.body),
                r.want);
      EXPECT_FALSE(sb.login_cli().ran());
    }
  }
}

TEST(AccountChange, JsonPostsThatAreAdmitted) {
  struct row {
    const char* content_type;
    std::string body;
    calls want;
  };
  const row rows[] = {
      {"application/json", "{}", {{"--logout"}, {"--status"}}},
      {"application/json", R"({"email":null})", {{"--logout"}, {"--status"}}},
      {"Application/JSON; charset=utf-8",
       " {\"email\": \"a@example.com\"}\n",
       {{"--logout", "a@example.com"}, {"--status"}}},
      {"application/json;charset=UTF-8",
       R"({"other":{"email":"x@y"},"email":"é@ü.example"})",
       {{"--logout", "\xC3\xA9@\xC3\xBC.example"}, {"--status"}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.content_type + (": " + r.body));
    sandbox sb;
    sb.login_cli()
        .on("--logout", "revoking\n{\"ok\":true,\"email\":\"a@example.com\",\"revoked\":true}\n")
        .on("--status", status_of_remaining);
    EXPECT_EQ(send(sb, "action=logout", "POST", r.content_type, r.body),
              expected::json_reply("{\"ok\":true,\"state\":\"signed_out\",\"revoked\":true," +
                                   expected::status_members(remaining(sb)) + "}"));
    EXPECT_EQ(sb.login_cli().calls(), r.want);
  }
}

TEST(AccountChange, LogoutSaysWhenTheRevocationWasNotConfirmed) {
  sandbox sb;
  sb.login_cli()
      .on("--logout", R"({"ok":true,"email":"a@example.com","revoked":false,"selected":""})")
      .on("--status", "{}");
  expected::status s = expected::nothing(sb);
  s.cli_present = true;
  EXPECT_EQ(post_json(sb, "action=logout", "{}"),
            expected::json_reply("{\"ok\":true,\"state\":\"signed_out\",\"revoked\":false," +
                                 expected::status_members(s) + "}"));
}

TEST(AccountChange, SelectSwitchesAndAnswersWithTheFreshStatus) {
  sandbox sb;
  sb.login_cli()
      .on("--select", R"({"ok":true,"selected":"b@example.com"})")
      .on("--status", status_of_remaining);
  EXPECT_EQ(post_json(sb, "action=select", R"({"email":"b@example.com"})"),
            expected::json_reply("{\"ok\":true,\"state\":\"selected\"," +
                                 expected::status_members(remaining(sb)) + "}"));
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--select", "b@example.com"}, {"--status"}}));

  sandbox none;
  none.login_cli().otherwise(R"({"ok":true})");
  EXPECT_EQ(post_json(none, "action=select", "{}"),
            expected::error_reply("400 Bad Request", "missing_email",
                                  "name the account to switch to as {\\\"email\\\":\\\"...\\\"}"));
  EXPECT_FALSE(none.login_cli().ran());
}

TEST(AccountChange, ToolFailuresTravelAsToolErrors) {
  // Output and exit code of the tool, and the error code in the envelope (empty: the action's own).
  const std::tuple<std::string, int, std::string> rows[] = {
      {R"({"ok":false,"error":"unknown_account"})", 1, "unknown_account"},
      {R"({"ok":false,"error":"no such \"account\""})", 1, ""},  // not a code: not passed on
      {"crashed\n", 2, ""},
      {R"({"selected":"b@example.com"})", 0, ""},
  };
  const std::tuple<const char*, const char*, std::string_view> actions[] = {
      {"logout", "logout_failed", logout_failed}, {"select", "select_failed", select_failed}};
  for (const auto& [action, own_code, detail] : actions) {
    for (const auto& [output, exit_code, code] : rows) {
      SCOPED_TRACE(std::string(action) + ": " + output);
      sandbox sb;
      sb.login_cli().otherwise(output, exit_code);
      EXPECT_EQ(post_json(sb, std::string("action=") + action, R"({"email":"a@example.com"})"),
                expected::tool_error(code.empty() ? own_code : code, detail));
      EXPECT_EQ(sb.login_cli().calls().size(), 1u);  // no status afterwards
    }
    sandbox missing;
    missing.missing_login_cli();
    EXPECT_EQ(post_json(missing, std::string("action=") + action, R"({"email":"a@example.com"})"),
              expected::tool_error("cli_unavailable", expected::login_cli_missing_detail));
  }
}

TEST(Accounts, ListIsWrittenAnewFromTheToolsAnswer) {
  sandbox sb;
  sb.login_cli().on(
      "--list",
      "{\"ok\":true,\"selected\":\"b@example.com\",\"accounts\":["
      "{\"email\":\"a@example.com\",\"has_refresh\":true,\"expires_at\":1700000000,"
      "\"scope\":\"openid \\\"x\\\"\",\"refresh_token\":\"never-shown\"},\n"
      " {\"scope\":\"s\",\"email\":\"b@example.com\",\"extra\":[1,{\"email\":\"c@x\"}]}]}\n");
  EXPECT_EQ(sb.request("action=accounts"),
            expected::json_reply(
                "{\"ok\":true,\"selected\":\"b@example.com\",\"accounts\":["
                "{\"email\":\"a@example.com\",\"has_refresh\":true,\"expires_at\":1700000000,"
                "\"scope\":\"openid \\\"x\\\"\"},"
                "{\"email\":\"b@example.com\",\"has_refresh\":false,\"expires_at\":0,"
                "\"scope\":\"s\"}]}"));
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--list"}}));

  sandbox empty;
  empty.login_cli().on("--list", R"({"ok":true,"selected":"","accounts":[]})");
  EXPECT_EQ(empty.request("action=accounts"),
            expected::json_reply("{\"ok\":true,\"selected\":\"\",\"accounts\":[]}"));
}

TEST(Accounts, AnswersOutOfFormAreRefused) {
  const char* const outputs[] = {
      R"({"ok":true,"selected":""})",
      R"({"ok":true,"accounts":{}})",
      R"({"ok":true,"accounts":["a@example.com"]})",
      "{\"ok\":true,\"accounts\":[{\"email\":\"a\\n@x\"}]}",
      R"({"ok":true,"selected":"-x","accounts":[]})",
      R"({"ok":true,"accounts":[{"email":"a@example.com"})",
  };
  for (const char* output : outputs) {
    SCOPED_TRACE(output);
    sandbox sb;
    sb.login_cli().on("--list", output);
    EXPECT_EQ(
        sb.request("action=accounts"),
        expected::tool_error("accounts_failed", "the login CLI's account list is not in its form"));
  }
  sandbox failing;
  failing.login_cli().on("--list", R"({"ok":false,"error":"accounts_broken"})", 1);
  EXPECT_EQ(failing.request("action=accounts"),
            expected::tool_error("accounts_broken", accounts_failed));
}

}  // namespace
