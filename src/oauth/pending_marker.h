// The marker of a sign-in that was started and not finished: what --finish needs to redeem the
// code, and when the attempt lapses. Its mere presence is what the console shows as pending.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::int64_t pending_lifetime_seconds{15 * 60};

struct pending_login {
  std::string state;
  std::string code_verifier;
  std::string redirect_uri;
  std::int64_t expires_at = 0;  // Unix seconds
};

// too_deep: a marker nested too deeply to be read safely (the tools never write one).
enum class pending_found { none, expired, live, too_deep };

std::string pending_marker_path();

// A marker that cannot be read or parsed counts as none: it cannot be finished anyway.
pending_found pending_marker_read(pending_login& pending, std::int64_t now);
// The parsing half, on the marker's text.
pending_found pending_marker_parse(std::string_view text, pending_login& pending, std::int64_t now);
// The marker's text as it is written.
std::string pending_marker_text(const pending_login& pending);
int pending_marker_write(const pending_login& pending);
int pending_marker_remove();
