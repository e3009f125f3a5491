// Byte classes shared by every reader of untrusted text, defined once.
#pragma once

// JSON's white space: tab, line feed, carriage return and space.
constexpr bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The C library's white space in the default locale (what isspace and strtol skip): JSON's, plus
// vertical tab and form feed. The program never sets a locale, so this is fixed.
constexpr bool is_c_space(char c) {
  return is_json_space(c) || c == '\v' || c == '\f';
}

// The value of one hexadecimal digit (either case), or -1.
constexpr int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
