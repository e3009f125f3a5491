// Revoking a refresh token at the client's revocation endpoint, so that a signed-out node's token
// is of no use to anyone who copied it.
#pragma once

#include <string>
#include <string_view>

#include "oauth/client_file.h"

struct revocation_result {
  bool confirmed = false;  // the server answered 200
  std::string detail;      // why not, for standard error
};

revocation_result token_revoke(const oauth_client& client, std::string_view token);
