#include "sim_state.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::string env_or(const char* name, std::string_view fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

std::string home() {
  const char* value = std::getenv("HOME");
  if (value != nullptr && value[0] != '\0') return value;
  const passwd* entry = ::getpwuid(::geteuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string dir_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool make_dirs(const std::string& dir) {
  for (std::size_t at = 1; at <= dir.size(); ++at) {
    if (at != dir.size() && dir[at] != '/') continue;
    std::string part = dir.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

sim_paths sim_locate() {
  sim_paths p;
  std::string h = home();
  std::string creds = env_or("LUMENHOLLOW_CREDS_PATH", "");
  p.accounts = !creds.empty() ? creds
               : !h.empty()   ? h + "/.config/google-accounts/lumenhollow_accounts.json"
                              : "lumenhollow_accounts.json";
  p.selected = dir_of(p.accounts) + "selected_account.txt";

  std::string env_dir = env_or("LUMENHOLLOW_ENV_DIR", "");
  if (env_dir.empty() && !dir_of(creds).empty()) env_dir = dir_of(creds) + "veltrane-env";
  if (env_dir.empty()) env_dir = !h.empty() ? h + "/.veltrane/veltrane-env" : ".";
  p.env_file = env_dir + "/lumenhollow.txt";

  std::string pending = env_or("LUMENHOLLOW_PENDING_PATH", "");
  p.pending = !pending.empty() ? pending
              : !h.empty()     ? h + "/.veltrane/.login-pending/lumenhollow-default.json"
                               : "lumenhollow-default.json";
  return p;
}

std::string sim_email() {
  return env_or("LUMENHOLLOW_SIM_EMAIL", "demo@example.com");
}
std::string sim_project() {
  return env_or("LUMENHOLLOW_SIM_PROJECT", "demo-project-1234");
}

long long sim_token_ttl_seconds() {
  std::string text = env_or("LUMENHOLLOW_SIM_TOKEN_TTL", "3599");
  long long ttl = 3599;
  std::from_chars(text.data(), text.data() + text.size(), ttl);
  return ttl;
}

bool sim_read(const std::string& path, std::string& out) {
  out.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

bool sim_write(const std::string& path, std::string_view content) {
  std::string dir = dir_of(path);
  if (!dir.empty() && !make_dirs(dir)) return false;
  std::string temp = path + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  bool ok = ::close(fd) == 0 && done == content.size();
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

void sim_remove(const std::string& path) {
  ::unlink(path.c_str());
}

long long sim_now() {
  return static_cast<long long>(std::time(nullptr));
}

std::string sim_random_token(std::size_t length) {
  static constexpr char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out(length, 'A');
  std::FILE* f = std::fopen("/dev/urandom", "rb");
  if (f != nullptr) {
    std::string raw(length, '\0');
    if (std::fread(raw.data(), 1, length, f) == length)
      for (std::size_t i = 0; i < length; ++i)
        out[i] = alphabet[static_cast<unsigned char>(raw[i]) % 64];
    std::fclose(f);
  }
  return out;
}

int sim_chosen_account(const std::vector<sim_object>& accounts, std::string_view selected) {
  int first = -1;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    std::string email = sim_json_text(accounts[i], "email");
    if (email.empty()) continue;
    if (!selected.empty() && email == selected) return static_cast<int>(i);
    if (first < 0) first = static_cast<int>(i);
  }
  return first;
}

bool sim_has_refresh(const sim_object& account) {
  const sim_member* token = sim_json_get(account, "refresh_token");
  return token != nullptr && token->raw != "null";
}

std::vector<sim_object> sim_load_accounts(const sim_paths& paths) {
  std::vector<sim_object> accounts;
  std::string text;
  if (!sim_read(paths.accounts, text) || !sim_json_parse_objects(text, accounts)) accounts.clear();
  return accounts;
}

std::string sim_load_selected(const sim_paths& paths) {
  std::string text;
  sim_read(paths.selected, text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

std::string sim_env_value(const sim_paths& paths, std::string_view key) {
  std::string text;
  if (!sim_read(paths.env_file, text)) return {};
  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
      return std::string(line.substr(key.size() + 1));
  }
  return {};
}

void sim_print(const sim_object& answer) {
  std::string line = sim_json_write(answer);
  std::printf("%s\n", line.c_str());
}

std::string sim_percent_encode(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char ch : text) {
    bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                 ch == '-' || ch == '_' || ch == '.' || ch == '~';
    if (plain) {
      out += static_cast<char>(ch);
    } else {
      out += '%';
      out += hex[ch >> 4];
      out += hex[ch & 15];
    }
  }
  return out;
}

std::string sim_percent_decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    if (text[i] == '%' && i + 2 < text.size() &&
        std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr ==
            text.data() + i + 3) {
      out += static_cast<char>(value);
      i += 2;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
    }
  }
  return out;
}
