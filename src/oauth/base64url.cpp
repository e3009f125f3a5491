#include "oauth/base64url.h"

#include <openssl/evp.h>

#include <algorithm>

std::string base64url_encode(const unsigned char* data, std::size_t len) {
  std::string out(4 * ((len + 2) / 3) + 1, '\0');
  int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data, static_cast<int>(len));
  out.resize(static_cast<std::size_t>(n));
  std::replace(out.begin(), out.end(), '+', '-');
  std::replace(out.begin(), out.end(), '/', '_');
  out.erase(out.find_last_not_of('=') + 1);
  return out;
}

std::optional<std::string> base64url_decode(std::string_view text) {
  if (text.size() % 4 == 1) return std::nullopt;
  std::string padded;
  padded.reserve(text.size() + 3);
  for (char c : text) {
    // The standard alphabet's '+' and '/' are foreign here, and so is padding inside the text.
    if (c == '+' || c == '/' || c == '=') return std::nullopt;
    padded += c == '-' ? '+' : c == '_' ? '/' : c;
  }
  std::size_t padding = (4 - padded.size() % 4) % 4;
  padded.append(padding, '=');
  std::string out(padded.size() / 4 * 3, '\0');
  int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(padded.data()),
                          static_cast<int>(padded.size()));
  if (n < 0) return std::nullopt;
  // The decoder counts the padding as zero bytes.
  out.resize(static_cast<std::size_t>(n) - padding);
  return out;
}
