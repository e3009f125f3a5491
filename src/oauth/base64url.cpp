#include "oauth/base64url.h"

#include <array>

namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr int not_in_alphabet = -1;

// Written here rather than taken from a library so that the tools encode the same bytes on every
// system they are built for.
constexpr std::array<int, 256> decode_table = [] {
  std::array<int, 256> table{};
  table.fill(not_in_alphabet);
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
  }
  return table;
}();

}  // namespace

std::string base64url_encode(const unsigned char* data, std::size_t len) {
  std::string out;
  out.reserve(4 * ((len + 2) / 3));
  for (std::size_t i = 0; i < len; i += 3) {
    std::size_t take = len - i < 3 ? len - i : 3;
    unsigned group = static_cast<unsigned>(data[i]) << 16;
    if (take > 1) group |= static_cast<unsigned>(data[i + 1]) << 8;
    if (take > 2) group |= data[i + 2];
    for (std::size_t k = 0; k <= take; ++k) out += alphabet[(group >> (18 - 6 * k)) & 0x3f];
  }
  return out;
}

std::optional<std::string> base64url_decode(std::string_view text) {
  if (text.size() % 4 == 1) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  unsigned group = 0;
  int bits = 0;
  for (char c : text) {
    int value = decode_table[static_cast<unsigned char>(c)];
    if (value == not_in_alphabet) return std::nullopt;
    group = (group << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((group >> bits) & 0xff);
    }
  }
  return out;
}
