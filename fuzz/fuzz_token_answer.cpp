// A token endpoint's answer, as a hostile server may shape it. Whatever arrives, reading it ends;
// a grant holds only clean tokens, printable scope text and a lifetime within bounds; a refusal's
// words are bounded, and once made fit for a terminal hold no control character.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "fuzz_utf8.h"
#include "oauth/server_checks.h"
#include "oauth/token_answer.h"

namespace {

bool clean_or_empty(const std::string& token) {
  return token.empty() || server_token_is_clean(token);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  constexpr long statuses[] = {200, 400, 401, 500};
  long status = statuses[data[0] % 4];
  std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);

  token_reply reply;
  oauth_failure failure = token_answer_read(status, body, reply);
  if (failure == oauth_failure::none) {
    FUZZ_CHECK(status == 200);
    FUZZ_CHECK(server_token_is_clean(reply.access_token));
    FUZZ_CHECK(clean_or_empty(reply.refresh_token));
    FUZZ_CHECK(clean_or_empty(reply.id_token));
    FUZZ_CHECK(reply.scope.size() <= token_limit_bytes && !holds_control_or_separator(reply.scope));
    FUZZ_CHECK(reply.expires_in >= 0 && reply.expires_in <= lifetime_limit_seconds);
    FUZZ_CHECK(reply.detail.empty());
    return 0;
  }
  FUZZ_CHECK(failure == oauth_failure::server_error || failure == oauth_failure::invalid_grant ||
             failure == oauth_failure::client_invalid);
  FUZZ_CHECK(!reply.detail.empty() && reply.detail.size() <= detail_limit_bytes);
  FUZZ_CHECK(reply.access_token.empty() && reply.refresh_token.empty());

  // What standard error and the token tool's sentence show of it.
  std::string shown = server_text_for_terminal(reply.detail);
  FUZZ_CHECK(utf8_well_formed(shown) && !holds_control_or_separator(shown));
  FUZZ_CHECK(server_text_for_terminal(shown) == shown);
  // The same for any bytes at all, not only what a JSON string can carry.
  std::string raw = server_text_for_terminal(body);
  FUZZ_CHECK(utf8_well_formed(raw) && !holds_control_or_separator(raw));
  return 0;
}
