// The token tool's --write-adc: the node's account handed to Google's client libraries.
#pragma once

#include <string_view>

// path empty: where the libraries look by default. Prints one JSON line; returns the exit status.
int token_cmd_write_adc(std::string_view path);
