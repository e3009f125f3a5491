// POSIX implementation of random_bytes.h.
#include <sys/random.h>

#include <cerrno>

#include "platform/random_bytes.h"

int platform_random_bytes(unsigned char* out, std::size_t len) {
  while (len > 0) {
    ssize_t got = ::getrandom(out, len, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    out += got;
    len -= static_cast<std::size_t>(got);
  }
  return 1;
}
