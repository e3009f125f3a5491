// How a tool is found and started: the program starts it itself from its words, finding a bare name
// on PATH and running a file without "#!" under /bin/sh, and tells "not found" from "found but
// cannot be executed" as a shell would report them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "harness.h"

namespace {

const std::string started = R"({"auth_url":"https://started"})";
const reply started_reply = expected::start_reply({.auth_url = "https://started"});
const reply unavailable =
    expected::tool_error("cli_unavailable", expected::login_cli_missing_detail);
const reply ran_silently = expected::tool_error("start_failed");

// A file with the given content and mode under the sandbox's root.
std::string put_file(const sandbox& sb, const std::string& path, const std::string& content,
                     std::filesystem::perms mode) {
  const std::string full = sb.write_file(path, content);
  std::filesystem::permissions(full, mode);
  return full;
}

constexpr auto executable = std::filesystem::perms::owner_all;
constexpr auto readable = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

// Without "#!" the file is a script for /bin/sh; it records its arguments one per line.
std::string plain_script(const sandbox& sb) {
  return "printf '%s\\n' \"$@\" > '" + sb.root() + "/args'\necho '" + started + "'\n";
}

TEST(ToolStart, HowTheToolIsFoundAndStarted) {
  struct row {
    const char* name;
    std::function<void(sandbox&)> setup;
    reply want;
  };
  const row rows[] = {
      {"file without #! runs under /bin/sh",
       [](sandbox& sb) {
         sb.set_env("LUMENHOLLOW_LOGIN_BIN",
                    put_file(sb, "bin/plain", plain_script(sb), executable));
       },
       started_reply},
      {"bare name without #! on PATH",
       [](sandbox& sb) {
         put_file(sb, "bin/plain-login", plain_script(sb), executable);
         sb.set_env("PATH", sb.root() + "/bin:/usr/bin:/bin");
         sb.set_env("LUMENHOLLOW_LOGIN_BIN", "plain-login");
       },
       started_reply},
      {"bare name: a directory and a file that cannot be executed are passed over",
       [](sandbox& sb) {
         sb.make_dir("first/my-login");
         put_file(sb, "second/my-login", "#!/bin/sh\necho '{}'\n", readable);
         sb.tool_named("my-login").on("--start", started);
         sb.set_env("PATH", sb.root() + "/first:" + sb.root() + "/second:" + sb.root() +
                                "/bin:/usr/bin:/bin");
         sb.set_env("LUMENHOLLOW_LOGIN_BIN", "my-login");
       },
       started_reply},
      {"bare name that only names a file that cannot be executed",
       [](sandbox& sb) {
         put_file(sb, "second/my-login", "#!/bin/sh\necho '{}'\n", readable);
         sb.set_env("PATH", sb.root() + "/second");
         sb.set_env("LUMENHOLLOW_LOGIN_BIN", "my-login");
       },
       unavailable},
      {"directory given as the tool",
       [](sandbox& sb) { sb.set_env("LUMENHOLLOW_LOGIN_BIN", sb.make_dir("bin/a-dir")); },
       ran_silently},
      {"path through a file",
       [](sandbox& sb) {
         sb.set_env("LUMENHOLLOW_LOGIN_BIN", sb.write_file("bin/file", "") + "/login");
       },
       unavailable},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    r.setup(sb);
    EXPECT_EQ(sb.request("action=start"), r.want);
  }
}

TEST(ToolStart, FileWithoutInterpreterLineGetsTheSameWords) {
  sandbox sb;
  sb.set_env("LUMENHOLLOW_LOGIN_BIN", put_file(sb, "bin/plain", plain_script(sb), executable));
  sb.request("action=finish&code=4%2F0A%20b*");
  std::ifstream args(sb.root() + "/args");
  std::string text((std::istreambuf_iterator<char>(args)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "--finish\n4/0A b*\n");
}

TEST(ToolStart, NoShellStandsBetweenTheProgramAndTheTool) {
  sandbox sb;
  sb.set_env("LUMENHOLLOW_LOGIN_BIN",
             sb.dir().write_script("bin/parent", "tr -d '\\n' < /proc/$PPID/comm > '" + sb.root() +
                                                     "/parent'\necho '" + started + "'"));
  EXPECT_EQ(sb.request("action=start"), started_reply);
  std::ifstream parent(sb.root() + "/parent");
  std::string name;
  std::getline(parent, name);
  // The kernel keeps the first 15 bytes of a process name.
  EXPECT_EQ(name, std::string("plugin_lumenhollow_login").substr(0, 15));
}

}  // namespace

TEST(ToolStart, NameWithAQuoteIsCutWhereItsQuotedWordEnded) {
  // The 509-byte limit on a name is that of a 512-byte single-quoted word, in which a quote took
  // four bytes: a 506-byte name with one quote fits, a longer one is cut to its first 506 bytes.
  sandbox sb;
  const std::string dir = sb.make_dir_of_length(506 - 9);
  fake_tool cli(dir.substr(0, dir.size() - 1), "it's-tool");
  ASSERT_EQ(cli.path().size(), 506u);
  cli.on("--start", started);
  for (const char* tail : {"", "x"}) {
    SCOPED_TRACE(std::string("name of ") + (*tail ? "507" : "506") + " bytes");
    sb.set_env("LUMENHOLLOW_LOGIN_BIN", cli.path() + tail);
    EXPECT_EQ(sb.request("action=start"), started_reply);
  }
  EXPECT_EQ(cli.calls().size(), 2u);
}
