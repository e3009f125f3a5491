#include "oauth/revocation.h"

#include "oauth/http_post.h"
#include "oauth/json_fields.h"
#include "oauth/url_text.h"

namespace {

// The server's error code goes to standard error: only a short, visible-ASCII one is repeated.
constexpr std::size_t error_code_limit_bytes = 64;

bool plain_word(std::string_view text) {
  if (text.empty() || text.size() > error_code_limit_bytes) return false;
  for (char c : text) {
    if (c <= ' ' || c > '~') return false;
  }
  return true;
}

}  // namespace

revocation_result token_revoke(const oauth_client& client, std::string_view token) {
  // The client authenticates as it does at the token endpoint: a revocation server may insist.
  std::string form;
  url_add_param(form, "token", token);
  url_add_param(form, "client_id", client.client_id);
  url_add_param(form, "client_secret", client.client_secret);
  http_reply http = http_post_form(client.revoke_uri, form);

  revocation_result result;
  if (http.outcome != http_outcome::answered) {
    result.detail = http.detail;
    return result;
  }
  if (http.status == 200) {
    result.confirmed = true;
    return result;
  }
  std::string error = json_text_member(nlohmann::json::parse(http.body, nullptr, false), "error");
  result.detail = "HTTP status " + std::to_string(http.status);
  if (plain_word(error)) result.detail += ", " + error;
  return result;
}
