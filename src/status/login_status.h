// The sign-in status record, built afresh on every request from the state files and the login CLI.
#pragma once

#include <cstdint>

#include "text/buf.h"
#include "text/fixed_text.h"

struct login_status {
  int logged_in = 0;
  int has_refresh = 0;
  int pending = 0;
  int expired = 0;
  int cli_present = 0;
  fixed_text<256> email;
  fixed_text<256> account;
  fixed_text<256> project_id;
  fixed_text<1024> credentials_path;
  fixed_text<256> profile;
  std::int64_t expires_at = 0;  // seconds since the epoch; 0 when unknown
  std::int32_t expires_in_sec = 0;
};

// Fills the record (reset first) from the accounts, selected-account and environment files, the
// pending-login marker and the login CLI's "--status" answer. Returns logged_in.
int collect_status(login_status& status);
// The same with the clock given, so that tests can fix "now".
int collect_status_at(login_status& status, std::int64_t now);

// Appends the twelve status members, without braces, in their fixed order.
int emit_status(buf& out, const login_status& status);
