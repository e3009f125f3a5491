// Status collection from arbitrary state files in a throw-away home: the accounts file, the
// selected-account file, the environment file, the pending-login marker, and a login CLI that is
// either missing or prints arbitrary text. Every text field must stay terminated inside its
// capacity, and the record must agree with what follows from the inputs without reading JSON.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_check.h"
#include "status/login_status.h"

namespace fs = std::filesystem;

namespace {

struct state_home {
  std::string home;
  std::string accounts, selected, env, pending, cli_output, cli_script;
};

const state_home& home() {
  static state_home h = [] {
    state_home s;
    char pattern[] = "/tmp/fuzz-status-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern) != nullptr);
    s.home = pattern;
    fs::create_directories(s.home + "/.config/google-accounts");
    fs::create_directories(s.home + "/.veltrane/veltrane-env");
    fs::create_directories(s.home + "/.veltrane/.login-pending");
    s.accounts = s.home + "/.config/google-accounts/lumenhollow_accounts.json";
    s.selected = s.home + "/.config/google-accounts/selected_account.txt";
    s.env = s.home + "/.veltrane/veltrane-env/lumenhollow.txt";
    s.pending = s.home + "/.veltrane/.login-pending/lumenhollow-default.json";
    s.cli_output = s.home + "/cli-output";
    s.cli_script = s.home + "/login-cli";
    std::ofstream(s.cli_script) << "#!/bin/sh\nexec cat '" << s.cli_output << "'\n";
    ::chmod(s.cli_script.c_str(), 0755);
    setenv("HOME", s.home.c_str(), 1);
    // Registered while the record is still being built, so it runs after the record is gone:
    // it keeps its own copy of the path.
    static char home_copy[sizeof pattern];
    std::memcpy(home_copy, pattern, sizeof pattern);
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(home_copy, ignored);
    });
    for (const char* name :
         {"LUMENHOLLOW_CREDS_PATH", "LUMENHOLLOW_ENV_DIR", "LUMENHOLLOW_PENDING_PATH"}) {
      unsetenv(name);
    }
    return s;
  }();
  return h;
}

void place(const std::string& path, bool present, const std::string& content) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
  if (present) std::ofstream(path, std::ios::binary) << content;
}

bool json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
std::string trimmed(std::string text) {
  text = std::string(text.c_str());
  while (!text.empty() && json_space(text.back())) text.pop_back();
  return text;
}

void model_env(const std::string& file, std::string& project, std::string& account) {
  std::string text(file.c_str());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t feed = text.find('\n', start);
    if (feed == std::string::npos) feed = text.size();
    std::string line = text.substr(start, feed - start);
    start = feed + 1;
    if (line.empty() || line.size() >= 512) continue;
    line = trimmed(line);
    for (char& c : line) {
      if (c == '\r') c = ' ';
    }
    if (line.rfind("GOOGLE_PROJECT_ID=", 0) == 0 && project.empty()) {
      project = line.substr(18, 255);
    } else if (line.rfind("GOOGLE_ACCOUNT=", 0) == 0 && account.empty()) {
      account = line.substr(15, 255);
    }
  }
}

template <std::size_t N>
bool terminated(const fixed_text<N>& field) {
  return std::memchr(field.bytes, 0, N) != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const state_home& h = home();
  restart_interrupted_calls();
  const unsigned flags = data[0];
  // selected account, environment file, CLI output, then the accounts file (NULs and all).
  std::vector<std::string> f = fuzz_fields(data + 1, size - 1, 4);
  const bool has_selected = flags & 1, has_env = flags & 2, has_accounts = flags & 4;
  const bool pending_file = flags & 8, pending_dir = flags & 16, cli_runs = flags & 32;

  place(h.selected, has_selected, f[0]);
  place(h.env, has_env, f[1]);
  place(h.accounts, has_accounts, f[3]);
  place(h.pending, pending_file && !pending_dir, "{}");
  if (pending_dir) fs::create_directory(h.pending);
  // A missing CLI is an absolute path to nothing, so the shell gives up without a search.
  if (cli_runs) place(h.cli_output, true, f[2]);
  setenv("LUMENHOLLOW_LOGIN_BIN", cli_runs ? h.cli_script.c_str() : "/nonexistent/login-cli", 1);

  const std::int64_t now = 1700000000;
  login_status s;
  std::memset(static_cast<void*>(&s), 0x5A, sizeof s);  // the collection resets it all itself
  const int result = collect_status_at(s, now);

  // Shape: flags are 0 or 1, texts terminated inside their fields.
  for (int flag : {s.logged_in, s.has_refresh, s.pending, s.expired, s.cli_present}) {
    FUZZ_CHECK(flag == 0 || flag == 1);
  }
  FUZZ_CHECK(result == s.logged_in);
  FUZZ_CHECK(terminated(s.email) && terminated(s.account) && terminated(s.project_id) &&
             terminated(s.credentials_path) && terminated(s.profile));

  // What can be known without the JSON reader under test: the environment file's lines, the
  // marker, where the CLI's answer could come from, and how the members relate to each other.
  std::string env_project, env_account;
  if (has_env) model_env(f[1], env_project, env_account);
  const bool marker = pending_file && !pending_dir;
  const std::string cli_text(f[2].c_str());
  const bool cli_json =
      cli_runs && (cli_text.starts_with('{') || cli_text.find("\n{") != std::string::npos);
  FUZZ_CHECK(s.cli_present == (cli_json ? 1 : 0));
  FUZZ_CHECK(s.project_id.view() == env_project);  // the CLI never names the project
  FUZZ_CHECK(s.profile.view() == (has_env ? "lumenhollow" : ""));
  if (!env_account.empty()) FUZZ_CHECK(s.account.view() == env_account);
  FUZZ_CHECK(s.pending == (marker ? 1 : s.pending));  // the CLI can raise it, never clear it
  if (!cli_json) {
    FUZZ_CHECK(s.pending == (marker ? 1 : 0));
    FUZZ_CHECK(s.expires_at == 0);
    FUZZ_CHECK(s.credentials_path.view() ==
               h.home + "/.config/google-accounts/lumenhollow_accounts.json");
    if (!has_accounts) FUZZ_CHECK(s.email.view() == env_account && s.logged_in == 0);
  }

  // Derived members: the lifetime is clamped to 32 bits, and both vanish when not signed in.
  std::int64_t left = s.expires_at > 0 ? s.expires_at - now : 0;
  left = left > INT32_MAX ? INT32_MAX : left < INT32_MIN ? INT32_MIN : left;
  const int expired = s.expires_at > 0 && s.expires_at <= now ? 1 : 0;
  FUZZ_CHECK(s.expires_at >= 0);
  FUZZ_CHECK(s.expires_in_sec == (s.logged_in ? left : 0));
  FUZZ_CHECK(s.expired == (s.logged_in ? expired : 0));
  FUZZ_CHECK(!s.has_refresh || s.logged_in);
  FUZZ_CHECK(s.email.empty() == s.account.empty());
  return 0;
}
