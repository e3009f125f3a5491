#include "oauth/pkce.h"

#include <vector>

#include "oauth/base64url.h"
#include "oauth/sha256.h"
#include "platform/random_bytes.h"

std::string pkce_random_text(std::size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (!platform_random_bytes(raw.data(), raw.size())) return {};
  return base64url_encode(raw.data(), raw.size());
}

std::string pkce_challenge(std::string_view verifier) {
  sha256_digest digest{};
  if (!sha256(verifier, digest)) return {};
  return base64url_encode(digest.data(), digest.size());
}
