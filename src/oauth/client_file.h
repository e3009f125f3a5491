// The OAuth client the operator downloaded: a "Desktop app" client's JSON, {"installed":{...}}.
// The client secret is read from here and nowhere else.
#pragma once

#include <string>
#include <string_view>

#include "oauth/failure.h"

struct oauth_client {
  std::string client_id;
  std::string client_secret;
  std::string project_id;  // may be empty
  std::string auth_uri;
  std::string token_uri;
  std::string revoke_uri;    // Google's when the file names none
  std::string redirect_uri;  // the first loopback http:// one, else http://localhost
  std::string path;          // where it was read from, for messages
};

// none, client_missing (no file at its location) or client_invalid (unreadable, not JSON, nested
// too deeply, or a required member missing). Warns when other users can read the file.
oauth_failure client_file_load(oauth_client& client);

// The parsing half, on the file's text: none or client_invalid.
oauth_failure client_file_parse(std::string_view text, oauth_client& client);
