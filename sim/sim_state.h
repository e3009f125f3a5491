// The simulated tools' view of the node: where the sign-in state files lie (the same rules the
// plugin reads them by), how they are read and written, and the demo identity.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sim_json.h"

struct sim_paths {
  std::string accounts;  // array of {email, refresh_token, ...}
  std::string selected;  // selected_account.txt beside the accounts file
  std::string env_file;  // GOOGLE_PROJECT_ID= / GOOGLE_ACCOUNT= lines
  std::string pending;   // marker of a started, unfinished sign-in
};
sim_paths sim_locate();

// Demo identity and timing, each from an environment variable with a default.
std::string sim_email();            // LUMENHOLLOW_SIM_EMAIL, demo@example.com
std::string sim_project();          // LUMENHOLLOW_SIM_PROJECT, demo-project-1234
long long sim_token_ttl_seconds();  // LUMENHOLLOW_SIM_TOKEN_TTL, 3599

inline constexpr long long sim_pending_ttl_seconds = 600;

bool sim_read(const std::string& path, std::string& out);
// Writes through a temporary file and a rename, so a concurrent status request never sees half a
// file; creates missing directories first.
bool sim_write(const std::string& path, std::string_view content);
void sim_remove(const std::string& path);

long long sim_now();
// `length` characters from the URL-safe base64 alphabet, from the system's random source.
std::string sim_random_token(std::size_t length);

// The account the node reports: the selected one when the accounts file holds it, else the first
// with an e-mail address. Returns its index in `accounts`, or -1.
int sim_chosen_account(const std::vector<sim_object>& accounts, std::string_view selected);

// Whether the account holds a refresh token; a null one counts as none, as the plugin reads it.
bool sim_has_refresh(const sim_object& account);

// Accounts file content; an absent or malformed file gives no accounts.
std::vector<sim_object> sim_load_accounts(const sim_paths& paths);
std::string sim_load_selected(const sim_paths& paths);

// Value of KEY= in the environment file, empty when absent.
std::string sim_env_value(const sim_paths& paths, std::string_view key);

// Prints one JSON line on standard output, as the real tools do.
void sim_print(const sim_object& answer);

std::string sim_percent_encode(std::string_view text);
std::string sim_percent_decode(std::string_view text);
