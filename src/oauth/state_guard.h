// What the tools check before a command touches its state, as ssh does for its own files: every
// location fits the tools' path fields whole, and no state file, nor the directory that holds it,
// can be changed by another user.
//
// Checked for each state file (accounts, selected account, environment, pending marker, client):
// the file itself when it exists, and the directory that holds it; when that directory does not
// exist yet, the nearest existing directory above it, in which the tools will create it (there a
// shared directory with the sticky bit, like /tmp, is accepted: no one else can move what the tools
// create in it). Directories further up (the home directory's parents) are the system's to keep.
#pragma once

#include <string>
#include <string_view>

#include "oauth/failure.h"

// none, location_too_long (the detail names the variable) or state_unsafe (the detail names the
// path and the fix).
oauth_failure state_guard_check(std::string& detail);

// A warning on standard error when others can read the file (the client file holds the secret).
void state_guard_warn_if_readable(const std::string& path, std::string_view what);
