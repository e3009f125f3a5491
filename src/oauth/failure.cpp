#include "oauth/failure.h"

#include <cstddef>
#include <iterator>

namespace {

// Indexed by oauth_failure; the static_assert below keeps the two in step.
constexpr failure_text failure_table[] = {
    {"", ""},
    {"usage", "unknown command line; see --help"},
    {"missing_code", "no authorization code was given"},
    {"access_denied", "the sign-in was not approved; start again"},
    {"no_pending_login", "no sign-in is in progress; start one first"},
    {"login_expired", "the sign-in took too long and has expired; start again"},
    {"state_mismatch", "the pasted address belongs to another sign-in; start again"},
    {"invalid_grant",
     "the sign-in server rejected the code: used already, expired or from another sign-in; start "
     "again"},
    {"invalid_grant", "the refresh token was revoked or has expired; sign in again"},
    {"client_missing", "the OAuth client file is missing; download the Desktop app client JSON"},
    {"client_invalid", "the OAuth client file is not a usable Desktop app client"},
    {"server_unreachable", "the sign-in server could not be reached"},
    {"server_error", "the sign-in server answered with an error"},
    {"no_email", "the sign-in server did not tell the account's e-mail address"},
    {"no_refresh_token", "the sign-in server sent no refresh token; start again"},
    {"no_account", "no account is signed in; sign in first"},
    {"accounts_broken", "the accounts file cannot be read as a JSON array; it was left as it is"},
    {"storage_failed", "the sign-in state could not be written"},
    {"busy", "another sign-in step is still running; try again"},
    {"accounts_broken",
     "the accounts file is nested too deeply to be read safely; it was left as it is"},
    {"accounts_broken",
     "the account in use is not in the form the tools write (an array of objects with text "
     "e-mails); nothing was sent and the accounts file was left as it is"},
    {"env_unreadable", "the environment file exists but cannot be read; it was left as it is"},
    {"state_unsafe",
     "a sign-in state file or its directory can be changed by other users; nothing was used"},
    {"location_too_long", "a sign-in state file's location is too long for the tools"},
    {"unknown_account", "no stored account has that e-mail address"},
};
static_assert(std::size(failure_table) ==
              static_cast<std::size_t>(oauth_failure::unknown_account) + 1);

}  // namespace

failure_text failure_describe(oauth_failure failure) {
  return failure_table[static_cast<std::size_t>(failure)];
}
