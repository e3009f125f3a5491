#include "oauth/state_guard.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "oauth/tool_output.h"
#include "platform/platform.h"
#include "platform/private_files.h"
#include "state/locations.h"

namespace {

// The first of the variables that is set and not empty; else HOME, from which the rest derive.
std::string_view source_of(std::initializer_list<const char*> variables) {
  for (const char* name : variables) {
    const char* value = platform_env(name);
    if (value != nullptr && value[0] != '\0') return name;
  }
  return "HOME";
}

struct state_location {
  std::string path;
  bool whole = false;
  std::string_view source;
};

template <typename Resolve>
state_location locate(Resolve resolve, std::initializer_list<const char*> variables) {
  path_1024 path;
  bool whole = resolve(path) != 0;
  return {path.c_str(), whole, source_of(variables)};
}

void locate_all(state_location (&out)[5]) {
  out[0] = locate(creds_path, {"LUMENHOLLOW_CREDS_PATH"});
  out[1] = locate(selected_account_path, {"LUMENHOLLOW_CREDS_PATH"});
  out[2] = locate(client_path, {"LUMENHOLLOW_CLIENT_PATH", "LUMENHOLLOW_CREDS_PATH"});
  out[3] = locate(pending_path, {"LUMENHOLLOW_PENDING_PATH"});
  env_file_text env;
  bool env_whole = env_file_path(env) != 0;
  out[4] = {env.c_str(), env_whole, source_of({"LUMENHOLLOW_ENV_DIR", "LUMENHOLLOW_CREDS_PATH"})};
}

// The directory of a path without its last separator: "." for a bare name, "/" for the root.
std::string parent_of(std::string_view path) {
  std::string_view part = platform_dir_part(path);
  if (part.empty()) return ".";
  if (part.size() > 1) part.remove_suffix(1);
  return std::string(part);
}

// The sentence's detail for a path others could change, or empty when it is safe.
std::string unsafe_detail(const std::string& path, const path_standing& standing,
                          bool sticky_accepted) {
  if (standing.foreign_owner) {
    return path + " belongs to " + standing.owner + ", neither to you (" + platform_running_user() +
           ") nor to root: remove it or chown it to yourself";
  }
  bool shared_dir = standing.is_dir && standing.sticky;
  if (!standing.others_can_write || (sticky_accepted && shared_dir)) return {};
  // A shared directory like /tmp must stay as it is; the state file is what has to move.
  if (shared_dir) {
    return path + " is shared with other users: keep the state files in a directory of your own";
  }
  return path + " can be written by other users: chmod " + (standing.is_dir ? "700 " : "600 ") +
         path;
}

std::string unsafe_detail_for(const std::string& file) {
  if (std::string detail = unsafe_detail(file, platform_path_standing(file), false);
      !detail.empty()) {
    return detail;
  }
  std::string dir = parent_of(file);
  path_standing standing = platform_path_standing(dir);
  bool created_below = false;
  while (!standing.exists && dir != "/" && dir != ".") {
    dir = parent_of(dir);
    standing = platform_path_standing(dir);
    created_below = true;
  }
  return standing.exists ? unsafe_detail(dir, standing, created_below) : std::string();
}

}  // namespace

oauth_failure state_guard_check(std::string& detail) {
  // A HOME the tools cannot hold whole would send them to another home directory unnoticed.
  if (const char* home = platform_env("HOME");
      home != nullptr && std::strlen(home) >= home_text_bytes) {
    detail = "HOME is longer than " + std::to_string(home_text_bytes - 1) + " bytes";
    return oauth_failure::location_too_long;
  }
  state_location locations[5];
  locate_all(locations);
  for (const state_location& location : locations) {
    if (!location.whole) {
      detail = std::string(location.source) + " makes a location longer than " +
               std::to_string(path_bytes - 1) + " bytes";
      return oauth_failure::location_too_long;
    }
  }
  for (const state_location& location : locations) {
    detail = unsafe_detail_for(location.path);
    if (!detail.empty()) return oauth_failure::state_unsafe;
  }
  return oauth_failure::none;
}

void state_guard_warn_if_readable(const std::string& path, std::string_view what) {
  if (platform_path_standing(path).others_can_read) {
    tool_say("warning: " + std::string(what) + " " + path +
             " can be read by other users: chmod 600 " + path);
  }
}
