// Code submission: the pasted code's way from query or body to the login CLI's argument list,
// refusals before any tool runs, and the done document.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "harness.h"

namespace {

constexpr std::string_view forbidden_bytes =
    "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
    "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"
    "\"$&';<>\\`|\x7f";

bool is_forbidden(unsigned char c) {
  return forbidden_bytes.find(static_cast<char>(c)) != std::string_view::npos;
}

// The login CLI refuses every code, so a run stops after "--finish" and records only that call.
const char* const refusing_finish = "{\"ok\":false,\"error\":\"stop_here\"}\n";

const reply stopped = expected::tool_error("stop_here", expected::finish_rejected_detail);
const reply invalid =
    expected::error_reply("400 Bad Request", "invalid_code", expected::invalid_code_detail);
const reply missing =
    expected::error_reply("400 Bad Request", "missing_code", expected::missing_code_detail);

struct code_case {
  std::string name;
  std::string query_value;  // after "action=finish&code="
  std::string code;         // the one argument after "--finish"
};

void expect_code_reaches_cli(const std::string& name, const std::string& query,
                             const std::string& code, std::string_view body = {},
                             std::optional<std::string> content_length = std::nullopt) {
  SCOPED_TRACE(name + ": " + printable(query));
  sandbox sb;
  sb.login_cli().on("--finish", refusing_finish);
  if (content_length) sb.set_env("CONTENT_LENGTH", *content_length);
  EXPECT_EQ(sb.request(query, body), stopped);
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--finish", code}}));
}

void expect_code_reaches_cli(const code_case& c) {
  expect_code_reaches_cli(c.name, "action=finish&code=" + c.query_value, c.code);
}

void expect_refused_before_any_tool(const std::string& name, const std::string& query,
                                    std::string_view body = {},
                                    std::optional<std::string> content_length = std::nullopt) {
  SCOPED_TRACE(name + ": " + printable(query));
  sandbox sb;
  sb.login_cli().otherwise("{\"ok\":true}");
  if (content_length) sb.set_env("CONTENT_LENGTH", *content_length);
  EXPECT_EQ(sb.request(query, body), invalid);
  EXPECT_FALSE(sb.login_cli().ran());
}

TEST(FinishCode, EveryAllowedByteReachesTheCliUnchanged) {
  std::vector<code_case> cases;
  for (int b = 0x20; b <= 0xff; ++b) {
    const auto c = static_cast<unsigned char>(b);
    if (is_forbidden(c)) continue;
    const std::string code = std::string("4/0A") + static_cast<char>(c) + "z";
    char label[16];
    std::snprintf(label, sizeof label, "byte %02x", b);
    cases.push_back({std::string(label) + " encoded", percent_encode_all(code), code});
    // Sent as it is, the byte must survive decoding: "+" is the one that does not.
    if (c != '+') cases.push_back({std::string(label) + " raw", code, code});
  }
  for (const code_case& c : cases) expect_code_reaches_cli(c);
}

TEST(FinishCode, WholeCodesReachTheCliAsOneArgument) {
  std::string all_allowed_ascii;
  for (int b = 0x20; b < 0x7f; ++b) {
    if (!is_forbidden(static_cast<unsigned char>(b))) all_allowed_ascii += static_cast<char>(b);
  }
  all_allowed_ascii += "z";  // a final space would be trimmed
  const std::string a2047(2047, 'a');
  std::string encoded_a;
  for (int i = 0; i < 700; ++i) encoded_a += "%41";
  const code_case cases[] = {
      {"every allowed ASCII byte at once", percent_encode_all(all_allowed_ascii),
       all_allowed_ascii},
      {"typical code", "4%2F0AbC-x_y", "4/0AbC-x_y"},
      {"plus is a space", "a+b", "a b"},
      {"spaces inside", "a%20b%20%20c", "a b  c"},
      {"leading space stays", "+abc", " abc"},
      {"trailing white space trimmed", "abc%20%09%0D%0A+", "abc"},
      {"raw space", "a b", "a b"},
      {"raw equals sign", "4/0Ab+c=d", "4/0Ab c=d"},
      {"UTF-8 encoded", "%C3%A9t%C3%A9", "\xC3\xA9t\xC3\xA9"},
      {"UTF-8 raw", "key\xF0\x9F\x94\x91", "key\xF0\x9F\x94\x91"},
      {"bytes that are not UTF-8", "%80%FF%fe", "\x80\xFF\xFE"},
      {"lone percent at the end", "ab%4", "ab%4"},
      {"percent before a non-hex digit", "%G1x", "%G1x"},
      {"percent before one hex digit", "%a", "%a"},
      {"percent at the very end", "100%", "100%"},
      {"decoded percent is not decoded again", "%2541", "%41"},
      {"double percent", "%%41", "%A"},
      {"encoded plus stays a plus", "a%2Bb", "a+b"},
      {"decoded NUL ends the code", "ab%00cd", "ab"},
      {"hash without code= stays", "ab#cd", "ab#cd"},
      {"2047 bytes whole", a2047, a2047},
      {"2048 bytes cut", a2047 + "b", a2047},
      {"3000 bytes cut", std::string(3000, 'c'), std::string(2047, 'c')},
      {"cut before decoding", encoded_a, std::string(682, 'A') + "%"},
      {"only the first code key", "first&code=second", "first"},
  };
  for (const code_case& c : cases) expect_code_reaches_cli(c);
}

TEST(FinishCode, RedirectAddressGivesTheValueAfterCodeEquals) {
  const code_case cases[] = {
      {"whole redirect address",
       percent_encode_all("http://localhost:8085/?state=s&code=4/0Ab&scope=x"), "4/0Ab"},
      {"address as the page encodes it",
       "http%3A%2F%2Flocalhost%2F%3Fstate%3Ds%26code%3D4%2F0Ab-c_d%26scope%3Demail%20openid",
       "4/0Ab-c_d"},
      {"fragment ends the code", percent_encode_all("https://localhost/?code=4/0Ab#frag"), "4/0Ab"},
      {"forbidden bytes outside the value do not matter",
       percent_encode_all("https://localhost/?state=$x;y&code=ok1&scope=a|b"), "ok1"},
      {"inside a longer name", percent_encode_all("authcode=xyz"), "xyz"},
      {"first occurrence wins", percent_encode_all("code=1&code=2"), "1"},
      {"raw query value holding code=", "code=abc", "abc"},
      {"trailing white space trimmed before extraction", "code%3Dabc%20", "abc"},
      {"empty value keeps the whole text", percent_encode_all("code="), "code="},
      {"value empty before a hash keeps the whole text", percent_encode_all("x?code=#y"),
       "x?code=#y"},
  };
  for (const code_case& c : cases) expect_code_reaches_cli(c);
}

TEST(FinishCode, ForbiddenBytesAreRefusedBeforeAnyToolRuns) {
  for (unsigned char c : forbidden_bytes) {
    char label[16];
    std::snprintf(label, sizeof label, "byte %02x", c);
    const std::string code = std::string("ab") + static_cast<char>(c) + "cd";
    expect_refused_before_any_tool(std::string(label) + " encoded",
                                   "action=finish&code=" + percent_encode_all(code));
    // Raw "&" would only end the value; every other byte must be caught as it stands.
    if (c != '&')
      expect_refused_before_any_tool(std::string(label) + " raw", "action=finish&code=" + code);
  }
}

TEST(FinishCode, EmptyOrForbiddenAfterDecodingIsRefused) {
  const char* const queries[] = {
      "action=finish&code=",
      "action=finish&code=%0A%0D",
      "action=finish&code=%20%09",
      "action=finish&code=+",
      "action=finish&code=%00abc",
      "action=finish&code=code%3D%26x",
      "action=finish&code=code%3Dab%3Bcd",
      "action=finish&code=x%27y",
  };
  for (const char* q : queries) expect_refused_before_any_tool("query", q);
}

TEST(FinishCode, QueryCodeKeyWinsOverTheBody) {
  const std::string body = "{\"code\":\"body1\"}";
  const std::string length = std::to_string(body.size());
  // The key is present but empty: the body is not consulted and the code is invalid, not missing.
  expect_refused_before_any_tool("empty query code", "action=finish&code=", body, length);
  expect_code_reaches_cli("query code", "action=finish&code=query1", "query1", body, length);
}

TEST(FinishBody, CodeMemberOfAJsonBody) {
  const std::string long_value(3000, 'b');
  struct row {
    const char* name;
    std::string body;
    std::optional<std::string> content_length;  // nullopt: the body's own length
    std::string query = "action=finish";
    std::string code = {};  // empty: missing_code
  };
  const row rows[] = {
      {"string member", R"({"code": "4/0AbC-x_y"})", std::nullopt, "action=finish", "4/0AbC-x_y"},
      {"number member", R"({"code":4711})", std::nullopt, "action=finish", "4711"},
      {"word code as another member's value", R"({"a":"code","b":"z"})", std::nullopt,
       "action=finish", "z"},
      {"colon found further on", R"({"code","x":"abc"})", std::nullopt, "action=finish", "abc"},
      {"skips tabs, spaces and quotes", "{\"code\":  \"\t x\"}", std::nullopt, "action=finish",
       "x"},
      {"comma ends the value", R"({"code":ab,cd})", std::nullopt, "action=finish", "ab"},
      {"brace ends the value", R"({"code":ab}cd)", std::nullopt, "action=finish", "ab"},
      {"decoded like a query value", R"({"code":"a+b%41"})", std::nullopt, "action=finish", "a bA"},
      {"hash stays", R"({"code":"ab#cd"})", std::nullopt, "action=finish", "ab#cd"},
      {"redirect address in the body", R"({"code":"https://localhost/?state=s&code=4/0Ab"})",
       std::nullopt, "action=finish", "4/0Ab"},
      {"value cut at 2047 bytes", "{\"code\":\"" + long_value + "\"}", std::nullopt,
       "action=finish", std::string(2047, 'b')},
      {"length cuts the body", R"({"code":"abcdef"})", "12", "action=finish", "abc"},
      {"length beyond the body", R"({"code":"abc"})", "1000", "action=finish", "abc"},
      {"largest accepted length", R"({"code":"abc"})", "262143", "action=finish", "abc"},
      {"leading space in the length", R"({"code":"abc"})", " 14", "action=finish", "abc"},
      {"leading tab in the length", R"({"code":"abc"})", "\t14", "action=finish", "abc"},
      {"plus sign in the length", R"({"code":"abc"})", "+14", "action=finish", "abc"},
      {"leading zeros in the length", R"({"code":"abc"})", "00014", "action=finish", "abc"},
      {"digits end the length", R"({"code":"abc"})", "14bytes", "action=finish", "abc"},
      {"other query keys do not count", R"({"code":"abc"})", std::nullopt,
       "action=finish&xcode=1&Code=2&code", "abc"},
      {"form body", "code=abc", std::nullopt},
      {"empty string member", R"({"code":""})", std::nullopt},
      {"no value after the colon", R"({"code":})", std::nullopt},
      {"no colon after the key", R"({"code" "abc"})", std::nullopt},
      {"unquoted key", R"({code:"abc"})", std::nullopt},
      {"NUL before the member", std::string("{\0\"code\":\"abc\"}", 15), std::nullopt},
      {"length unset", R"({"code":"abc"})", "unset"},
      {"length empty", R"({"code":"abc"})", ""},
      {"length 0", R"({"code":"abc"})", "0"},
      {"length negative", R"({"code":"abc"})", "-14"},
      {"length 262144", R"({"code":"abc"})", "262144"},
      {"length beyond 32 bits", R"({"code":"abc"})", "4294967310"},
      {"length not a number", R"({"code":"abc"})", "abc"},
      {"length too short for the value", R"({"code":"abc"})", "9"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--finish", refusing_finish);
    const std::string length = r.content_length.value_or(std::to_string(r.body.size()));
    if (length != "unset") sb.set_env("CONTENT_LENGTH", length);
    reply got = sb.request(r.query, r.body);
    if (r.code.empty()) {
      EXPECT_EQ(got, missing);
      EXPECT_FALSE(sb.login_cli().ran());
    } else {
      EXPECT_EQ(got, stopped);
      EXPECT_EQ(sb.login_cli().calls(), (calls{{"--finish", r.code}}));
    }
  }
}

TEST(FinishBody, AtMost262143BytesOfTheBodyAreRead) {
  const std::string head = "{\"pad\":\"";
  const std::string tail = "\",\"code\":\"abcd";
  const std::string body = head + std::string(262144 - head.size() - tail.size(), 'x') + tail;
  ASSERT_EQ(body.size(), 262144u);
  expect_code_reaches_cli("262,144-byte body", "action=finish", "abc", body, "262143");
}

TEST(FinishBody, ForbiddenBytesInTheBodyAreRefused) {
  const char* const bodies[] = {
      R"({"code":"a$b"})",
      R"({"code":"ab\"cd"})",  // nothing is unescaped: the backslash stays and is refused
      R"({"code":"a%24b"})",  R"({"code":"a%60b"})", "{\"code\":\"a\x7f\"}",
  };
  for (const char* body : bodies) {
    const std::string b(body);
    expect_refused_before_any_tool("body", "action=finish", b, std::to_string(b.size()));
  }
}

TEST(Finish, SignedInAnswersWithTheFreshStatus) {
  sandbox sb;
  sb.login_cli()
      .on("--finish", "exchanging...\n{\"ok\":true,\"identity\":\"ignored@example.com\"}\n")
      .on("--status",
          "{\"identity\":\"me@example.com\",\"has_refresh\":true,\"path\":\"/c.json\"}");
  sb.write_env_file("GOOGLE_PROJECT_ID=p-1\n");
  expected::status s = expected::signed_in(sb, "me@example.com");
  s.cli_present = true;
  s.project_id = "p-1";
  s.profile = "lumenhollow";
  s.credentials_path = "/c.json";
  EXPECT_EQ(sb.request("action=finish&code=4%2F0Ab"), expected::done_reply(s));
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--finish", "4/0Ab"}, {"--status"}}));
}

TEST(Finish, DoneDocumentComesFromFilesWhenStatusGivesNoJson) {
  sandbox sb;
  sb.login_cli().on("--finish", "{\"ok\":\"true\"}").on("--status", "no json here");
  sb.write_accounts(R"([{"email":"files@example.com","refresh_token":"r"}])");
  EXPECT_EQ(sb.request("action=finish&code=abc"),
            expected::done_reply(expected::signed_in(sb, "files@example.com")));
}

TEST(Finish, ToolAnswersThatAreNotOk) {
  using expected::tool_error;
  const std::string rejected(expected::finish_rejected_detail);
  struct row {
    const char* name;
    std::string output;
    int exit_code;
    reply want;
  };
  const row rows[] = {
      {"error text", R"({"ok":false,"error":"invalid_grant"})", 1,
       tool_error("invalid_grant", rejected)},
      {"no ok member", R"({"error":"needs_browser"})", 0, tool_error("needs_browser", rejected)},
      {"no members", "{}", 0, tool_error("finish_failed", rejected)},
      {"ok spelled yes", R"({"ok":"yes"})", 0, tool_error("finish_failed", rejected)},
      {"empty error", R"({"ok":false,"error":""})", 0, tool_error("finish_failed", rejected)},
      {"numeric error", R"({"ok":false,"error":401})", 0, tool_error("401", rejected)},
      {"escaped error", R"({"ok":false,"error":"a\"b"})", 0, tool_error("a\\\"b", rejected)},
      {"error cut at 511 bytes", "{\"ok\":false,\"error\":\"" + std::string(700, 'e') + "\"}", 0,
       tool_error(std::string(511, 'e'), rejected)},
      {"last JSON line decides", "{\"ok\":true}\n{\"ok\":false}", 0,
       tool_error("finish_failed", rejected)},
      {"text only", "token exchange failed\n", 2,
       tool_error("finish_failed", expected::finish_no_json_detail)},
      {"nothing", "", 0, tool_error("finish_failed", expected::finish_no_json_detail)},
      {"shell reports not found", R"({"ok":true})", 127,
       tool_error("cli_unavailable", expected::login_cli_missing_detail)},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--finish", r.output, r.exit_code).on("--status", "{\"has_refresh\":true}");
    EXPECT_EQ(sb.request("action=finish&code=abc"), r.want);
    EXPECT_EQ(sb.login_cli().calls(), (calls{{"--finish", "abc"}}));  // no status afterwards
  }
}

}  // namespace
