#include "oauth/pkce.h"

// The one-call SHA256_* functions link a few kilobytes of libcrypto statically; the EVP digest
// interface would bring the whole provider machinery and its start-up cost into every run.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <vector>

#include "oauth/base64url.h"
#include "platform/random_bytes.h"

std::string pkce_random_text(std::size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (!platform_random_bytes(raw.data(), raw.size())) return {};
  return base64url_encode(raw.data(), raw.size());
}

std::string pkce_challenge(std::string_view verifier) {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_CTX context;
  SHA256_Init(&context);
  SHA256_Update(&context, verifier.data(), verifier.size());
  SHA256_Final(digest, &context);
  return base64url_encode(digest, sizeof digest);
}
