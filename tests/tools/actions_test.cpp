#include "tools/actions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cgi/framing.h"

namespace {

namespace fs = std::filesystem;

class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~scoped_env() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

template <typename F>
std::string capture_stdout(F body) {
  std::fflush(stdout);
  FILE* sink = std::tmpfile();
  int saved = dup(STDOUT_FILENO);
  dup2(fileno(sink), STDOUT_FILENO);
  body();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string out;
  std::rewind(sink);
  char piece[4096];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, sink)) > 0;) out.append(piece, n);
  std::fclose(sink);
  return out;
}

const std::string json_head =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";

std::string envelope(const std::string& status, const std::string& error,
                     const std::string& detail) {
  std::string body = "{\"ok\":false,\"error\":\"" + error + "\"";
  if (!detail.empty()) body += ",\"detail\":\"" + detail + "\"";
  return "Status: " + status + "\r\n" + json_head + body + "}\n";
}

// A node with no state files, fake login and token CLIs in a temporary directory, and every
// variable the actions read pointing there. The fake login CLI answers "--status" with "{}" and
// records the arguments of any other call.
class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/actions_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const std::pair<const char*, fs::path> paths[] = {
        {"HOME", dir_},
        {"LUMENHOLLOW_LOGIN_BIN", dir_ / "login"},
        {"LUMENHOLLOW_TOKEN_BIN", dir_ / "token"},
        {"LUMENHOLLOW_CREDS_PATH", dir_ / "accounts.json"},
        {"LUMENHOLLOW_ENV_DIR", dir_ / "env"},
        {"LUMENHOLLOW_PENDING_PATH", dir_ / "pending"},
    };
    for (const auto& [name, path] : paths) {
      env_.push_back(std::make_unique<scoped_env>(name, path.c_str()));
    }
    env_.push_back(std::make_unique<scoped_env>("CONTENT_LENGTH", nullptr));
  }
  void TearDown() override {
    env_.clear();
    fs::remove_all(dir_);
  }

  void tool(const char* name, const std::string& answer) {
    fs::path path = dir_ / name;
    std::ofstream(path) << "#!/bin/sh\ncase \"$1\" in --status) echo '{}' ;; *)\n"
                        << "printf '%s\\n' \"$#\" \"$@\" > '" << (dir_ / "args").string() << "'\n"
                        << answer << "\n;; esac\n";
    fs::permissions(path, fs::perms::owner_all);
  }
  void no_tool(const char* name) { fs::remove(dir_ / name); }

  std::string recorded_args() {
    std::ifstream in(dir_ / "args");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::vector<std::unique_ptr<scoped_env>> env_;
};

struct start_case {
  const char* name;
  const char* answer;  // nullptr: the login CLI is not installed
  int exit_status;
  std::string response;
};

TEST_F(ActionTest, StartAnswers) {
  const std::string hint =
      "Sign in with Google and approve. The browser lands on localhost - copy the whole address "
      "(or just the code) and paste it here.";
  const start_case cases[] = {
      {"address only: defaults", "echo '{\"auth_url\":\"https://a/x\"}'", exit_ok,
       json_head +
           "{\"ok\":true,\"flow\":\"paste_code\",\"auth_url\":\"https://a/x\","
           "\"expires_in\":900,\"hint\":\"" +
           hint + "\"}\n"},
      {"tool values",
       "echo progress; echo '{\"flow\":\"f\",\"auth_url\":\"u\\\"\",\"hint\":\"h\","
       "\"expires_in\":600}'",
       exit_ok,
       json_head + "{\"ok\":true,\"flow\":\"f\",\"auth_url\":\"u\\\"\","
                   "\"expires_in\":600,\"hint\":\"h\"}\n"},
      {"negative lifetime", "echo '{\"auth_url\":\"u\",\"hint\":\"h\",\"expires_in\":-5}'", exit_ok,
       json_head + "{\"ok\":true,\"flow\":\"paste_code\",\"auth_url\":\"u\","
                   "\"expires_in\":900,\"hint\":\"h\"}\n"},
      {"ok without address", "echo '{\"ok\":true}'", exit_failure,
       envelope("200 OK", "start_failed", "the login CLI did not return an authorization URL")},
      {"tool error", "echo '{\"ok\":false,\"error\":\"busy\",\"auth_url\":\"u\"}'", exit_failure,
       envelope("200 OK", "busy", "the login CLI did not return an authorization URL")},
      {"no JSON line", "echo 'no json here'", exit_failure, envelope("200 OK", "start_failed", "")},
      {"not installed", nullptr, exit_failure,
       envelope("200 OK", "cli_unavailable",
                "the login CLI is not on this node; install VELTRANE CODE or set "
                "LUMENHOLLOW_LOGIN_BIN")},
  };
  for (const start_case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer != nullptr)
      tool("login", c.answer);
    else
      no_tool("login");
    int status = -1;
    EXPECT_EQ(capture_stdout([&] { status = action_start(); }), c.response);
    EXPECT_EQ(status, c.exit_status);
  }
}

