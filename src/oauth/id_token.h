// The claims of an ID token. The token comes straight from the token endpoint over a checked
// connection, so its signature is not verified here: the connection already vouches for it.
#pragma once

#include <string>
#include <string_view>

// The `email` claim, or empty when the token is malformed or carries none.
std::string id_token_email(std::string_view id_token);
