#include "oauth/url_text.h"

#include <charconv>

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

bool is_unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool is_ipv4_loopback(std::string_view host) {
  int parts = 0;
  while (true) {
    std::size_t dot = host.find('.');
    std::string_view part = host.substr(0, dot);
    unsigned value = 0;
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || error != std::errc() || end != part.data() + part.size() || value > 255) {
      return false;
    }
    if (parts == 0 && value != 127) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    host.remove_prefix(dot + 1);
  }
  return parts == 4;
}

std::string decode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && plus_is_space) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void url_encode_into(std::string& out, std::string_view text) {
  for (unsigned char c : text) {
    if (is_unreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex_digits[c >> 4];
      out += hex_digits[c & 15];
    }
  }
}

void url_add_param(std::string& out, std::string_view key, std::string_view value) {
  if (!out.empty() && out.back() != '?') out += '&';
  out += key;
  out += '=';
  url_encode_into(out, value);
}

std::string url_decode(std::string_view text) {
  return decode(text, true);
}

std::string url_percent_decode(std::string_view text) {
  return decode(text, false);
}

std::optional<std::string> url_query_value(std::string_view address, std::string_view key) {
  std::size_t question = address.find('?');
  std::string_view query =
      question == std::string_view::npos ? address : address.substr(question + 1);
  query = query.substr(0, query.find('#'));
  while (!query.empty()) {
    std::size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query.remove_prefix(amp == std::string_view::npos ? query.size() : amp + 1);
    std::size_t eq = pair.find('=');
    if (pair.substr(0, eq) != key) continue;
    return url_decode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
  }
  return std::nullopt;
}

std::string_view url_host(std::string_view address) {
  std::size_t scheme_end = address.find("://");
  if (scheme_end == std::string_view::npos) return {};
  std::string_view scheme = address.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") return {};
  std::string_view rest = address.substr(scheme_end + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return {};  // no user info in our addresses
  if (authority.starts_with('[')) return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

bool url_host_is_loopback(std::string_view host) {
  return host == "localhost" || host == "::1" || host == "[::1]" || is_ipv4_loopback(host);
}

pasted_code pasted_code_parse(std::string_view text) {
  text = trim(text);
  pasted_code pasted;
  // Codes are URL-safe and never hold '=' or '?', so either byte marks a pasted address or query.
  if (text.find_first_of("?=") == std::string_view::npos) {
    pasted.code = url_percent_decode(text);
    return pasted;
  }
  pasted.code = url_query_value(text, "code").value_or("");
  pasted.state = url_query_value(text, "state");
  pasted.error = url_query_value(text, "error").value_or("");
  return pasted;
}
