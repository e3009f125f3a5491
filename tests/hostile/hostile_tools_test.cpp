// Tools that misbehave: 10 MiB of output, NUL bytes, output closed early while the tool goes on,
// death by a signal, exit code 127 from the tool itself, a file that cannot be executed, and tool
// names full of quotes, spaces and shell syntax. Every action gets its exact answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "hostile.h"

namespace {

const std::string auth_url = "https://accounts.example/o?x=1";
const std::string status_line = R"({"has_refresh":true,"identity":"t@x"})";

// One script answers every action; `emit` is shell code run with the JSON line for the action in
// $line.
std::string tool_body(const std::string& emit) {
  return "case \"$1\" in\n"
         "  --status) line='" +
         status_line +
         "' ;;\n"
         "  --start) line='{\"auth_url\":\"" +
         auth_url +
         "\"}' ;;\n"
         "  --finish) line='{\"ok\":true}' ;;\n"
         "  *) line='{}' ;;\n"
         "esac\n" +
         emit + "\n";
}

reply start_document() {
  return expected::start_reply({.auth_url = auth_url});
}

const reply start_failed = expected::tool_error("start_failed");
const reply finish_no_json = expected::tool_error("finish_failed", expected::finish_no_json_detail);

// What each action answers for one behaviour of the login CLI.
struct behaviour {
  const char* name;
  std::string emit;
  std::function<expected::status(const sandbox&)> status;
  reply start;
  std::function<reply(const sandbox&)> finish;
};

expected::status cli_answered(const sandbox& sb, const std::string& email, bool refresh) {
  expected::status s = expected::nothing(sb);
  s.email = s.account = email;
  s.logged_in = s.has_refresh = refresh;
  s.cli_present = true;
  return s;
}

TEST(HostileTools, LoginCliBehaviours) {
  const auto ran_fine = [](const sandbox& sb) { return cli_answered(sb, "t@x", true); };
  const auto done = [&](const sandbox& sb) { return expected::done_reply(ran_fine(sb)); };
  const auto no_cli = [](const sandbox& sb) { return expected::nothing(sb); };
  const behaviour rows[] = {
      {"answers normally", "printf '%s\\n' \"$line\"", ran_fine, start_document(), done},
      {"10 MiB of text after the answer: the capture stops at 256 KiB",
       "printf '%s\\n' \"$line\"; yes xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx | head -c 10485760", ran_fine,
       start_document(), done},
      {"10 MiB of text before the answer: the answer is never seen",
       "yes xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx | head -c 10485760; printf '%s\\n' \"$line\"", no_cli,
       start_failed, [](const sandbox&) { return finish_no_json; }},
      {"one line longer than a read piece",
       "printf '{\"x\":\"%s\",' \"$(head -c 5000 /dev/zero | tr '\\0' y)\"; "
       "printf '%s\\n' \"${line#?}\"",
       ran_fine, start_document(), done},
      {"NUL bytes before the answer are dropped",
       "printf '\\000\\000\\n'; printf '%s\\n' \"$line\"", ran_fine, start_document(), done},
      {"a NUL inside the answer cuts its line there",
       "printf '%s\\000%s\\n' \"${line%?}\" ',\"pad\":1}'", ran_fine, start_document(), done},
      {"NUL cuts inside a string member",
       "printf '{\"identity\":\"n\\000b\",\"has_refresh\":true,\"auth_url\":\"u\",\"ok\":true}\\n'",
       [](const sandbox& sb) { return cli_answered(sb, "n", false); },
       expected::tool_error("start_failed", expected::no_auth_url_detail),
       [](const sandbox&) {
         return expected::tool_error("finish_failed", expected::finish_rejected_detail);
       }},
      {"closes its output early and keeps running",
       "printf '%s\\n' \"$line\"; exec >&-; sleep 1; echo late 2>/dev/null", ran_fine,
       start_document(), done},
      {"killed by a signal after answering", "printf '%s\\n' \"$line\"; kill -KILL $$", ran_fine,
       start_document(), done},
      {"killed by a signal before answering", "kill -KILL $$", no_cli, start_failed,
       [](const sandbox&) { return finish_no_json; }},
      {"exit code 127 from the tool itself counts as not installed",
       "printf '%s\\n' \"$line\"; exit 127", no_cli, hostile::login_cli_unavailable,
       [](const sandbox&) { return hostile::login_cli_unavailable; }},
      {"other exit codes do not matter", "printf '%s\\n' \"$line\"; exit 3", ran_fine,
       start_document(), done},
      {"10 MiB on standard error is discarded",
       "yes eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee | head -c 10485760 >&2; printf '%s\\n' \"$line\"",
       ran_fine, start_document(), done},
  };
  for (const behaviour& b : rows) {
    SCOPED_TRACE(b.name);
    sandbox sb;
    sb.set_env("LUMENHOLLOW_LOGIN_BIN", sb.dir().write_script("bin/login-cli", tool_body(b.emit)));
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(b.status(sb)));
    EXPECT_EQ(sb.request("action=start"), b.start);
    EXPECT_EQ(sb.request("action=finish&code=abc"), b.finish(sb));
    EXPECT_EQ(sb.request("action=cancel"), expected::cancelled_reply());
  }
}

