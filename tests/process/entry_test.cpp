// Discovery switches, routing between page, status and actions, and the unknown-action envelope.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

TEST(Discovery, SwitchesAnswerBeforeThePasswordAndOnlyTheFirstArgumentCounts) {
  struct row {
    const char* name;
    std::vector<std::string> args;
    bool meta_env;
    std::string_view out;
  };
  // A node password is set and no carrier is given, so anything handled as a CGI request is
  // refused: that tells a switch apart from an ignored command line.
  const row rows[] = {
      {"meta", {"--meta"}, false, expected::discovery_line},
      {"meta with more arguments", {"--meta", "--version", "x"}, false, expected::discovery_line},
      {"meta env empty, no arguments", {}, true, expected::discovery_line},
      {"meta env wins over -v", {"-v"}, true, expected::discovery_line},
      {"meta env wins over --version", {"--version"}, true, expected::discovery_line},
      {"meta env with unknown argument", {"--help"}, true, expected::discovery_line},
      {"version", {"--version"}, false, expected::version_line},
      {"short version", {"-v"}, false, expected::version_line},
      {"version then meta", {"--version", "--meta"}, false, expected::version_line},
      {"mixed-case meta is not a switch", {"--Meta"}, false, expected::refusal},
      {"upper-case meta", {"--META"}, false, expected::refusal},
      {"meta with a value", {"--meta=1"}, false, expected::refusal},
      {"meta as second argument", {"x", "--meta"}, false, expected::refusal},
      {"upper-case short version", {"-V"}, false, expected::refusal},
      {"version with a value", {"--version=1"}, false, expected::refusal},
      {"empty first argument", {""}, false, expected::refusal},
      {"no arguments", {}, false, expected::refusal},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.set_env("BOT_PASSWORD", "secret");
    if (r.meta_env) sb.set_env("QV_PLUGIN_META", "");
    EXPECT_EQ(sb.run(r.args), (reply{std::string(r.out), 0}));
  }
}

TEST(Discovery, MetaVariableCountsWhateverItsValue) {
  sandbox sb;
  sb.set_env("QV_PLUGIN_META", "0");
  EXPECT_EQ(sb.run({"--version"}), (reply{std::string(expected::discovery_line), 0}));
}

enum class route { page, status, start, cancel, unknown };

TEST(Routing, QueryKeysPickPageStatusOrAction) {
  struct row {
    std::optional<std::string> query;  // nullopt: QUERY_STRING unset
    route to;
    std::string detail = {};  // for unknown actions
  };
  const row rows[] = {
      {std::nullopt, route::page},
      {"", route::page},
      {"node=a&id=b", route::page},
      {"actions=1", route::page},
      {"xaction=1", route::page},
      {"Action=1", route::page},
      {"Format=json", route::page},
      {"formats=1", route::page},
      {"x=action&y=format", route::page},
      {"a=1;action=status", route::page},  // only "&" separates
      {"a=1&", route::page},
      {"pwd=&plugin=google&theme=dark", route::page},
      {"format=html", route::status},
      {"format=json", route::status},
      {"format", route::status},
      {"format=", route::status},
      {"a=1&format", route::status},
      {"action", route::status},
      {"action=", route::status},
      {"action=status", route::status},
      {"action=&action=start", route::status},  // the first "action=" segment wins
      {"a=1&action", route::status},
      {"action=start", route::start},
      {"action&action=start", route::start},  // a bare key has no value to take
      {"a=1&&action=start", route::start},
      {"format=json&action=start", route::start},
      {"action=start&action=cancel", route::start},
      {"action=cancel", route::cancel},
      {"action=x&action=status", route::unknown, "x"},
      {"action=refresh=1", route::unknown, "refresh=1"},
      {"action=start#x", route::unknown, "start#x"},
      {"action=start;action=status", route::unknown, "start;action=status"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.query ? "QUERY_STRING=" + printable(*r.query) : "QUERY_STRING unset");
    sandbox sb;
    sb.login_cli().on("--start", "{\"auth_url\":\"https://auth.example/a\"}\n");
    if (r.query) sb.set_env("QUERY_STRING", *r.query);
    reply got = sb.run();
    switch (r.to) {
      case route::page:
        EXPECT_TRUE(got.out.starts_with(expected::html_first_line))
            << printable(got.out.substr(0, 200));
        EXPECT_EQ(got.exit_code, 0);
        break;
      case route::status:
        EXPECT_EQ(got, expected::status_reply(expected::nothing(sb)));
        break;
      case route::start:
        EXPECT_EQ(got, expected::start_reply({.auth_url = "https://auth.example/a"}));
        break;
      case route::cancel:
        EXPECT_EQ(got, expected::cancelled_reply());
        break;
      case route::unknown:
        EXPECT_EQ(got, expected::error_reply("404 Not Found", "unknown_action", r.detail));
        break;
    }
  }
}

TEST(Routing, PageStreamsAsOneCompleteDocument) {
  sandbox sb;
  reply got = sb.request("node=n1&id=google&pwd=");
  ASSERT_TRUE(got.out.starts_with(expected::html_first_line));
  EXPECT_EQ(got.exit_code, 0);
  // The insertion markers never reach the client, and the document is complete.
  EXPECT_EQ(got.out.find('\x01'), std::string::npos);
  EXPECT_EQ(got.out.find('\x02'), std::string::npos);
  EXPECT_EQ(got.out.find('\0'), std::string::npos);
  EXPECT_NE(got.out.find("\r\n\r\n<!DOCTYPE html>"), std::string::npos);
  EXPECT_TRUE(got.out.ends_with("</body></html>\n"))
      << printable(got.out.substr(got.out.size() - 40));
  EXPECT_EQ(got.out.find("Status:"), std::string::npos);
}

TEST(UnknownAction, DetailIsTheRawValueEscapedAndCutAt63Bytes) {
  const std::string a63(63, 'a');
  struct row {
    std::string action;
    std::string detail;  // as it appears between the quotes
  };
  const row rows[] = {
      {"st%61tus", "st%61tus"},  // never URL-decoded
      {"STATUS", "STATUS"},
      {"Status", "Status"},
      {"start ", "start "},
      {"finish2", "finish2"},
      {"status;x", "status;x"},
      {"a+b", "a+b"},
      {"a\"b\\c", "a\\\"b\\\\c"},
      {"/x", "/x"},
      {"\xC3\xA9\xFF\x80", "\xC3\xA9\xFF\x80"},
      {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
      {"\x01\x08\x0b\x0c\x1b\x1f\x7f", "\\u0001\\u0008\\u000b\\u000c\\u001b\\u001f\x7f"},
      {a63, a63},
      {a63 + "b", a63},
      {std::string(100, 'z'), std::string(63, 'z')},
      {std::string(62, 'a') + "\"tail", std::string(62, 'a') + "\\\""},
      {a63 + "\"", a63},
      {std::string(62, 'a') + "\xC3\xA9", std::string(62, 'a') + "\xC3"},  // cut mid-character
  };
  for (const row& r : rows) {
    SCOPED_TRACE("action=" + printable(r.action));
    sandbox sb;
    sb.login_cli();
    EXPECT_EQ(sb.request("action=" + r.action),
              expected::error_reply("404 Not Found", "unknown_action", r.detail));
    EXPECT_FALSE(sb.login_cli().ran());
  }
}

}  // namespace
