#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "oauth/sha256.h"

int sha256(std::string_view data, sha256_digest& out) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (BCryptOpenAlgorithmProvider(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 0;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
              BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data())),
                             static_cast<ULONG>(data.size()), 0) == 0 &&
              BCryptFinishHash(hash, out.data(), static_cast<ULONG>(out.size()), 0) == 0;
  if (hash != nullptr) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(provider, 0);
  return done ? 1 : 0;
}
