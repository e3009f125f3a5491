// Requests at and past the limits a web server can hand over: the longest query string, lying or
// absurd CONTENT_LENGTH values, bodies with NUL bytes, and 100 KiB environment variables. Each
// case states the exact answer; the harness also fails any run that writes to standard error,
// which is where a sanitizer would report.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "hostile.h"

namespace {

constexpr std::size_t env_100k = 100 * 1024;
const std::size_t query_max = hostile::longest_value("QUERY_STRING");

std::string pad_to(std::string head, std::size_t size, char fill) {
  head.resize(size, fill);
  return head;
}

bool is_page(const reply& r) {
  return r.exit_code == 0 && r.out.starts_with(expected::html_first_line);
}

TEST(HostileRequest, LongestQueryString) {
  struct row {
    const char* name;
    std::string query;
    std::function<reply(const sandbox&)> answer;
    std::optional<calls> finish_calls;  // what the login CLI must have received
  };
  const std::string long_action = pad_to("action=", query_max, 'a');
  const row rows[] = {
      {"unknown action: detail cut to 63 bytes", long_action,
       [](const sandbox&) {
         return expected::error_reply("404 Not Found", "unknown_action", std::string(63, 'a'));
       },
       std::nullopt},
      {"code cut to 2047 bytes before it reaches the CLI",
       pad_to("action=finish&code=", query_max, 'b'),
       [](const sandbox&) { return hostile::stopped; },
       calls{{"--finish", std::string(2047, 'b')}}},
      {"status behind a long tail of empty segments", pad_to("action=status", query_max, '&'),
       [](const sandbox& sb) { return expected::status_reply(expected::nothing(sb)); },
       std::nullopt},
      {"an escape split by the 2047-byte cut stays as it is",
       pad_to(pad_to("action=finish&code=", 19 + 2045, 'c') + "%41", query_max, 'z'),
       [](const sandbox&) { return hostile::stopped; },
       calls{{"--finish", std::string(2045, 'c') + "%4"}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_EQ(r.query.size(), query_max);
    sandbox sb;
    if (r.finish_calls)
      sb.login_cli().on("--finish", hostile::refusing_finish);
    else
      sb.missing_login_cli();
    EXPECT_EQ(sb.request(r.query), r.answer(sb));
    if (r.finish_calls) {
      EXPECT_EQ(sb.login_cli().calls(), *r.finish_calls);
    }
  }

  sandbox page;
  EXPECT_TRUE(is_page(page.request(pad_to("node=", query_max, 'n'))));
}

TEST(HostileRequest, LongestQueryStringAgainstTheNodePassword) {
  // The pwd value is cut to 255 bytes before it is compared.
  const std::string query = pad_to("action=status&pwd=", query_max, 'p');
  struct row {
    const char* name;
    std::string password;
    bool admitted;
  };
  const row rows[] = {
      {"password equal to the cut value", std::string(255, 'p'), true},
      {"password one byte longer can never match through pwd", std::string(256, 'p'), false},
      {"password as long as the whole value", std::string(query_max - 18, 'p'), false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    sb.set_env("BOT_PASSWORD", r.password);
    const reply answer = sb.request(query);
    if (r.admitted) {
      EXPECT_EQ(answer, expected::status_reply(expected::nothing(sb)));
    } else {
      EXPECT_EQ(answer, (reply{std::string(expected::refusal), 0}));
    }
  }
}

TEST(HostileRequest, ContentLengthAndBody) {
  const std::string body = R"({"code":"abc"})";  // 14 bytes
  struct row {
    const char* name;
    std::optional<std::string> content_length;
    std::string body;
    std::optional<std::string> code;  // the code the CLI receives; none: missing_code
  };
  const row rows[] = {
      {"exact length", "14", body, "abc"},
      {"larger than the body: read to its end", "1000", body, "abc"},
      {"largest accepted length", "262143", body, "abc"},
      {"one more is not read", "262144", body, std::nullopt},
      {"smaller than the body: the value is cut", "10", R"({"code":"abcdef"})", "a"},
      {"cut before the value", "8", body, std::nullopt},
      {"negative", "-14", body, std::nullopt},
      {"huge", "99999999999999999999", body, std::nullopt},
      {"beyond 64 bits and negative", "-99999999999999999999", body, std::nullopt},
      {"not a number", "abc", body, std::nullopt},
      {"hexadecimal is not read as such", "0x10", body, std::nullopt},
      {"empty", "", body, std::nullopt},
      {"unset", std::nullopt, body, std::nullopt},
      {"zero", "0", body, std::nullopt},
      {"leading white space and a plus sign", " \t+14", body, "abc"},
      {"digits then junk", "14junk", body, "abc"},
      {"NUL inside the value ends the body text", "20",
       std::string(R"({"code":"ab)") + '\0' + "cd\"}", "ab"},
      {"NUL before the member hides it", "20", std::string(1, '\0') + body, std::nullopt},
      {"binary junk around the member", "64",
       std::string("\xff\xfe\x01{\x80") + R"("code" :  "x-1",)" + "\x7f}}", "x-1"},
      {"member at the end of the largest body", "262143",
       pad_to("", 262143 - body.size(), ' ') + body, "abc"},
      {"body far larger than any length read", "262143",
       pad_to("", 262143, ' ') + body + pad_to("", 1 << 20, 'z'), std::nullopt},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--finish", hostile::refusing_finish);
    if (r.content_length) sb.set_env("CONTENT_LENGTH", *r.content_length);
    const reply answer = sb.request("action=finish", r.body);
    if (r.code) {
      EXPECT_EQ(answer, hostile::stopped);
      EXPECT_EQ(sb.login_cli().calls(), (calls{{"--finish", *r.code}}));
    } else {
      EXPECT_EQ(answer, hostile::missing_code);
      EXPECT_FALSE(sb.login_cli().ran());
    }
  }
}

TEST(HostileRequest, BodyIsIgnoredByEveryOtherRequest) {
  const std::string junk = std::string("\0\xff{\"code\":\"x\"}", 14) + std::string(300000, '\0');
  sandbox sb;
  sb.missing_login_cli();
  sb.set_env("CONTENT_LENGTH", "262143");
  EXPECT_EQ(sb.request("action=status", junk), expected::status_reply(expected::nothing(sb)));
  EXPECT_EQ(sb.request("action=cancel", junk), expected::cancelled_reply());
  EXPECT_TRUE(is_page(sb.request("", junk)));
}

// Environment variables of 100 KiB, one at a time.
TEST(HostileRequest, HugeEnvironmentVariables) {
  const std::string big(env_100k, 'a');
  const std::string big_password(env_100k, 'p');
  const reply refused{std::string(expected::refusal), 0};
  struct row {
    const char* name;
    std::function<void(sandbox&)> arrange;
    std::string query;
    std::function<reply(const sandbox&)> answer;
  };
  const auto status_of = [](std::function<void(const sandbox&, expected::status&)> adjust) {
    return [adjust](const sandbox& sb) {
      expected::status s = expected::nothing(sb);
      adjust(sb, s);
      return expected::status_reply(s);
    };
  };
  const row rows[] = {
      {"accounts path cut to its 1023-byte field",
       [&](sandbox& sb) { sb.set_env("LUMENHOLLOW_CREDS_PATH", "/" + big); }, "action=status",
       status_of([](const sandbox&, expected::status& s) {
         s.credentials_path = "/" + std::string(1022, 'a');
       })},
      {"environment directory cut, file not found",
       [&](sandbox& sb) {
         sb.set_env("LUMENHOLLOW_ENV_DIR", "/" + big);
         sb.write_env_file("GOOGLE_PROJECT_ID=not-this-one\n");
       },
       "action=status", status_of([](const sandbox&, expected::status&) {})},
      {"pending marker path cut, nothing there",
       [&](sandbox& sb) {
         sb.set_env("LUMENHOLLOW_PENDING_PATH", "/" + big);
         sb.write_pending_marker();
       },
       "action=status", status_of([](const sandbox&, expected::status&) {})},
      {"login CLI name cut to a name the shell cannot find",
       [&](sandbox& sb) { sb.set_env("LUMENHOLLOW_LOGIN_BIN", big); }, "action=start",
       [](const sandbox&) { return hostile::login_cli_unavailable; }},
      {"token CLI name likewise",
       [&](sandbox& sb) {
         sb.missing_login_cli();
         sb.set_env("LUMENHOLLOW_TOKEN_BIN", big);
       },
       "action=refresh", [](const sandbox&) { return hostile::token_cli_unavailable; }},
      {"node password matched whole through the header",
       [&](sandbox& sb) {
         sb.missing_login_cli();
         sb.set_env("BOT_PASSWORD", big_password);
         sb.set_env("HTTP_X_BOT_PASSWORD", big_password);
       },
       "action=status", status_of([](const sandbox&, expected::status&) {})},
      {"node password matched whole through a bearer token",
       [&](sandbox& sb) {
         sb.missing_login_cli();
         sb.set_env("BOT_PASSWORD", big_password);
         sb.set_env("HTTP_AUTHORIZATION", "Bearer " + big_password);
       },
       "action=status", status_of([](const sandbox&, expected::status&) {})},
      {"header one byte short",
       [&](sandbox& sb) {
         sb.set_env("BOT_PASSWORD", big_password);
         sb.set_env("HTTP_X_BOT_PASSWORD", big_password.substr(1));
       },
       "action=status", [&](const sandbox&) { return refused; }},
      {"huge authorization junk",
       [&](sandbox& sb) {
         sb.set_env("BOT_PASSWORD", "s3cret");
         sb.set_env("HTTP_AUTHORIZATION", std::string(env_100k, ' '));
       },
       "action=status", [&](const sandbox&) { return refused; }},
      {"huge header against a short password",
       [&](sandbox& sb) {
         sb.set_env("BOT_PASSWORD", "s3cret");
         sb.set_env("HTTP_X_BOT_PASSWORD", "s3cret" + big);
       },
       "", [&](const sandbox&) { return refused; }},
      {"huge CONTENT_LENGTH digits",
       [&](sandbox& sb) { sb.set_env("CONTENT_LENGTH", std::string(env_100k, '9')); },
       "action=finish", [](const sandbox&) { return hostile::missing_code; }},
      {"discovery variable of any size", [&](sandbox& sb) { sb.set_env("QV_PLUGIN_META", big); },
       "action=status",
       [](const sandbox&) {
         return reply{std::string(expected::discovery_line), 0};
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    r.arrange(sb);
    EXPECT_EQ(sb.request(r.query), r.answer(sb));
  }
}

// A HOME too long for the 512-byte home area is not used; the password database names the home
// directory instead.
TEST(HostileRequest, HugeHomeFallsBackToThePasswordDatabase) {
  const passwd* entry = ::getpwuid(::geteuid());
  ASSERT_NE(entry, nullptr);
  const std::string real_home = entry->pw_dir;
  const std::string accounts = real_home + "/.config/google-accounts/lumenhollow_accounts.json";
  if (std::filesystem::exists(real_home + "/.config/google-accounts") ||
      std::filesystem::exists(real_home + "/.veltrane")) {
    GTEST_SKIP() << "this user's real home holds sign-in state; the answer would depend on it";
  }
  sandbox sb;
  sb.missing_login_cli();
  sb.set_env("HOME", "/" + std::string(env_100k, 'h'));
  expected::status s;
  s.credentials_path = accounts;
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

}  // namespace
