// The tool runner: the program's words, output captured in pieces, 127 read as "not installed".
#include "runner/tool_runner.h"

#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "text/chars.h"
#include "text/fixed_text.h"

namespace {

constexpr char login_bin_default[] = LUMENHOLLOW_DEFAULT_LOGIN_BIN;
constexpr char token_bin_default[] = LUMENHOLLOW_DEFAULT_TOKEN_BIN;

// Tool names were once written as one single-quoted shell word in an area of this size; the cut
// that area made is kept, so that a long name reaches the same file as before.
constexpr std::size_t quoted_program_bytes = 512;
// Output is counted in the pieces that a line reader with an area of this size gives: the capture
// limit drops the whole piece that crosses it, and a NUL cuts only the rest of its own piece.
constexpr std::size_t piece_bytes = 2048;
// The exit code of a shell for a command it cannot find: a tool that ends with it counts as absent.
constexpr int not_found_exit_code = 127;

const char* env_or(const char* name, const char* fallback) {
  const char* value = platform_env(name);
  return value != nullptr && *value != '\0' ? value : fallback;
}

// The length of the program name that its quoted word kept: an embedded quote took four bytes
// there ('\''), any other byte one, and the first byte that did not fit ended the word.
std::size_t program_word_length(std::string_view program) {
  std::size_t used = 1;  // the opening quote
  std::size_t kept = 0;
  for (char c : program) {
    std::size_t need = c == '\'' ? 4 : 1;
    if (used + need + 1 >= quoted_program_bytes) break;  // the closing quote and the NUL stay
    used += need;
    ++kept;
  }
  return kept;
}

// Gathers the tool's output as pieces of at most piece_bytes - 1 bytes that end early after a line
// feed, each counted up to its first NUL. The piece that takes the total past the capture limit,
// and everything after it, is dropped, and reading stops there.
class piece_capture {
 public:
  explicit piece_capture(buf& capture) : capture_(capture) {}

  // False once the limit is crossed.
  bool take(const char* bytes, std::size_t n) {
    while (n > 0) {
      std::size_t room = piece_bytes - 1 - len_;
      std::size_t step = n < room ? n : room;
      const void* feed = std::memchr(bytes, '\n', step);
      if (feed != nullptr)
        step = static_cast<std::size_t>(static_cast<const char*>(feed) - bytes) + 1;
      std::memcpy(piece_ + len_, bytes, step);
      len_ += step;
      bytes += step;
      n -= step;
      if ((feed != nullptr || len_ == piece_bytes - 1) && !finish_piece()) return false;
    }
    return true;
  }

  // The last piece, which the end of the output ended.
  void finish() {
    if (len_ > 0) finish_piece();
  }

 private:
  bool finish_piece() {
    const void* nul = std::memchr(piece_, '\0', len_);
    std::size_t n =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - piece_) : len_;
    len_ = 0;
    total_ += n;
    if (total_ > capture_limit_bytes) return false;
    buf_add(capture_, piece_, n);
    return true;
  }

  buf& capture_;
  char piece_[piece_bytes];
  std::size_t len_ = 0;
  std::uint64_t total_ = 0;
};

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

int run_capture(const char* program, std::initializer_list<const char*> arguments, buf& capture) {
  if (program == nullptr || *program == '\0') return run_not_run;
  if (arguments.size() + 2 > tool_words_limit) return run_not_run;

  fixed_text<quoted_program_bytes> name;
  std::string_view whole(program);
  name.assign(whole.substr(0, program_word_length(whole)));
  const char* words[tool_words_limit] = {name.c_str()};
  std::size_t count = 1;
  for (const char* argument : arguments) words[count++] = argument;
  words[count] = nullptr;

  tool_process tool;
  switch (tool_process_start(tool, words)) {
    case tool_start::failed:
      return run_not_run;
    case tool_start::not_found:
      return run_not_installed;
    case tool_start::not_executable:
      return run_ran;
    case tool_start::started:
      break;
  }
  piece_capture pieces(capture);
  char chunk[16384];
  for (bool within_limit = true; within_limit;) {
    std::size_t got = tool_process_read(tool, chunk, sizeof chunk);
    if (got == 0) {
      pieces.finish();
      break;
    }
    within_limit = pieces.take(chunk, got);
  }
  int exit_code = tool_process_finish(tool);
  trim_capture(capture);
  return exit_code == not_found_exit_code ? run_not_installed : run_ran;
}
