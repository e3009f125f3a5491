// Proof Key for Code Exchange: a one-time verifier from the system's random source and its S256
// challenge; also the random `state` of a sign-in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::size_t pkce_verifier_bytes = 32;  // 43 characters once encoded
inline constexpr std::size_t state_bytes = 24;

// `bytes` random bytes, base64url-encoded; empty when the random source fails.
std::string pkce_random_text(std::size_t bytes);

// base64url(SHA-256(verifier))
std::string pkce_challenge(std::string_view verifier);
