#include "oauth/server_checks.h"

namespace {

constexpr char32_t invalid_code_point = 0xFFFFFFFF;

// Decodes the UTF-8 sequence at the front of the text. Overlong forms, surrogates and values
// past U+10FFFF are invalid; an invalid sequence consumes one byte.
char32_t utf8_next(std::string_view& text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xC2 && lead <= 0xDF ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  char32_t value = length == 1   ? lead
                   : length == 2 ? lead & 0x1F
                   : length == 3 ? lead & 0x0F
                                 : lead & 0x07;
  bool valid = length != 0 && text.size() >= length;
  for (std::size_t i = 1; valid && i < length; ++i) {
    valid = (byte(i) & 0xC0) == 0x80;
    value = (value << 6) | (byte(i) & 0x3F);
  }
  constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (!valid || value < smallest[length] || value > 0x10FFFF ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    text.remove_prefix(1);
    return invalid_code_point;
  }
  text.remove_prefix(length);
  return value;
}

bool is_control(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Separators and characters that move or hide text: harmless to a program, misleading to a
// person reading a terminal or comparing two addresses.
bool is_separator_or_format(char32_t c) {
  return c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069) || (c >= 0x200B && c <= 0x200F) || c == 0xFEFF ||
         (c >= 0xFFF9 && c <= 0xFFFB);
}

bool is_white_space(char32_t c) {
  return c == ' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

}  // namespace

bool server_token_is_clean(std::string_view token) {
  if (token.empty() || token.size() > token_limit_bytes) return false;
  for (unsigned char c : token) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

std::string_view server_email_fault(std::string_view email) {
  if (email.size() > email_limit_bytes) return "the e-mail address is too long";
  std::size_t at_signs = 0;
  while (!email.empty()) {
    char32_t c = utf8_next(email);
    if (c == invalid_code_point) return "the e-mail address is not valid UTF-8";
    if (is_control(c)) return "the e-mail address holds a control character";
    if (is_white_space(c) || is_separator_or_format(c) || c == 0x85) {
      return "the e-mail address holds white space or an invisible character";
    }
    if (c == '@') ++at_signs;
  }
  if (at_signs != 1) return "the e-mail address does not hold exactly one @";
  return {};
}

std::string server_text_for_terminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    std::string_view rest = text;
    char32_t c = utf8_next(rest);
    if (c != invalid_code_point && !is_control(c) && !is_separator_or_format(c)) {
      out.append(text.substr(0, text.size() - rest.size()));
    }
    text = rest;
  }
  return out;
}

std::int64_t lifetime_clamp(std::int64_t seconds) {
  return seconds < 0 ? 0 : seconds > lifetime_limit_seconds ? lifetime_limit_seconds : seconds;
}

std::int64_t expiry_clamp(std::int64_t expires_at, std::int64_t now) {
  std::int64_t latest = now + lifetime_limit_seconds;
  return expires_at < 0 ? 0 : expires_at > latest ? latest : expires_at;
}
