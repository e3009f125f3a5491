// Reading a token endpoint's answer: what it grants, or why it refused, checked before any of it
// is stored or shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "oauth/failure.h"

struct token_reply {
  std::string access_token;
  std::string refresh_token;  // empty when the server keeps the old one
  std::string id_token;
  std::string scope;
  std::int64_t expires_in = 0;  // an hour when the server does not say
  std::string detail;  // the server's or the transport's words when it failed, for messages
};

// Servers' error texts reach the console; a long one is cut at a character boundary.
inline constexpr std::size_t detail_limit_bytes = 200;

// none, or: invalid_grant (the server rejects the grant), client_invalid (it rejects the client),
// server_error (any other refusal, or an answer without a usable access token). On none, every
// token present is clean (see server_token_is_clean), the scope is printable ASCII and expires_in
// lies within 0..lifetime_limit_seconds; on a failure only `detail` is set (at most
// detail_limit_bytes, and cleaned of control characters only when shown).
oauth_failure token_answer_read(long http_status, std::string_view body, token_reply& reply);
