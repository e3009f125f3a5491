// The two requests to the client's token endpoint: redeeming an authorization code (with the PKCE
// verifier) and refreshing an access token.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "oauth/client_file.h"
#include "oauth/failure.h"

struct token_reply {
  std::string access_token;
  std::string refresh_token;  // empty when the server keeps the old one
  std::string id_token;
  std::string scope;
  std::int64_t expires_in = 0;  // an hour when the server does not say
  std::string detail;  // the server's or the transport's words when it failed, for messages
};

// none, or: invalid_grant (the server rejects the grant), client_invalid (it rejects the client),
// server_unreachable, server_error (any other refusal, or an answer without an access token).
oauth_failure token_redeem_code(const oauth_client& client, std::string_view code,
                                std::string_view code_verifier, std::string_view redirect_uri,
                                token_reply& reply);
oauth_failure token_refresh(const oauth_client& client, std::string_view refresh_token,
                            token_reply& reply);
