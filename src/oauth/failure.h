// Every way a tool command can fail, with its two faces: the short code the login tool prints
// (the console's error code) and the English sentence the token tool prints (the console's detail)
// and both tools write to standard error.
#pragma once

#include <string_view>

enum class oauth_failure {
  none,
  usage,
  missing_code,
  access_denied,
  no_pending_login,
  login_expired,
  state_mismatch,
  invalid_grant,     // an authorization code the server rejects
  refresh_rejected,  // a refresh token the server rejects
  client_missing,
  client_invalid,
  server_unreachable,
  server_error,
  no_email,
  no_refresh_token,
  no_account,
  accounts_broken,
  storage_failed,
  busy,
  accounts_too_deep,  // reported as accounts_broken
  accounts_foreign,   // reported as accounts_broken
  env_unreadable,
  state_unsafe,
  location_too_long,
  unknown_account,
};

struct failure_text {
  std::string_view code;
  std::string_view sentence;
};

failure_text failure_describe(oauth_failure failure);
