#include "oauth/id_token.h"

#include "oauth/base64url.h"
#include "oauth/json_fields.h"

std::string id_token_email(std::string_view id_token) {
  // header.payload.signature
  std::size_t first = id_token.find('.');
  if (first == std::string_view::npos) return {};
  std::size_t second = id_token.find('.', first + 1);
  if (second == std::string_view::npos) return {};
  std::optional<std::string> payload =
      base64url_decode(id_token.substr(first + 1, second - first - 1));
  if (!payload) return {};
  return json_text_member(nlohmann::json::parse(*payload, nullptr, false), "email");
}
