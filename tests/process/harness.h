// Runs the built program as a web server would: a controlled environment, optional arguments and
// bytes on standard input in; the exact bytes on standard output and the exit status out. Each
// sandbox owns a throw-away directory holding the home directory, fake tools and their records.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "../support/temp_dir.h"

// What the program answered. Only the stdout bytes and the exit status take part in comparisons.
struct reply {
  std::string out;
  int exit_code = -1;           // -1 when the process did not exit normally
  std::int64_t started_at = 0;  // wall clock in seconds just before the start and after the end,
  std::int64_t ended_at = 0;    // so that clock-dependent members can be checked within a window

  bool operator==(const reply& other) const {
    return out == other.out && exit_code == other.exit_code;
  }
};
void PrintTo(const reply& r, std::ostream* os);

// The bytes with control and non-ASCII bytes written as escapes, for readable failure messages.
std::string printable(std::string_view bytes);

// The argument lists of a fake tool's runs, in order.
using calls = std::vector<std::vector<std::string>>;

// A fake command-line tool: a /bin/sh script that appends its arguments to a record file and prints
// the output set for its first argument. It also writes to its standard error, which the program
// must discard.
class fake_tool {
 public:
  fake_tool(std::string dir, std::string name);

  // When the first argument equals `first_arg`, print `output` (bytes, as given) and exit `code`.
  fake_tool& on(std::string first_arg, std::string output, int code = 0);
  // For every other first argument (and no argument at all).
  fake_tool& otherwise(std::string output, int code = 0);

  const std::string& path() const { return path_; }
  // The argument lists of every run, in order; empty when the tool never ran.
  std::vector<std::vector<std::string>> calls() const;
  // Whether the record file exists at all (it is created by the first run).
  bool ran() const;

 private:
  struct answer {
    std::string first_arg;
    std::string output;
    int code;
  };
  void write_script() const;

  std::string dir_;
  std::string path_;
  std::string record_;
  std::vector<answer> answers_;
  answer fallback_{"", "", 0};
};

class sandbox {
 public:
  sandbox();
  sandbox(const sandbox&) = delete;
  sandbox& operator=(const sandbox&) = delete;

  // The environment starts empty apart from PATH=/usr/bin:/bin and HOME=<home()>.
  sandbox& set_env(const std::string& name, std::string value);
  sandbox& unset_env(const std::string& name);
  // Starts the program with the child-exit signal ignored, as some web servers do.
  sandbox& ignore_child_signal();

  // Runs the program with these arguments after argv[0] and these bytes on standard input.
  reply run(const std::vector<std::string>& args = {}, std::string_view input = {}) const;
  // A CGI request: QUERY_STRING set to `query`, no arguments.
  reply request(std::string query, std::string_view body = {});

  const std::string& root() const { return root_; }
  const std::string& home() const { return home_; }
  // The throw-away directory at root(), for its own helpers such as write_script.
  const temp_dir& dir() const { return dir_; }

  // State files at the places where the program looks for them under home().
  std::string accounts_path() const;
  std::string selected_account_path() const;
  std::string env_file_path() const;
  std::string pending_marker_path() const;
  void write_accounts(std::string_view content) const;
  void write_selected_account(std::string_view content) const;
  void write_env_file(std::string_view content) const;
  void write_pending_marker(std::string_view content = {}) const;

  // Writes a file (creating its directories) at an absolute path or one relative to root().
  std::string write_file(const std::string& path, std::string_view content) const;
  std::string make_dir(const std::string& path) const;
  // A directory under root() whose path, final slash included, is exactly `length` bytes long
  // (at least root().size() + 3), for tests at the program's path limits.
  std::string make_dir_of_length(std::size_t length) const;

  // A fake tool in <root>/bin. The login and token CLIs are also put into the environment
  // (LUMENHOLLOW_LOGIN_BIN, LUMENHOLLOW_TOKEN_BIN); the variant with a name only creates it.
  fake_tool& login_cli();
  fake_tool& token_cli();
  fake_tool& tool_named(const std::string& name);
  // Points a tool variable at a path where nothing exists, so the shell reports exit code 127.
  void missing_login_cli();
  void missing_token_cli();

