// The start action's authorization document and failures, and the cancel action's fixed answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using expected::start_reply;

// The document for a tool answer that gives the address "https://a" and nothing else.
const reply address_only = start_reply({.auth_url = "https://a"});

TEST(Start, DocumentFromTheToolsLastJsonLine) {
  const std::string long_url = "https://a/" + std::string(5000, 'u');
  struct row {
    const char* name;
    std::string tool_output;
    reply want;
  };
  const row rows[] = {
      {"every member given",
       R"({"ok":true,"flow":"device","auth_url":"https://accounts.example/o?x=1&y=2","expires_in":600,"hint":"Open it."})",
       start_reply({.flow = "device",
                    .auth_url = "https://accounts.example/o?x=1&y=2",
                    .expires_in = "600",
                    .hint = "Open it."})},
      {"address alone", R"({"auth_url":"https://a"})", address_only},
      {"empty flow and hint", R"({"auth_url":"https://a","flow":"","hint":"","expires_in":60})",
       start_reply({.auth_url = "https://a", .expires_in = "60"})},
      {"null flow and hint", R"({"auth_url":"https://a","flow":null,"hint":null})", address_only},
      {"zero lifetime", R"({"auth_url":"https://a","expires_in":0})", address_only},
      {"negative lifetime", R"({"auth_url":"https://a","expires_in":-5})", address_only},
      {"non-numeric lifetime", R"({"auth_url":"https://a","expires_in":"soon"})", address_only},
      {"quoted lifetime", R"({"auth_url":"https://a","expires_in":"600"})",
       start_reply({.auth_url = "https://a", .expires_in = "600"})},
      {"fractional lifetime", R"({"auth_url":"https://a","expires_in":600.9})",
       start_reply({.auth_url = "https://a", .expires_in = "600"})},
      {"large lifetime", R"({"auth_url":"https://a","expires_in":99999999999})",
       start_reply({.auth_url = "https://a", .expires_in = "99999999999"})},
      {"ok spelled 1", R"({"ok":1,"auth_url":"https://a"})", address_only},
      {"escapes in the texts",
       R"({"auth_url":"https://a/\"q\"\\b\/c","flow":"f\tg","hint":"h\u0007\u00e9"})",
       start_reply(
           {.flow = "f\\tg", .auth_url = "https://a/\\\"q\\\"\\\\b/c", .hint = "h\\u0007\xE9"})},
      {"earlier lines are ignored",
       "Opening the browser...\n{\"ok\":false,\"error\":\"x\"}\n{\"auth_url\":\"https://a\"}\n\n",
       address_only},
      {"address cut at 4095 bytes", "{\"auth_url\":\"" + long_url + "\"}",
       start_reply({.auth_url = long_url.substr(0, 4095)})},
      {"flow cut at 63 bytes, hint at 511",
       "{\"auth_url\":\"https://a\",\"flow\":\"" + std::string(100, 'f') + "\",\"hint\":\"" +
           std::string(600, 'h') + "\"}",
       start_reply(
           {.flow = std::string(63, 'f'), .auth_url = "https://a", .hint = std::string(511, 'h')})},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--start", r.tool_output, 1);  // the tool's exit code is not consulted
    EXPECT_EQ(sb.request("action=start&code=abc&format=json"), r.want);
    EXPECT_EQ(sb.login_cli().calls(), (calls{{"--start"}}));
  }
}

TEST(Start, FailuresNameTheToolsErrorOrStartFailed) {
  using expected::tool_error;
  const std::string detail(expected::no_auth_url_detail);
  struct row {
    const char* name;
    std::string tool_output;
    reply want;
  };
  const row rows[] = {
      {"tool error", R"({"ok":false,"error":"busy"})", tool_error("busy", detail)},
      {"empty tool error", R"({"ok":false,"error":""})", tool_error("start_failed", detail)},
      {"null tool error", R"({"ok":false,"error":null})", tool_error("start_failed", detail)},
      {"not ok despite an address", R"({"ok":false,"auth_url":"https://a"})",
       tool_error("start_failed", detail)},
      {"ok spelled 0", R"({"ok":0,"auth_url":"https://a"})", tool_error("start_failed", detail)},
      {"ok without address", R"({"ok":true})", tool_error("start_failed", detail)},
      {"ok with empty address", R"({"ok":true,"auth_url":""})", tool_error("start_failed", detail)},
      {"address that decodes to nothing", R"({"auth_url":"\u0000https://a"})",
       tool_error("start_failed", detail)},
      {"error read although ok is absent", R"({"error":"no_client"})",
       tool_error("no_client", detail)},
      {"numeric error", R"({"ok":false,"error":42})", tool_error("42", detail)},
      {"error cut at 511 bytes", "{\"ok\":false,\"error\":\"" + std::string(600, 'e') + "\"}",
       tool_error(std::string(511, 'e'), detail)},
      {"last JSON line fails after a good one", "{\"auth_url\":\"https://a\"}\n{\"ok\":false}",
       tool_error("start_failed", detail)},
      {"no output", "", tool_error("start_failed")},
      {"white space only", " \n\t\n", tool_error("start_failed")},
      {"text only", "could not open browser\n  {\"auth_url\":\"https://a\"}\n",
       tool_error("start_failed")},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--start", r.tool_output);
    EXPECT_EQ(sb.request("action=start"), r.want);
  }
}

TEST(Start, ToolThatCannotRun) {
  using expected::tool_error;
  const reply unavailable = tool_error("cli_unavailable", expected::login_cli_missing_detail);
  struct row {
    const char* name;
    std::function<void(sandbox&)> setup;
    reply want;
  };
  const row rows[] = {
      {"path where nothing exists", [](sandbox& sb) { sb.missing_login_cli(); }, unavailable},
      {"default name not on the path", [](sandbox& sb) { sb.unset_env("LUMENHOLLOW_LOGIN_BIN"); },
       unavailable},
      {"empty variable falls back to the default name",
       [](sandbox& sb) { sb.set_env("LUMENHOLLOW_LOGIN_BIN", ""); }, unavailable},
      {"tool exiting 127 counts as missing",
       [](sandbox& sb) { sb.login_cli().on("--start", "{\"auth_url\":\"https://a\"}", 127); },
       unavailable},
      // The shell reports 126 for a file it cannot execute: the tool "ran" and printed nothing.
      {"file that is not executable",
       [](sandbox& sb) {
         sb.set_env("LUMENHOLLOW_LOGIN_BIN", sb.write_file("bin/plain-file", "{}\n"));
       },
       tool_error("start_failed")},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    r.setup(sb);
    EXPECT_EQ(sb.request("action=start"), r.want);
  }
}

TEST(Start, ToolNameWithShellCharactersIsOneWord) {
  sandbox sb;
  fake_tool& cli = sb.tool_named("it's $(touch x) `touch y`; & a login cli");
  cli.on("--start", "{\"auth_url\":\"https://a\"}");
  sb.set_env("LUMENHOLLOW_LOGIN_BIN", cli.path());
  EXPECT_EQ(sb.request("action=start"), address_only);
  EXPECT_EQ(cli.calls(), (calls{{"--start"}}));
  EXPECT_FALSE(std::filesystem::exists(sb.root() + "/x"));  // nothing in the name was run
  EXPECT_FALSE(std::filesystem::exists(sb.root() + "/y"));
}

TEST(Start, ToolPathOf509BytesFitsAndLongerOnesAreCut) {
  for (std::size_t length : {509u, 510u}) {
    SCOPED_TRACE(std::to_string(length) + "-byte tool path");
    sandbox sb;
    // The fake tool lives at the 509-byte path; a 510-byte name is cut to exactly that path.
    const std::string dir = sb.make_dir_of_length(509 - 9);
    fake_tool cli(dir.substr(0, dir.size() - 1), std::string(9, 't'));
    ASSERT_EQ(cli.path().size(), 509u);
    cli.on("--start", "{\"auth_url\":\"https://a\"}");
    sb.set_env("LUMENHOLLOW_LOGIN_BIN", cli.path() + std::string(length - 509, 'x'));
    EXPECT_EQ(sb.request("action=start"), address_only);
    EXPECT_EQ(cli.calls(), (calls{{"--start"}}));
  }
}

TEST(Start, CaptureKeepsAt256KiBOfOutput) {
  // Filler lines of 1000 bytes, then the JSON line: the piece that crosses 262,144 bytes and
  // everything after it are dropped.
  const std::string line = "{\"auth_url\":\"https://a\"}";
  std::string filler;
  while (filler.size() + 1000 <= 262144 - line.size()) filler += std::string(999, 'x') + "\n";
  filler += std::string(262144 - line.size() - filler.size() - 1, 'y') + "\n";
  ASSERT_EQ(filler.size() + line.size(), 262144u);
  {
    SCOPED_TRACE("exactly 262,144 bytes");
    sandbox sb;
    sb.login_cli().on("--start", filler + line);
    EXPECT_EQ(sb.request("action=start"), address_only);
  }
  {
    SCOPED_TRACE("one byte more");
    sandbox sb;
    sb.login_cli().on("--start", "z" + filler + line);
    EXPECT_EQ(sb.request("action=start"), expected::tool_error("start_failed"));
  }
}

TEST(Start, ZeroByteCutsTheOutputPieceHoldingIt) {
  sandbox sb;
  using namespace std::string_literals;
  sb.login_cli().on("--start", "{\"auth_url\":\"https://a\0junk\",\"flow\":\"f\"}\n"s);
  EXPECT_EQ(sb.request("action=start"), address_only);
}

TEST(Cancel, SameAnswerWhateverTheToolDoes) {
  struct row {
    const char* name;
    std::function<void(sandbox&)> setup;
  };
  const row rows[] = {
      {"tool missing", [](sandbox& sb) { sb.missing_login_cli(); }},
      {"tool succeeds", [](sandbox& sb) { sb.login_cli().on("--cancel", "{\"ok\":true}\n"); }},
      {"tool fails",
       [](sandbox& sb) { sb.login_cli().on("--cancel", "{\"ok\":false,\"error\":\"nope\"}", 1); }},
      {"tool prints text", [](sandbox& sb) { sb.login_cli().on("--cancel", "nothing pending\n"); }},
      {"tool prints nothing", [](sandbox& sb) { sb.login_cli(); }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    r.setup(sb);
    sb.write_pending_marker();  // cancel answers without looking at the pending state
    EXPECT_EQ(sb.request("action=cancel&code=abc"), expected::cancelled_reply());
  }
}

TEST(Cancel, RunsTheLoginCliOnceWithCancel) {
  sandbox sb;
  sb.login_cli();
  sb.request("action=cancel");
  EXPECT_EQ(sb.login_cli().calls(), (calls{{"--cancel"}}));
}

}  // namespace
