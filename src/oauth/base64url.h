// The URL-safe base64 alphabet without padding, as PKCE and JSON Web Tokens use it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

std::string base64url_encode(const unsigned char* data, std::size_t len);
// Nothing when the text holds bytes outside the alphabet or has an impossible length.
std::optional<std::string> base64url_decode(std::string_view text);
