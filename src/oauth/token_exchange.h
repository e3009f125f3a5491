// The two requests to the client's token endpoint: redeeming an authorization code (with the PKCE
// verifier) and refreshing an access token.
#pragma once

#include <string_view>

#include "oauth/client_file.h"
#include "oauth/failure.h"
#include "oauth/token_answer.h"

// As token_answer_read, or server_unreachable (or server_error) when no answer came.
oauth_failure token_redeem_code(const oauth_client& client, std::string_view code,
                                std::string_view code_verifier, std::string_view redirect_uri,
                                token_reply& reply);
oauth_failure token_refresh(const oauth_client& client, std::string_view refresh_token,
                            token_reply& reply);
