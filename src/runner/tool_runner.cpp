// The tool runner: one quoted program word, output captured in pieces, 127 read as "not installed".
#include "runner/tool_runner.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "text/chars.h"

namespace {

constexpr char login_bin_default[] = "veltrane-lumenhollow-login";
constexpr char token_bin_default[] = "veltrane-google-fetchtoken";

constexpr std::size_t quoted_program_bytes = 512;
constexpr std::size_t command_line_bytes = 4096;
constexpr int piece_bytes = 2048;

const char* env_or(const char* name, const char* fallback) {
  const char* value = platform_env(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

void trim_capture(buf& capture) {
  if (capture.data == nullptr) return;
  while (capture.len > 0 && is_c_space(capture.data[capture.len - 1])) {
    capture.data[--capture.len] = '\0';
  }
}

}  // namespace

const char* login_bin() {
  return env_or("LUMENHOLLOW_LOGIN_BIN", login_bin_default);
}
const char* token_bin() {
  return env_or("LUMENHOLLOW_TOKEN_BIN", token_bin_default);
}

void shell_quote_into(const char* source, char* out, std::size_t cap) {
  if (cap < 3) {  // no room for even ''; leave an empty text where there is a byte for it
    if (cap > 0) out[0] = '\0';
    return;
  }
  std::size_t i = 0;
  out[i++] = '\'';
  // An embedded quote closes the quoting, adds an escaped quote and reopens it: '\''. The first
  // byte that does not fit ends the copy, so the word is never split inside that sequence.
  for (const char* p = source != nullptr ? source : ""; *p != '\0'; ++p) {
    if (*p == '\'') {
      if (i + 5 >= cap) break;
      std::memcpy(out + i, "'\\''", 4);
      i += 4;
    } else {
      if (i + 2 >= cap) break;
      out[i++] = *p;
    }
  }
  out[i++] = '\'';
  out[i] = '\0';
}

int run_capture(const char* program, const char* arguments, buf& capture) {
  if (program == nullptr || *program == '\0') return run_not_run;

  char quoted[quoted_program_bytes];
  shell_quote_into(program, quoted, sizeof quoted);
  char command[command_line_bytes];
  if (arguments != nullptr && *arguments != '\0') {
    std::snprintf(command, sizeof command, "%s %s 2>/dev/null", quoted, arguments);
  } else {
    std::snprintf(command, sizeof command, "%s 2>/dev/null", quoted);
  }

  shell_pipe pipe;
  if (!shell_pipe_open(pipe, command)) return run_not_run;
  char piece[piece_bytes];
  std::uint64_t total = 0;
  while (shell_pipe_read(pipe, piece, piece_bytes) != nullptr) {
    std::size_t n = std::strlen(piece);  // a NUL in the output cuts its piece there
    total += n;
    // Past the limit the rest is not wanted: stop at once and drop the piece that crossed it.
    if (total > capture_limit_bytes) break;
    buf_add(capture, piece, n);
  }
  int not_found = shell_pipe_close_not_found(pipe);
  trim_capture(capture);
  return not_found ? run_not_installed : run_ran;
}
