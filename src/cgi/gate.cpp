// The node password gate: three carriers, tried in order, the first match admits.
#include "cgi/gate.h"

#include <cstring>

#include "cgi/query.h"
#include "cgi/request.h"

namespace {

constexpr std::size_t pwd_field_bytes = 256;
constexpr char bearer_scheme[] = "bearer ";
constexpr std::size_t bearer_scheme_len = sizeof bearer_scheme - 1;

const char* skip_spaces(const char* p) {
  while (*p == ' ') ++p;  // only 0x20: a tab is part of the text
  return p;
}

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The token of an "Authorization: Bearer <token>" header, or nullptr for any other scheme.
const char* bearer_token(const char* header) {
  const char* p = skip_spaces(header);
  for (std::size_t i = 0; i < bearer_scheme_len; ++i) {
    if (ascii_lower(p[i]) != bearer_scheme[i]) return nullptr;
  }
  return skip_spaces(p + bearer_scheme_len);
}

}  // namespace

int secret_equals(std::string_view given, std::string_view secret) {
  // Every byte is compared, whatever differs first, so the time taken does not reveal how long a
  // correct prefix of a guess was.
  if (secret.empty()) return given.empty() ? 1 : 0;
  unsigned difference = given.size() == secret.size() ? 0u : 1u;
  for (std::size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i]) ^
                  static_cast<unsigned char>(secret[i % secret.size()]);
  }
  return difference == 0 ? 1 : 0;
}

int gate_admits(const request& req) {
  const char* password = req.password;
  if (password == nullptr || *password == '\0') return 1;

  if (req.password_header != nullptr && secret_equals(req.password_header, password)) return 1;

  const char* token = req.authorization != nullptr ? bearer_token(req.authorization) : nullptr;
  if (token != nullptr && secret_equals(token, password)) return 1;

  fixed_text<pwd_field_bytes> pwd;
  if (get_query_val(req.query, "pwd", pwd) && secret_equals(pwd.view(), password)) return 1;
  return 0;
}
