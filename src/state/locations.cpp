// Locations of the sign-in state files, recomputed on every call from the environment and the home
// directory.
#include "state/locations.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform/platform.h"

namespace {

home_lookup_fn home_lookup = platform_home_dir;
home_text home_area;

constexpr std::string_view selected_account_name = "selected_account.txt";
constexpr std::string_view accounts_name = "lumenhollow_accounts.json";
constexpr std::string_view pending_name = "lumenhollow-default.json";
constexpr std::string_view env_dir_name = "veltrane-env";
constexpr std::string_view client_name = "lumenhollow_client.json";

// A directory part beside the credentials path is used only while a path field still holds it
// with the name that follows (for the environment directory, the separator and the environment
// file's).
constexpr std::size_t env_dir_from_creds_max_bytes = path_bytes - 2 - env_file_name.size();

// A location variable set to the empty string counts as not set.
const char* env_location(const char* name) {
  const char* value = platform_env(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// The pieces one after another, cut at the field's capacity. Returns 1 when nothing was cut.
template <std::size_t N>
int assign_joined(fixed_text<N>& out, std::initializer_list<std::string_view> pieces) {
  std::size_t n = 0;
  int whole = 1;
  for (std::string_view piece : pieces) {
    std::size_t take = std::min(piece.size(), N - 1 - n);
    std::memcpy(out.bytes + n, piece.data(), take);
    n += take;
    if (take < piece.size()) whole = 0;
  }
  out.bytes[n] = '\0';
  return whole;
}

}  // namespace

const char* home_dir() {
  return home_lookup(home_area) != 0 ? home_area.c_str() : nullptr;
}

void home_dir_set_lookup_for_testing(home_lookup_fn lookup) {
  home_lookup = lookup != nullptr ? lookup : platform_home_dir;
}

int creds_path(path_1024& out) {
  if (const char* value = env_location("LUMENHOLLOW_CREDS_PATH")) return out.assign(value);
  if (const char* home = home_dir()) {
    const std::string_view sep = platform_separator();
    return assign_joined(out, {home, sep, ".config", sep, "google-accounts", sep, accounts_name});
  }
  return out.assign(accounts_name);
}

namespace {

// A file beside the accounts file, or the bare name when that path has no directory part or one
// too long for the name to fit behind it uncut (which does not count as whole).
int beside_creds(path_1024& out, std::string_view name) {
  path_1024 creds;
  int whole = creds_path(creds);
  std::string_view dir = platform_dir_part(creds.view());
  if (!dir.empty() && dir.size() + name.size() < path_bytes) {
    return assign_joined(out, {dir, name}) & whole;
  }
  out.assign(name);
  return dir.empty() ? whole : 0;
}

}  // namespace

int selected_account_path(path_1024& out) {
  return beside_creds(out, selected_account_name);
}

int client_path(path_1024& out) {
  if (const char* value = env_location("LUMENHOLLOW_CLIENT_PATH")) return out.assign(value);
  return beside_creds(out, client_name);
}

int env_dir_path(path_1024& out) {
  if (const char* value = env_location("LUMENHOLLOW_ENV_DIR")) return out.assign(value);
  // Only the variable counts here, never the home-derived credentials path.
  if (const char* creds_value = env_location("LUMENHOLLOW_CREDS_PATH")) {
    path_1024 creds;
    creds.assign(creds_value);
    std::string_view dir = platform_dir_part(creds.view());
    if (!dir.empty() && dir.size() <= env_dir_from_creds_max_bytes) {
      return assign_joined(out, {dir, env_dir_name});
    }
  }
  if (const char* home = home_dir()) {
    const std::string_view sep = platform_separator();
    return assign_joined(out, {home, sep, ".veltrane", sep, env_dir_name});
  }
  return out.assign(".");
}

int env_file_path(env_file_text& out) {
  path_1024 dir;
  int whole = env_dir_path(dir);
  return assign_joined(out, {dir.view(), platform_separator(), env_file_name}) & whole;
}

int pending_path(path_1024& out) {
  if (const char* value = env_location("LUMENHOLLOW_PENDING_PATH")) return out.assign(value);
  if (const char* home = home_dir()) {
    const std::string_view sep = platform_separator();
    return assign_joined(out, {home, sep, ".veltrane", sep, ".login-pending", sep, pending_name});
  }
  return out.assign(pending_name);
}

heap_text read_file(const char* path) {
  return platform_read_file(path, state_file_limit_bytes);
}
