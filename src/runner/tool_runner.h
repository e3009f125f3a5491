// The single way the program runs an external tool: started directly from its words
// (src/platform/), never through a shell; its standard output captured into a buf (at most 256
// KiB), its standard error discarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "text/buf.h"

inline constexpr std::uint64_t capture_limit_bytes = 262144;

// LUMENHOLLOW_LOGIN_BIN when set and not empty, else the build's default (cmake: the cache variable
// LUMENHOLLOW_DEFAULT_LOGIN_BIN, "veltrane-lumenhollow-login" unless set).
const char* login_bin();
// LUMENHOLLOW_TOKEN_BIN when set and not empty, else the build's default (cmake:
// LUMENHOLLOW_DEFAULT_TOKEN_BIN, "veltrane-google-fetchtoken" unless set).
const char* token_bin();

inline constexpr int run_not_run = 0;
inline constexpr int run_not_installed = -1;
inline constexpr int run_ran = 1;

// Runs `program` with `arguments`, each reaching it as one word, byte for byte. A program name
// that would not fit a 512-byte single-quoted shell word (a quote in it taking four bytes) is cut
// where that word ended. Returns run_not_run (empty name, or no process could be made),
// run_not_installed (not found, or the tool's own exit code 127, as a shell reports both) or
// run_ran (also when the file was found but could not be executed: it ran and printed nothing).
int run_capture(const char* program, std::initializer_list<const char*> arguments, buf& capture);
