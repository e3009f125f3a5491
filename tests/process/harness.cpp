#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// The program waits for its tools without a time limit; a hung run must still end the test.
constexpr int run_timeout_ms = 30000;

std::string read_bytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// One word for /bin/sh. Sandbox paths hold no single quote, but stay correct if one ever does.
std::string sh_quote(std::string_view word) {
  std::string q = "'";
  for (char c : word) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

std::string json_bool(bool value) {
  return value ? "true" : "false";
}

}  // namespace

std::string printable(std::string_view bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    switch (c) {
      case '\r':
        s += "\\r";
        break;
      case '\n':
        s += "\\n\n";
        break;  // keep multi-line answers readable
      case '\t':
        s += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", c);
          s += hex;
        } else {
          s += static_cast<char>(c);
        }
    }
  }
  return s;
}

void PrintTo(const reply& r, std::ostream* os) {
  *os << "exit " << r.exit_code << ", " << r.out.size() << " bytes:\n" << printable(r.out);
}

// ---- fake_tool

fake_tool::fake_tool(std::string dir, std::string name)
    : dir_(std::move(dir)), path_(dir_ + "/" + name), record_(dir_ + "/" + name + ".calls") {
  write_script();
}

fake_tool& fake_tool::on(std::string first_arg, std::string output, int code) {
  answers_.push_back({std::move(first_arg), std::move(output), code});
  write_script();
  return *this;
}

fake_tool& fake_tool::otherwise(std::string output, int code) {
  fallback_ = {"", std::move(output), code};
  write_script();
  return *this;
}

void fake_tool::write_script() const {
  // Outputs live in files beside the script, so any bytes can be printed without shell quoting.
  std::string script = "#!/bin/sh\n";
  // Record: the argument count, then each argument, all NUL-terminated; one entry per run.
  script += "{ printf '%d\\0' \"$#\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } >> " +
            sh_quote(record_) + "\n";
  script += "echo 'fake tool diagnostics on stderr' >&2\n";
  script += "case \"$1\" in\n";
  for (std::size_t i = 0; i < answers_.size(); ++i) {
    std::string out = path_ + ".out" + std::to_string(i);
    write_bytes(out, answers_[i].output);
    script += "  " + sh_quote(answers_[i].first_arg) + ") cat " + sh_quote(out) + "; exit " +
              std::to_string(answers_[i].code) + " ;;\n";
  }
  script += "esac\n";
  std::string out = path_ + ".out";
  write_bytes(out, fallback_.output);
  script += "cat " + sh_quote(out) + "\nexit " + std::to_string(fallback_.code) + "\n";
  write_bytes(path_, script);
  fs::permissions(path_, fs::perms::owner_all);
}

std::vector<std::vector<std::string>> fake_tool::calls() const {
  std::vector<std::vector<std::string>> runs;
  std::string rec = read_bytes(record_);
  std::size_t pos = 0;
  auto next_field = [&](std::string& field) {
    std::size_t nul = rec.find('\0', pos);
    if (nul == std::string::npos) return false;
    field = rec.substr(pos, nul - pos);
    pos = nul + 1;
    return true;
  };
  std::string field;
  while (pos < rec.size() && next_field(field)) {
    std::vector<std::string> args(static_cast<std::size_t>(std::atoi(field.c_str())));
    for (auto& a : args) {
      if (!next_field(a)) ADD_FAILURE() << "truncated record " << record_;
    }
    runs.push_back(std::move(args));
  }
  return runs;
}

bool fake_tool::ran() const {
  return fs::exists(record_);
}

// ---- sandbox

sandbox::sandbox() {
  home_ = root_ + "/home";
  fs::create_directories(home_);
  fs::create_directories(root_ + "/bin");
  env_["PATH"] = "/usr/bin:/bin";
  env_["HOME"] = home_;
}

sandbox& sandbox::set_env(const std::string& name, std::string value) {
  env_[name] = std::move(value);
  return *this;
}

sandbox& sandbox::unset_env(const std::string& name) {
  env_.erase(name);
  return *this;
}

sandbox& sandbox::ignore_child_signal() {
  ignore_child_signal_ = true;
  return *this;
}