TEST_F(ActionTest, CancelAnswersTheSameWhateverTheTool) {
  const std::string cancelled =
      json_head + "{\"ok\":true,\"state\":\"cancelled\",\"pending\":false}\n";
  for (const char* answer : {"echo '{\"ok\":false}'; exit 3", "echo '{\"ok\":true}'"}) {
    tool("login", answer);
    EXPECT_EQ(capture_stdout([] { EXPECT_EQ(action_cancel(), exit_ok); }), cancelled);
  }
  EXPECT_EQ(recorded_args(), "1\n--cancel\n");
  no_tool("login");
  EXPECT_EQ(capture_stdout([] { EXPECT_EQ(action_cancel(), exit_ok); }), cancelled);
}

TEST_F(ActionTest, PastedCodeReachesTheToolAsOneArgument) {
  tool("login", "echo '{\"ok\":false,\"error\":\"invalid_grant\"}'");
  std::string out = capture_stdout([] {
    EXPECT_EQ(action_finish("action=finish&code=http%3A%2F%2Flocalhost%2F%3Fstate%3Ds%26code%3D"
                            "4%2F0A+b%2Bc%3F%C3%A9*~%26scope%3Dx"),
              exit_failure);
  });
  EXPECT_EQ(recorded_args(), "2\n--finish\n4/0A b+c?\xc3\xa9*~\n");
  EXPECT_EQ(out, envelope("200 OK", "invalid_grant",
                          "Google rejected the code, or the account needs verification in a "
                          "browser"));
}

struct finish_case {
  const char* name;
  const char* query;
  const char* answer;  // nullptr: the login CLI is not installed
  bool reaches_tool;
  std::string response;
};

TEST_F(ActionTest, FinishFailures) {
  const std::string invalid = envelope(
      "400 Bad Request", "invalid_code",
      "the value is not an authorization code (empty, too long, or contains shell characters)");
  const std::string rejected =
      "Google rejected the code, or the account needs verification in a browser";
  const finish_case cases[] = {
      {"no code", "action=finish", "echo '{\"ok\":true}'", false,
       envelope("400 Bad Request", "missing_code", "pass the authorization code as &code=...")},
      {"empty code", "action=finish&code=", "echo '{\"ok\":true}'", false, invalid},
      {"only a line break", "action=finish&code=%0A%0D", "echo '{\"ok\":true}'", false, invalid},
      {"decoded quote", "action=finish&code=a%27b", "echo '{\"ok\":true}'", false, invalid},
      {"ampersand after code=", "action=finish&code=code%3D%26x", "echo '{\"ok\":true}'", false,
       invalid},
      {"no JSON", "action=finish&code=abc", "echo done", true,
       envelope("200 OK", "finish_failed", "the login CLI returned no JSON")},
      {"not ok, no error", "action=finish&code=abc", "echo '{\"ok\":false}'", true,
       envelope("200 OK", "finish_failed", rejected)},
      {"missing ok counts as failure", "action=finish&code=abc", "echo '{\"x\":1}'", true,
       envelope("200 OK", "finish_failed", rejected)},
      {"not installed", "action=finish&code=abc", nullptr, false,
       envelope("200 OK", "cli_unavailable",
                "the login CLI is not on this node; install VELTRANE CODE or set "
                "LUMENHOLLOW_LOGIN_BIN")},
  };
  for (const finish_case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.answer != nullptr)
      tool("login", c.answer);
    else
      no_tool("login");
    fs::remove(dir_ / "args");
    int status = -1;
    EXPECT_EQ(capture_stdout([&] { status = action_finish(c.query); }), c.response);
    EXPECT_EQ(status, exit_failure);
    EXPECT_EQ(fs::exists(dir_ / "args"), c.reaches_tool);
  }
}