 private:
  temp_dir dir_{"lumenhollow-proc"};
  const std::string& root_ = dir_.path();
  std::string home_;
  std::map<std::string, std::string> env_;
  std::map<std::string, fake_tool> tools_;
  bool ignore_child_signal_ = false;
};

// Expected answers, spelled out from the program's documented responses.
namespace expected {

inline constexpr std::string_view json_head =
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "\r\n";
inline constexpr std::string_view html_first_line = "Content-Type: text/html; charset=utf-8\r\n";
inline constexpr std::string_view discovery_line =
    "{\"name\":\"google\",\"desc\":\"Google login\"}\n";
inline constexpr std::string_view version_line = "plugin_lumenhollow_login 1.0.0\n";
inline constexpr std::string_view refusal =
    "Status: 401 Unauthorized\r\n"
    "Content-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "\r\n"
    "{\"ok\":false,\"error\":\"invalid node password\"}\n";

inline constexpr std::string_view missing_code_detail = "pass the authorization code as &code=...";
inline constexpr std::string_view invalid_code_detail =
    "the value is not an authorization code (empty, too long, or contains shell characters)";
inline constexpr std::string_view login_cli_missing_detail =
    "the login CLI is not on this node; install VELTRANE CODE or set LUMENHOLLOW_LOGIN_BIN";
inline constexpr std::string_view token_cli_missing_detail =
    "the token CLI is not on this node; install VELTRANE CODE or set LUMENHOLLOW_TOKEN_BIN";
inline constexpr std::string_view no_auth_url_detail =
    "the login CLI did not return an authorization URL";
inline constexpr std::string_view finish_no_json_detail = "the login CLI returned no JSON";
inline constexpr std::string_view finish_rejected_detail =
    "Google rejected the code, or the account needs verification in a browser";
inline constexpr std::string_view refresh_default_detail =
    "the token CLI could not refresh the session; sign in again";
inline constexpr std::string_view default_start_hint =
    "Sign in with Google and approve. The browser lands on localhost - copy the whole address (or "
    "just the code) and paste it here.";

// A success document: the JSON header block and `body` followed by a line feed.
reply json_reply(std::string_view body, int exit_code = 0);
// An error envelope behind "Status: <status_line>". Error code and detail are given as they appear
// between the quotes of the JSON text (already escaped); an empty detail leaves the member out.
reply error_reply(std::string_view status_line, std::string_view code,
                  std::string_view detail = {});
// The 200 envelopes of tool failures.
reply tool_error(std::string_view code, std::string_view detail = {});

// The twelve status members. Texts are written between quotes as given (already escaped).
struct status {
  bool logged_in = false;
  std::string email;
  std::string account;
  std::string project_id;
  std::string profile;
  std::int64_t expires_at = 0;
  std::int64_t expires_in_sec = 0;
  bool expired = false;
  bool has_refresh = false;
  bool pending = false;
  bool cli_present = false;
  std::string credentials_path;
};
std::string status_members(const status& s);

// The status of this sandbox's node with no state files and no login CLI answer.
status nothing(const sandbox& sb);
// The same with a signed-in account holding a refresh token, named `email` in both name members.
status signed_in(const sandbox& sb, const std::string& email);

reply status_reply(const status& s);     // the status action
reply done_reply(const status& s);       // finish, signed in
reply refreshed_reply(const status& s);  // refresh, refreshed

// The start action's document; the defaults are the program's when the tool leaves a member out.
struct start {
  std::string flow = "paste_code";
  std::string auth_url;
  std::string expires_in = "900";  // as written in the document
  std::string hint = std::string(default_start_hint);
};
reply start_reply(const start& s);
reply cancelled_reply();

}  // namespace expected

// The program reads the clock once; a test knows only the window around the run. When the
// "expires_in_sec" member of the answer equals expires_at - now for some now in that window, it is
// rewritten to expires_at - started_at, so the whole answer can be compared with one expectation
// built from started_at. Any other value is left as it is and shows up in the comparison.
reply settle_expires_in(reply r, std::int64_t expires_at);

// Percent-encodes every byte ("%41" for "A").
std::string percent_encode_all(std::string_view bytes);
