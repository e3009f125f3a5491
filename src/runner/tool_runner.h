// The single way the program runs an external tool: through the platform's shell (src/platform/),
// its standard output captured into a buf (at most 256 KiB), its standard error discarded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/buf.h"

inline constexpr std::uint64_t capture_limit_bytes = 262144;

// LUMENHOLLOW_LOGIN_BIN when set and not empty, else "veltrane-lumenhollow-login".
const char* login_bin();
// LUMENHOLLOW_TOKEN_BIN when set and not empty, else "veltrane-google-fetchtoken".
const char* token_bin();

// Writes `source` (nullptr counts as empty) as one single-quoted shell word into `out`, cutting at
// the first byte that does not fit; always a complete word of at most cap - 1 bytes.
void shell_quote_into(const char* source, char* out, std::size_t cap);

inline constexpr int run_not_run = 0;
inline constexpr int run_not_installed = -1;
inline constexpr int run_ran = 1;

// Runs "<quoted program> <arguments> 2>/dev/null". `arguments` is appended unquoted (callers quote
// what needs quoting). Returns run_not_run, run_not_installed (shell exit code 127) or run_ran.
int run_capture(const char* program, const char* arguments, buf& capture);
