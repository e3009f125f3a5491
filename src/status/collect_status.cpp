// The status record, gathered in a fixed order: accounts file (with the selected account), the
// environment file, the pending-login marker, then the login CLI, which can only add to what the
// local files gave.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/platform.h"
#include "runner/tool_runner.h"
#include "state/account_choice.h"
#include "state/locations.h"
#include "status/login_status.h"
#include "text/json_reader.h"

namespace {

using name_256 = fixed_text<256>;

// Environment-file lines this long or longer are skipped whole, never cut.
constexpr std::size_t env_line_bytes = 512;
constexpr std::string_view project_key = "GOOGLE_PROJECT_ID=";
constexpr std::string_view account_key = "GOOGLE_ACCOUNT=";
constexpr char profile_name[] = "lumenhollow";

// Values at or above this are milliseconds; the login CLI prints either.
constexpr std::int64_t expires_at_ms_threshold = 100000000000;

void take_account(const char* accounts, const account_name& selected, login_status& status) {
  account_choice choice = account_choose(accounts, selected.view());
  status.email = choice.email;
  status.has_refresh = choice.has_refresh;
  status.logged_in = choice.has_refresh;
}

// KEY=value lines; the first non-empty value of each key wins and is taken verbatim.
void read_env_lines(const char* text, login_status& status) {
  std::string_view rest(text);
  while (!rest.empty()) {
    std::size_t feed = rest.find('\n');
    std::string_view raw = rest.substr(0, feed);
    rest.remove_prefix(feed == std::string_view::npos ? rest.size() : feed + 1);
    if (raw.empty() || raw.size() >= env_line_bytes) continue;

    char line[env_line_bytes];
    std::memcpy(line, raw.data(), raw.size());
    line[raw.size()] = '\0';
    trim_tail(line);
    for (char* p = line; *p != '\0'; ++p) {
      if (*p == '\r') *p = ' ';
    }
    std::string_view view(line);
    if (view.starts_with(project_key) && status.project_id.empty()) {
      status.project_id.assign(view.substr(project_key.size()));
    } else if (view.starts_with(account_key) && status.account.empty()) {
      status.account.assign(view.substr(account_key.size()));
    }
  }
}

void read_env_file(login_status& status) {
  env_file_text path;
  env_file_path(path);
  heap_text text = read_file(path.c_str());
  if (!text) return;
  read_env_lines(text.get(), status);
  status.profile.assign(profile_name);
}

void cross_fill_names(login_status& status) {
  if (status.email.empty() && !status.account.empty()) status.email = status.account;
  if (!status.email.empty() && status.account.empty()) status.account = status.email;
}

void merge_login_cli(login_status& status) {
  buf capture;
  if (run_capture(login_bin(), {"--status"}, capture) != run_ran) return;
  const char* start = last_json_line(capture);
  if (start == nullptr) return;
  const char* end = capture.data + capture.len;
  status.cli_present = 1;

  name_256 identity;
  json_str_field(start, end, "identity", identity);
  // A present path replaces the credentials path, even when it is the empty string.
  json_str_field(start, end, "path", status.credentials_path);
  if (json_bool_field(start, end, "logged_in", 0)) status.logged_in = 1;
  if (json_bool_field(start, end, "has_refresh", 0)) status.logged_in = status.has_refresh = 1;
  if (json_bool_field(start, end, "pending", 0)) status.pending = 1;

  std::int64_t expires_at = json_num_field(start, end, "expires_at");
  if (expires_at >= expires_at_ms_threshold) {
    status.expires_at = expires_at / 1000;
  } else if (expires_at > 0) {
    status.expires_at = expires_at;
  }

  if (!identity.empty()) {
    if (status.email.empty()) status.email = identity;
    if (status.account.empty()) status.account = identity;
  }
}

// Clamped, not truncated to the low 32 bits: a far-future expiry must not wrap to a wrong lifetime.
std::int32_t seconds_left(std::int64_t expires_at, std::int64_t now) {
  constexpr std::int64_t most = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t least = std::numeric_limits<std::int32_t>::min();
  if (now < expires_at - most) return static_cast<std::int32_t>(most);  // before it can overflow
  std::int64_t left = expires_at - now;
  return static_cast<std::int32_t>(left < least ? least : left);
}

}  // namespace

int collect_status(login_status& status) {
  return collect_status_at(status, platform_now_seconds());
}

int collect_status_at(login_status& status, std::int64_t now) {
  status = login_status{};
  creds_path(status.credentials_path);

  account_name selected;
  selected_account_read(selected);
  if (heap_text accounts = read_file(status.credentials_path.c_str())) {
    take_account(accounts.get(), selected, status);
  }
  read_env_file(status);
  cross_fill_names(status);

  path_1024 pending;
  pending_path(pending);
  status.pending = platform_exists_not_dir(pending.c_str());

  merge_login_cli(status);

  if (status.expires_at > 0) {
    status.expires_in_sec = seconds_left(status.expires_at, now);
    status.expired = status.expires_at <= now ? 1 : 0;
  }
  if (status.logged_in == 0) {
    status.expired = 0;
    status.expires_in_sec = 0;
  }
  return status.logged_in;
}
