// Windows implementation of random_bytes.h: the system's preferred generator.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include "platform/random_bytes.h"

int platform_random_bytes(unsigned char* out, std::size_t len) {
  constexpr std::size_t call_limit_bytes = 1u << 30;  // one call takes a ULONG count
  while (len > 0) {
    std::size_t take = len < call_limit_bytes ? len : call_limit_bytes;
    if (BCryptGenRandom(nullptr, out, static_cast<ULONG>(take), BCRYPT_USE_SYSTEM_PREFERRED_RNG) !=
        0) {
      return 0;
    }
    out += take;
    len -= take;
  }
  return 1;
}