TEST(HostileTools, LoginCliThatCannotBeExecuted) {
  // The shell finds the file but cannot run it: exit code 126, which is "ran, printed nothing".
  sandbox sb;
  const std::string path =
      sb.dir().write_script("bin/login-cli", tool_body("printf '%s\\n' \"$line\""));
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  sb.set_env("LUMENHOLLOW_LOGIN_BIN", path);
  if (hostile::running_as_root()) {
    // Root may execute a file only when some execute bit is set, so this holds for root too.
    ASSERT_NE(::access(path.c_str(), X_OK), 0);
  }
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(expected::nothing(sb)));
  EXPECT_EQ(sb.request("action=start"), start_failed);
  EXPECT_EQ(sb.request("action=finish&code=abc"), finish_no_json);
}

TEST(HostileTools, TokenCliBehaviours) {
  struct row {
    const char* name;
    std::string body;
    std::function<reply(const sandbox&)> answer;
  };
  const auto refreshed_with = [](std::string project) {
    return [project](const sandbox& sb) {
      expected::status s = expected::nothing(sb);
      s.project_id = project;
      return expected::refreshed_reply(s);
    };
  };
  const reply default_failure =
      expected::json_reply(R"({"ok":false,"error":"refresh_failed","detail":")" +
                               std::string(expected::refresh_default_detail) + "\"}",
                           1);
  const row rows[] = {
      {"killed after answering", "printf '{\"ok\":true,\"project_id\":\"p-9\"}\\n'; kill -KILL $$",
       refreshed_with("p-9")},
      {"a NUL cuts the project", "printf '{\"ok\":true,\"project_id\":\"p\\000x\"}\\n'",
       refreshed_with("p")},
      {"10 MiB before the answer",
       "yes xxxxxxxxxxxxxxxxxxxxxxxx | head -c 10485760; printf '{\"ok\":true}\\n'",
       [&](const sandbox&) { return default_failure; }},
      {"exit code 127 after answering", "printf '{\"ok\":true}\\n'; exit 127",
       [](const sandbox&) { return hostile::token_cli_unavailable; }},
      {"closes its output and keeps running",
       "printf '{\"ok\":true,\"project_id\":\"p-8\"}\\n'; exec >&-; sleep 1",
       refreshed_with("p-8")},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    sb.set_env("LUMENHOLLOW_TOKEN_BIN", sb.dir().write_script("bin/token-cli", r.body));
    EXPECT_EQ(sb.request("action=refresh"), r.answer(sb));
  }
}

TEST(HostileTools, ToolNamesWithQuotesSpacesAndShellSyntax) {
  // A name is one shell word, whatever it holds: it either names the file or names nothing.
  const std::string names[] = {
      "it's a \"login\" tool",
      "two  spaces and 'quotes' '\\'' ",
      "$(touch PWNED) `touch PWNED` ; touch PWNED & | > PWNED",
      "-n",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(printable(name));
    sandbox sb;
    const std::string path = sb.dir().write_script("odd dir 'with' \"quotes\"/" + name,
                                                   tool_body("printf '%s\\n' \"$line\""));
    sb.set_env("LUMENHOLLOW_LOGIN_BIN", path);
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(cli_answered(sb, "t@x", true)));
    EXPECT_EQ(sb.request("action=start"), start_document());
    EXPECT_FALSE(std::filesystem::exists(sb.root() + "/PWNED"));
  }
  for (const std::string& name : names) {
    SCOPED_TRACE("missing " + printable(name));
    sandbox sb;
    sb.set_env("LUMENHOLLOW_LOGIN_BIN", name + "; touch '" + sb.root() + "/PWNED'");
    EXPECT_EQ(sb.request("action=start"), hostile::login_cli_unavailable);
    EXPECT_FALSE(std::filesystem::exists(sb.root() + "/PWNED"));
  }
}

}  // namespace
