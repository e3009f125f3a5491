// Where the sign-in state files lie. Each location can be moved by an environment variable;
// otherwise it is derived from the home directory; without one, a bare file name is used, which
// resolves against the working directory. Every path is recomputed on each call: nothing is cached.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"
#include "text/fixed_text.h"
#include "text/heap_text.h"

inline constexpr std::size_t path_bytes = 1024;
using path_1024 = fixed_text<path_bytes>;
// The environment file's name, joined to its directory with the platform's separator.
inline constexpr std::string_view env_file_name = "lumenhollow.txt";
// Room for a whole directory path, the separator and the file's name after it.
using env_file_text = fixed_text<path_bytes + 1 + env_file_name.size()>;

// The home directory in one static 512-byte area, overwritten by every call; nullptr when none.
const char* home_dir();

// Tests replace the home lookup: with HOME unset the password database still answers, so "no home
// directory" cannot be arranged through the environment alone. nullptr restores platform_home_dir.
using home_lookup_fn = int (*)(home_text& out);
void home_dir_set_lookup_for_testing(home_lookup_fn lookup);

// Each returns 1 when the location is whole, 0 when it was cut to its field (or, for a file beside
// the accounts file, fell back to its bare name because the directory did not fit). The program
// reads the cut location as it is; the tools refuse to use it.
int creds_path(path_1024& out);             // the accounts file
int selected_account_path(path_1024& out);  // beside the accounts file
int env_dir_path(path_1024& out);
int env_file_path(env_file_text& out);
int pending_path(path_1024& out);  // the pending-login marker
// The OAuth client file (a "Desktop app" client's JSON): LUMENHOLLOW_CLIENT_PATH, else beside the
// accounts file, so that moving the accounts file moves it too.
int client_path(path_1024& out);

// State files larger than this are treated as absent.
inline constexpr std::size_t state_file_limit_bytes = 8 * 1024 * 1024;

// The whole content of a regular file as a NUL-terminated heap block, or nullptr.
heap_text read_file(const char* path);
