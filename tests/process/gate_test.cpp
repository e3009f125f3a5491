// The node password gate: three carriers tried in order, and the fixed 401 refusal.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "harness.h"

namespace {

const reply refused{std::string(expected::refusal), 0};

TEST(Gate, RefusalIsExactly145BytesWithExitZero) {
  sandbox sb;
  sb.set_env("BOT_PASSWORD", "secret");
  reply got = sb.run();
  EXPECT_EQ(got.out.size(), 145u);
  EXPECT_EQ(got, refused);
}

TEST(Gate, CarriersAdmitOnlyTheExactPassword) {
  const std::string x255(255, 'x');
  const std::string x256(256, 'x');
  const std::string x300(300, 'x');
  struct row {
    const char* name;
    std::optional<std::string> password;  // BOT_PASSWORD
    std::optional<std::string> header;    // HTTP_X_BOT_PASSWORD
    std::optional<std::string> auth;      // HTTP_AUTHORIZATION
    std::string pwd_query;                // appended to the query string
    bool admitted;
  };
  const row rows[] = {
      {"no password set", std::nullopt, std::nullopt, std::nullopt, "", true},
      {"empty password set", "", "wrong", "Bearer wrong", "&pwd=wrong", true},
      {"no carrier", "secret", std::nullopt, std::nullopt, "", false},
      {"header", "secret", "secret", std::nullopt, "", true},
      {"header case differs", "secret", "Secret", std::nullopt, "", false},
      {"header with trailing space", "secret", "secret ", std::nullopt, "", false},
      {"header with leading space", "secret", " secret", std::nullopt, "", false},
      {"header present but empty", "secret", "", std::nullopt, "", false},
      {"header prefix only", "secret", "secre", std::nullopt, "", false},
      {"wrong header, right query", "secret", "wrong", std::nullopt, "&pwd=secret", true},
      {"wrong header, right bearer", "secret", "wrong", "Bearer secret", "", true},
      {"wrong bearer, right query", "secret", std::nullopt, "Bearer wrong", "&pwd=secret", true},
      {"bearer", "secret", std::nullopt, "Bearer secret", "", true},
      {"bearer with spaces around the scheme", "secret", std::nullopt, "  bearer    secret", "",
       true},
      {"bearer upper case", "secret", std::nullopt, "BEARER secret", "", true},
      {"bearer mixed case", "secret", std::nullopt, "bEaReR secret", "", true},
      {"bearer after a tab", "secret", std::nullopt, "\tBearer secret", "", false},
      {"bearer with trailing space", "secret", std::nullopt, "Bearer secret ", "", false},
      {"bearer separated by a tab", "secret", std::nullopt, "Bearer\tsecret", "", false},
      {"bearer without separator", "secret", std::nullopt, "Bearersecret", "", false},
      {"bearer token case differs", "secret", std::nullopt, "Bearer Secret", "", false},
      {"bearer without token", "secret", std::nullopt, "Bearer ", "", false},
      {"basic scheme", "secret", std::nullopt, "Basic secret", "", false},
      {"query", "secret", std::nullopt, std::nullopt, "&pwd=secret", true},
      {"query first", "secret", std::nullopt, std::nullopt, "&pwd=secret&x=1", true},
      {"query percent-encoded", "secret", std::nullopt, std::nullopt, "&pwd=secre%74", false},
      {"query with plus", "secret", std::nullopt, std::nullopt, "&pwd=secret+", false},
      {"query empty", "secret", std::nullopt, std::nullopt, "&pwd=", false},
      {"query first pwd segment wins", "secret", std::nullopt, std::nullopt,
       "&pwd=wrong&pwd=secret", false},
      {"bare pwd key is passed over", "secret", std::nullopt, std::nullopt, "&pwd&pwd=secret",
       true},
      {"similar key", "secret", std::nullopt, std::nullopt, "&xpwd=secret", false},
      {"key case differs", "secret", std::nullopt, std::nullopt, "&PWD=secret", false},
      {"query carries raw percent", "p%41ss", std::nullopt, std::nullopt, "&pwd=p%41ss", true},
      {"ampersand cuts the query value", "a&b", std::nullopt, std::nullopt, "&pwd=a&b", false},
      {"ampersand in the header", "a&b", "a&b", std::nullopt, "", true},
      {"space inside, bearer", "se cret", std::nullopt, "Bearer se cret", "", true},
      {"leading space is lost after the scheme", " lead", std::nullopt, "Bearer  lead", "", false},
      {"leading space in the header", " lead", " lead", std::nullopt, "", true},
      {"255 bytes through the query", x255, std::nullopt, std::nullopt, "&pwd=" + x255, true},
      {"query value cut to 255 bytes", x255, std::nullopt, std::nullopt, "&pwd=" + x300, true},
      {"256 bytes cannot pass the query", x256, std::nullopt, std::nullopt, "&pwd=" + x256, false},
      {"300 bytes cannot pass the query", x300, std::nullopt, std::nullopt, "&pwd=" + x300, false},
      {"300 bytes through the header", x300, x300, std::nullopt, "", true},
      {"300 bytes through the bearer", x300, std::nullopt, "Bearer " + x300, "", true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    if (r.password) sb.set_env("BOT_PASSWORD", *r.password);
    if (r.header) sb.set_env("HTTP_X_BOT_PASSWORD", *r.header);
    if (r.auth) sb.set_env("HTTP_AUTHORIZATION", *r.auth);
    reply got = sb.request("action=nosuch" + r.pwd_query);
    EXPECT_EQ(got, r.admitted ? expected::error_reply("404 Not Found", "unknown_action", "nosuch")
                              : refused);
  }
}

TEST(Gate, RefusalGuardsThePageAndEveryActionBeforeAnyToolRuns) {
  const std::optional<std::string> queries[] = {std::nullopt,
                                                "",
                                                "format=json",
                                                "action=status",
                                                "action=start",
                                                "action=cancel",
                                                "action=finish&code=abc",
                                                "action=refresh",
                                                "action=nosuch"};
  for (const auto& q : queries) {
    SCOPED_TRACE(q ? "QUERY_STRING=" + *q : "QUERY_STRING unset");
    sandbox sb;
    sb.set_env("BOT_PASSWORD", "secret");
    sb.set_env("HTTP_X_BOT_PASSWORD", "wrong");
    sb.login_cli().otherwise("{\"ok\":true,\"auth_url\":\"https://a\"}");
    sb.token_cli().otherwise("{\"ok\":true}");
    if (q) sb.set_env("QUERY_STRING", *q);
    EXPECT_EQ(sb.run({}, "{\"code\":\"abc\"}"), refused);
    EXPECT_FALSE(sb.login_cli().ran());
    EXPECT_FALSE(sb.token_cli().ran());
  }
}

TEST(Gate, AdmittedPageIsServed) {
  sandbox sb;
  sb.set_env("BOT_PASSWORD", "secret");
  reply got = sb.request("pwd=secret&node=n1");
  EXPECT_TRUE(got.out.starts_with(expected::html_first_line)) << printable(got.out.substr(0, 200));
  EXPECT_EQ(got.exit_code, 0);
}

}  // namespace
