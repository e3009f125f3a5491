// The one-call SHA256_* functions link a few kilobytes of libcrypto statically; the EVP digest
// interface would bring the whole provider machinery and its start-up cost into every run.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include "oauth/sha256.h"

int sha256(std::string_view data, sha256_digest& out) {
  SHA256_CTX context;
  return SHA256_Init(&context) && SHA256_Update(&context, data.data(), data.size()) &&
                 SHA256_Final(out.data(), &context)
             ? 1
             : 0;
}
