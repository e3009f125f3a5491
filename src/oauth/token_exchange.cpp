#include "oauth/token_exchange.h"

#include "oauth/http_post.h"
#include "oauth/url_text.h"

namespace {

oauth_failure token_post(const oauth_client& client, const std::string& form, token_reply& reply) {
  http_reply http = http_post_form(client.token_uri, form);
  if (http.outcome != http_outcome::answered) {
    reply.detail = http.detail;
    return http.outcome == http_outcome::unreachable ? oauth_failure::server_unreachable
                                                     : oauth_failure::server_error;
  }
  return token_answer_read(http.status, http.body, reply);
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
