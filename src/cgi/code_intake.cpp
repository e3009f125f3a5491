// Intake of a pasted authorization code, in the order the finish action applies the steps.
#include "cgi/code_intake.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cgi/query.h"
#include "cgi/request.h"
#include "platform/platform.h"
#include "text/chars.h"
#include "text/heap_text.h"

namespace {

bool is_forbidden(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return c != 0;
  return std::strchr("\"$&';<>\\`|", c) != nullptr;
}

}  // namespace

std::size_t code_body_length(const char* content_length) {
  if (content_length == nullptr) return 0;
  // Read leniently, as strtol would: leading white space, one sign, digits up to the first other
  // byte. A negative, zero, unparsable or huge length means the body is not read.
  const char* p = content_length;
  while (is_c_space(*p)) ++p;
  bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  std::uint64_t length = 0;
  const char* end = p + std::strlen(p);
  std::from_chars_result parsed = std::from_chars(p, end, length);
  if (parsed.ec != std::errc() || negative || length == 0 || length >= code_body_limit_bytes)
    return 0;
  return static_cast<std::size_t>(length);
}

int code_from_body(const char* body, code_text& out) {
  out.clear();
  const char* key = std::strstr(body, "\"code\"");
  if (key == nullptr) return 0;
  const char* colon = std::strchr(key + 6, ':');
  if (colon == nullptr) return 0;
  const char* value = colon + 1 + std::strspn(colon + 1, "\t \"");
  out.assign(std::string_view(value, std::strcspn(value, "\",}")));
  return 1;
}

int code_take_raw(const request& req, code_text& out) {
  if (get_query_val(req.query, "code", out)) return 1;  // present but empty still counts
  std::size_t length = code_body_length(req.content_length);
  if (length == 0) return 0;
  heap_text body(static_cast<char*>(std::malloc(length + 1)));
  if (!body) return 0;
  std::size_t got = platform_read_stdin(body.get(), length);
  body.get()[got] = '\0';
  code_from_body(body.get(), out);
  return out.empty() ? 0 : 1;
}

void code_percent_decode(char* text) {
  char* to = text;
  for (const char* from = text; *from != '\0'; ++to) {
    int high = from[0] == '%' ? hex_digit_value(from[1]) : -1;
    int low = high >= 0 ? hex_digit_value(from[2]) : -1;
    if (low >= 0) {
      *to = static_cast<char>(high * 16 + low);
      if (*to == '\0') return;
      from += 3;
    } else {
      *to = *from == '+' ? ' ' : *from;
      ++from;
    }
  }
  *to = '\0';
}

void code_extract(code_text& code) {
  const char* found = std::strstr(code.bytes, "code=");
  if (found == nullptr) return;
  const char* value = found + 5;
  std::size_t n = std::strcspn(value, "#&");
  if (n == 0) return;  // "code=" with nothing after it: keep the whole text
  std::memmove(code.bytes, value, n);
  code.bytes[n] = '\0';
}

int code_is_acceptable(std::string_view code) {
  if (code.empty()) return 0;
  for (char c : code) {
    if (is_forbidden(static_cast<unsigned char>(c))) return 0;
  }
  return 1;
}