TEST_F(ActionTest, FinishDoneCarriesFreshStatus) {
  tool("login", "echo '{\"ok\":true}'");
  int status = -1;
  std::string out = capture_stdout([&] { status = action_finish("code=code%3D"); });
  EXPECT_EQ(status, exit_ok);
  EXPECT_EQ(recorded_args(), "2\n--finish\ncode=\n");
  EXPECT_EQ(out.rfind(json_head + "{\"ok\":true,\"state\":\"done\",\"logged_in\":", 0), 0u) << out;
  EXPECT_NE(out.find(",\"cli_present\":true,"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 2), "}\n");
}

TEST_F(ActionTest, RefreshFailureIsADocumentWithoutStatusLine) {
  const std::string failed = json_head + "{\"ok\":false,\"error\":\"refresh_failed\",\"detail\":";
  const std::string fallback = "\"the token CLI could not refresh the session; sign in again\"}\n";
  struct {
    const char* answer;
    std::string response;
  } cases[] = {
      {"echo '{\"ok\":false,\"error\":\"invalid_grant\"}'", failed + "\"invalid_grant\"}\n"},
      {"echo '{\"ok\":false,\"error\":42}'", failed + "\"42\"}\n"},
      {"echo '{\"ok\":false}'", failed + fallback},
      {"echo 'token expired'", failed + fallback},
      {"echo '{\"ok\":true}'; echo '{\"project_id\":\"p\"}'", failed + fallback},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    tool("token", c.answer);
    int status = -1;
    EXPECT_EQ(capture_stdout([&] { status = action_refresh(); }), c.response);
    EXPECT_EQ(status, exit_failure);
  }
  EXPECT_EQ(recorded_args(), "1\n-local\n");
  no_tool("token");
  EXPECT_EQ(capture_stdout([] { EXPECT_EQ(action_refresh(), exit_failure); }),
            envelope("200 OK", "cli_unavailable",
                     "the token CLI is not on this node; install VELTRANE CODE or set "
                     "LUMENHOLLOW_TOKEN_BIN"));
}

TEST_F(ActionTest, RefreshSuccessTakesTheToolsProject) {
  const std::string opening = json_head + "{\"ok\":true,\"refreshed\":true,\"logged_in\":";
  tool("login", "exit 0");
  tool("token", "echo '{\"ok\":true,\"project_id\":\"proj-7\"}'");
  std::string out = capture_stdout([] { EXPECT_EQ(action_refresh(), exit_ok); });
  EXPECT_EQ(out.rfind(opening, 0), 0u) << out;
  EXPECT_NE(out.find(",\"project_id\":\"proj-7\","), std::string::npos) << out;

  tool("token", "echo '{\"ok\":true}'");
  no_tool("login");  // the fresh status still answers without a login CLI
  out = capture_stdout([] { EXPECT_EQ(action_refresh(), exit_ok); });
  EXPECT_EQ(out.rfind(opening, 0), 0u) << out;
  EXPECT_NE(out.find(",\"project_id\":\"\","), std::string::npos) << out;
  EXPECT_NE(out.find(",\"cli_present\":false,"), std::string::npos) << out;
}

}  // namespace
