// SHA-256 from the system's cryptography: libcrypto on POSIX, BCrypt on Windows.
#pragma once

#include <array>
#include <string_view>

using sha256_digest = std::array<unsigned char, 32>;

// Returns 1 with the digest in `out`, or 0 when the provider fails.
int sha256(std::string_view data, sha256_digest& out);
