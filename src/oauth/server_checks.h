// Checks on what a sign-in server sends, made before anything is stored or printed: tokens, the
// account's e-mail address, lifetimes, and the server's own words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Real tokens are a few hundred bytes to a few kilobytes; anything longer is not one.
inline constexpr std::size_t token_limit_bytes = 16 * 1024;
// The longest address a mail system delivers to.
inline constexpr std::size_t email_limit_bytes = 254;
// No access token, and no sign-in step, lives longer than this.
inline constexpr std::int64_t lifetime_limit_seconds = std::int64_t{365} * 24 * 3600;

// One to token_limit_bytes visible ASCII bytes (0x21-0x7E): safe in a file, a header and a
// terminal.
bool server_token_is_clean(std::string_view token);

// Empty when the address is acceptable; else what is wrong with it, for the user. Acceptable:
// valid UTF-8 of at most email_limit_bytes, exactly one '@', and no white space, control,
// separator or invisible formatting character anywhere.
std::string_view server_email_fault(std::string_view email);

// The text with control characters (C0, DEL, C1), line and paragraph separators, direction
// overrides and invalid UTF-8 removed, so that a server's words cannot steer a terminal.
std::string server_text_for_terminal(std::string_view text);

// A lifetime in seconds held to 0..lifetime_limit_seconds.
std::int64_t lifetime_clamp(std::int64_t seconds);
// A stored expiry (Unix seconds) held to 0..now + lifetime_limit_seconds, so that arithmetic on
// it cannot overflow.
std::int64_t expiry_clamp(std::int64_t expires_at, std::int64_t now);
