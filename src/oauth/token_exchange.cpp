#include "oauth/token_exchange.h"

#include "oauth/curl_handle.h"
#include "oauth/json_fields.h"
#include "oauth/url_text.h"

namespace {

// Servers that leave out expires_in: access tokens commonly live an hour.
constexpr std::int64_t default_token_lifetime_seconds = 3600;
// Servers' error texts reach the console; a long one is cut at a character boundary.
constexpr std::size_t detail_limit_bytes = 200;

std::string cut_utf8(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

oauth_failure token_post(const oauth_client& client, const std::string& form, token_reply& reply) {
  http_reply http = http_post_form(client.token_uri, form);
  if (http.outcome != http_outcome::answered) {
    reply.detail = http.detail;
    return http.outcome == http_outcome::unreachable ? oauth_failure::server_unreachable
                                                     : oauth_failure::server_error;
  }
  nlohmann::json answer = nlohmann::json::parse(http.body, nullptr, false);
  if (http.status == 200) {
    reply.access_token = json_text_member(answer, "access_token");
    reply.refresh_token = json_text_member(answer, "refresh_token");
    reply.id_token = json_text_member(answer, "id_token");
    reply.scope = json_text_member(answer, "scope");
    reply.expires_in = json_int_member(answer, "expires_in");
    if (reply.expires_in <= 0) reply.expires_in = default_token_lifetime_seconds;
    if (!reply.access_token.empty()) return oauth_failure::none;
    reply.detail = "the answer holds no access token";
    return oauth_failure::server_error;
  }

  std::string error = json_text_member(answer, "error");
  std::string description = json_text_member(answer, "error_description");
  reply.detail =
      cut_utf8(description.empty() ? error : error + ": " + description, detail_limit_bytes);
  if (reply.detail.empty()) reply.detail = "HTTP status " + std::to_string(http.status);
  if (error == "invalid_grant") return oauth_failure::invalid_grant;
  if (error == "invalid_client" || error == "unauthorized_client") {
    return oauth_failure::client_invalid;
  }
  return oauth_failure::server_error;
}

void add_client(std::string& form, const oauth_client& client) {
  url_add_param(form, "client_id", client.client_id);
  url_add_param(form, "client_secret", client.client_secret);
}

}  // namespace

oauth_failure token_redeem_code(const oauth_client& client, std::string_view code,
                                std::string_view code_verifier, std::string_view redirect_uri,
                                token_reply& reply) {
  std::string form;
  url_add_param(form, "grant_type", "authorization_code");
  url_add_param(form, "code", code);
  url_add_param(form, "code_verifier", code_verifier);
  url_add_param(form, "redirect_uri", redirect_uri);
  add_client(form, client);
  return token_post(client, form, reply);
}

oauth_failure token_refresh(const oauth_client& client, std::string_view refresh_token,
                            token_reply& reply) {
  std::string form;
  url_add_param(form, "grant_type", "refresh_token");
  url_add_param(form, "refresh_token", refresh_token);
  add_client(form, client);
  oauth_failure failure = token_post(client, form, reply);
  return failure == oauth_failure::invalid_grant ? oauth_failure::refresh_rejected : failure;
}