reply sandbox::run(const std::vector<std::string>& args, std::string_view input) const {
  const std::string in_path = root_ + "/stdin.bin";
  const std::string err_path = root_ + "/stderr.txt";
  write_bytes(in_path, input);

  std::vector<std::string> env_strings;
  for (const auto& [name, value] : env_) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string binary = PLUGIN_BINARY;
  std::vector<std::string> argv_strings{binary};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  reply r;
  int out_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return r;
  }
  const int in_fd = ::open(in_path.c_str(), O_RDONLY | O_CLOEXEC);
  const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (in_fd < 0 || err_fd < 0) {
    ADD_FAILURE() << "cannot open the standard input or error file";
    return r;
  }

  r.started_at = static_cast<std::int64_t>(std::time(nullptr));
  // fork, not posix_spawn: the child-exit signal must be ignored in the child alone. Ignoring it
  // here around the start let a child that ended before it was restored be reaped by the kernel,
  // and waitpid then had no exit status to give.
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_fd, STDIN_FILENO);
    ::dup2(out_pipe[1], STDOUT_FILENO);
    ::dup2(err_fd, STDERR_FILENO);
    // Bare file names resolve against the working directory: keep them inside the sandbox.
    if (::chdir(root_.c_str()) != 0) ::_exit(126);
    if (ignore_child_signal_) ::signal(SIGCHLD, SIG_IGN);  // stays ignored across exec
    ::execve(binary.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  const int start_error = errno;
  ::close(in_fd);
  ::close(err_fd);
  ::close(out_pipe[1]);
  if (pid < 0) {
    ::close(out_pipe[0]);
    ADD_FAILURE() << "cannot start " << binary << ": " << std::strerror(start_error);
    return r;
  }

  char chunk[65536];
  bool timed_out = false;
  for (;;) {
    pollfd p{out_pipe[0], POLLIN, 0};
    int ready = ::poll(&p, 1, run_timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) {
      timed_out = true;
      ::kill(pid, SIGKILL);
      break;
    }
    ssize_t n = ::read(out_pipe[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    r.out.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(out_pipe[0]);
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (waited != pid) {
    ADD_FAILURE() << "no exit status for the program: " << std::strerror(errno);
    return r;
  }
  r.ended_at = static_cast<std::int64_t>(std::time(nullptr));
  if (timed_out) ADD_FAILURE() << "the program did not finish within " << run_timeout_ms << " ms";
  if (WIFEXITED(status))
    r.exit_code = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    ADD_FAILURE() << "the program died of signal " << WTERMSIG(status);

  // The program logs nothing and discards its tools' standard error; sanitizer reports land here.
  std::string err = read_bytes(err_path);
  if (!err.empty()) ADD_FAILURE() << "standard error is not empty:\n" << err;
  return r;
}

reply sandbox::request(std::string query, std::string_view body) {
  env_["QUERY_STRING"] = std::move(query);
  return run({}, body);
}

std::string sandbox::accounts_path() const {
  return home_ + "/.config/google-accounts/lumenhollow_accounts.json";
}
std::string sandbox::selected_account_path() const {
  return home_ + "/.config/google-accounts/selected_account.txt";
}
std::string sandbox::env_file_path() const {
  return home_ + "/.veltrane/veltrane-env/lumenhollow.txt";
}
std::string sandbox::pending_marker_path() const {
  return home_ + "/.veltrane/.login-pending/lumenhollow-default.json";
}

void sandbox::write_accounts(std::string_view content) const {
  write_bytes(accounts_path(), content);
}
void sandbox::write_selected_account(std::string_view content) const {
  write_bytes(selected_account_path(), content);
}
void sandbox::write_env_file(std::string_view content) const {
  write_bytes(env_file_path(), content);
}
void sandbox::write_pending_marker(std::string_view content) const {
  write_bytes(pending_marker_path(), content);
}

std::string sandbox::write_file(const std::string& path, std::string_view content) const {
  return write_bytes(path.starts_with("/") ? path : root_ + "/" + path, content);
}

std::string sandbox::make_dir(const std::string& path) const {
  std::string full = path.starts_with("/") ? path : root_ + "/" + path;
  fs::create_directories(full);
  return full;
}

std::string sandbox::make_dir_of_length(std::size_t length) const {
  std::string dir = root_ + "/";
  while (dir.size() < length) {
    // Components stay below the usual 255-byte name limit; a rest of one byte would be an empty
    // component, so the step before it is shortened.
    std::size_t left = length - dir.size();
    std::size_t n = left > 201 ? 200 : left - 1;
    if (left > 201 && left - 201 < 2) n = 150;
    dir += std::string(n, 'd') + "/";
  }
  fs::create_directories(dir);
  return dir;
}

fake_tool& sandbox::tool_named(const std::string& name) {
  auto it = tools_.find(name);
  if (it == tools_.end()) it = tools_.emplace(name, fake_tool(root_ + "/bin", name)).first;
  return it->second;
}

fake_tool& sandbox::login_cli() {
  fake_tool& tool = tool_named("login-cli");
  env_["LUMENHOLLOW_LOGIN_BIN"] = tool.path();
  return tool;
}

fake_tool& sandbox::token_cli() {
  fake_tool& tool = tool_named("token-cli");
  env_["LUMENHOLLOW_TOKEN_BIN"] = tool.path();
  return tool;
}

void sandbox::missing_login_cli() {
  env_["LUMENHOLLOW_LOGIN_BIN"] = root_ + "/bin/no-such-login-cli";
}
void sandbox::missing_token_cli() {
  env_["LUMENHOLLOW_TOKEN_BIN"] = root_ + "/bin/no-such-token-cli";
}

// ---- expected answers

namespace expected {

reply json_reply(std::string_view body, int exit_code) {
  return reply{std::string(json_head) + std::string(body) + "\n", exit_code};
}

reply error_reply(std::string_view status_line, std::string_view code, std::string_view detail) {
  std::string out = "Status: " + std::string(status_line) + "\r\n" + std::string(json_head);
  out += "{\"ok\":false,\"error\":\"" + std::string(code) + "\"";
  if (!detail.empty()) out += ",\"detail\":\"" + std::string(detail) + "\"";
  out += "}\n";
  return reply{out, 1};
}

reply tool_error(std::string_view code, std::string_view detail) {
  return error_reply("200 OK", code, detail);
}

std::string status_members(const status& s) {
  std::string m;
  m += "\"logged_in\":" + json_bool(s.logged_in) + ",";
  m += "\"email\":\"" + s.email + "\"";
  m += ",\"account\":\"" + s.account + "\"";
  m += ",\"project_id\":\"" + s.project_id + "\"";
  m += ",\"profile\":\"" + s.profile + "\"";
  m += ",\"expires_at\":" + std::to_string(s.expires_at);
  m += ",\"expires_in_sec\":" + std::to_string(s.expires_in_sec);
  m += ",\"expired\":" + json_bool(s.expired);
  m += ",\"has_refresh\":" + json_bool(s.has_refresh);
  m += ",\"pending\":" + json_bool(s.pending);
  m += ",\"cli_present\":" + json_bool(s.cli_present);
  m += ",\"credentials_path\":\"" + s.credentials_path + "\"";
  return m;
}

status nothing(const sandbox& sb) {
  status s;
  s.credentials_path = sb.accounts_path();
  return s;
}

status signed_in(const sandbox& sb, const std::string& email) {
  status s = nothing(sb);
  s.email = s.account = email;
  s.logged_in = s.has_refresh = true;
  return s;
}

reply status_reply(const status& s) {
  return json_reply("{\"ok\":true,\"plugin\":\"plugin_lumenhollow_login\",\"version\":\"1.0.0\"," +
                    status_members(s) + "}");
}

reply done_reply(const status& s) {
  return json_reply("{\"ok\":true,\"state\":\"done\"," + status_members(s) + "}");
}

reply refreshed_reply(const status& s) {
  return json_reply("{\"ok\":true,\"refreshed\":true," + status_members(s) + "}");
}

reply start_reply(const start& s) {
  return json_reply("{\"ok\":true,\"flow\":\"" + s.flow + "\",\"auth_url\":\"" + s.auth_url +
                    "\",\"expires_in\":" + s.expires_in + ",\"hint\":\"" + s.hint + "\"}");
}

reply cancelled_reply() {
  return json_reply("{\"ok\":true,\"state\":\"cancelled\",\"pending\":false}");
}

}  // namespace expected

reply settle_expires_in(reply r, std::int64_t expires_at) {
  static constexpr std::string_view key = "\"expires_in_sec\":";
  std::size_t at = r.out.find(key);
  if (at == std::string::npos) return r;
  std::size_t begin = at + key.size();
  std::size_t end = begin;
  if (end < r.out.size() && r.out[end] == '-') ++end;
  while (end < r.out.size() && r.out[end] >= '0' && r.out[end] <= '9') ++end;
  std::int64_t value = std::strtoll(r.out.substr(begin, end - begin).c_str(), nullptr, 10);
  if (value >= expires_at - r.ended_at && value <= expires_at - r.started_at) {
    r.out.replace(begin, end - begin, std::to_string(expires_at - r.started_at));
  }
  return r;
}

std::string percent_encode_all(std::string_view bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    s += hex;
  }
  return s;
}
