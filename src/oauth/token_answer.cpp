#include "oauth/token_answer.h"

#include <nlohmann/json.hpp>

#include "oauth/json_fields.h"
#include "oauth/server_checks.h"

namespace {

// Servers that leave out expires_in: access tokens commonly live an hour.
constexpr std::int64_t default_token_lifetime_seconds = 3600;

std::string cut_utf8(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Any JSON number, held to the sane range; absent or not a number: the default.
std::int64_t lifetime_member(const nlohmann::json& answer) {
  auto found = answer.find("expires_in");
  if (found == answer.end() || !found->is_number()) return default_token_lifetime_seconds;
  if (found->is_number_unsigned()) {
    return found->get<std::uint64_t>() > static_cast<std::uint64_t>(lifetime_limit_seconds)
               ? lifetime_limit_seconds
               : found->get<std::int64_t>();
  }
  if (found->is_number_float()) {
    double value = found->get<double>();
    if (!(value > 0)) return 0;  // NaN included
    if (value >= static_cast<double>(lifetime_limit_seconds)) return lifetime_limit_seconds;
    return static_cast<std::int64_t>(value);
  }
  return lifetime_clamp(found->get<std::int64_t>());
}

bool scope_is_clean(std::string_view scope) {
  if (scope.size() > token_limit_bytes) return false;
  for (unsigned char c : scope) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

oauth_failure granted(const nlohmann::json& answer, token_reply& reply) {
  token_reply read;
  read.access_token = json_text_member(answer, "access_token");
  read.refresh_token = json_text_member(answer, "refresh_token");
  read.id_token = json_text_member(answer, "id_token");
  read.scope = json_text_member(answer, "scope");
  read.expires_in = lifetime_member(answer);
  if (read.access_token.empty()) {
    reply.detail = "the answer holds no access token";
    return oauth_failure::server_error;
  }
  for (const std::string* token : {&read.access_token, &read.refresh_token, &read.id_token}) {
    if (!token->empty() && !server_token_is_clean(*token)) {
      reply.detail = "the answer holds a token that is not plain visible text";
      return oauth_failure::server_error;
    }
  }
  if (!scope_is_clean(read.scope)) {
    reply.detail = "the answer holds a scope that is not plain text";
    return oauth_failure::server_error;
  }
  reply = std::move(read);
  return oauth_failure::none;
}

}  // namespace

oauth_failure token_answer_read(long http_status, std::string_view body, token_reply& reply) {
  nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
  if (!answer.is_object()) answer = nlohmann::json::object();
  if (http_status == 200) return granted(answer, reply);

  std::string error = json_text_member(answer, "error");
  std::string description = json_text_member(answer, "error_description");
  reply.detail =
      cut_utf8(description.empty() ? error : error + ": " + description, detail_limit_bytes);
  if (reply.detail.empty()) reply.detail = "HTTP status " + std::to_string(http_status);
  if (error == "invalid_grant") return oauth_failure::invalid_grant;
  if (error == "invalid_client" || error == "unauthorized_client") {
    return oauth_failure::client_invalid;
  }
  return oauth_failure::server_error;
}
