// The operating-system facilities the program uses, behind one small interface: posix.cpp and
// windows.cpp implement it, and the build picks the one for its target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "text/fixed_text.h"
#include "text/heap_text.h"

// The home directory's text: at most 511 bytes and the terminating NUL.
inline constexpr std::size_t home_text_bytes = 512;
using home_text = fixed_text<home_text_bytes>;

// Environment lookup: nullptr when the variable is not defined.
const char* platform_env(const char* name);

// Puts the default disposition back on the signal that reports a child's end. A web server that
// starts the program with it ignored would have finished tools reaped before their exit status
// could be read.
void platform_reset_child_signal();

// The user's home directory, at most 511 bytes. Returns 1 with the text in `out`, or 0 with `out`
// empty. POSIX: HOME, else the effective user's entry in the password database (web servers usually
// start CGI programs without HOME). Windows: USERPROFILE, else HOMEDRIVE followed by HOMEPATH.
int platform_home_dir(home_text& out);

// Where the user's programs keep their settings, without a final separator, for the folder of
// another program's files (e.g. "gcloud"). POSIX: `home`/.config. Windows: APPDATA, else
// `home`\AppData\Roaming. Empty when there is neither.
std::string platform_user_config_dir(std::string_view home);

// The separator of the paths the program composes itself: "/" on POSIX, a backslash on Windows.
std::string_view platform_separator();
// The directory part of a path, up to and including its last separator; empty when it has none.
// Windows takes the last backslash, and only when there is none the last slash.
std::string_view platform_dir_part(std::string_view path);

// Reads a whole regular file into a NUL-terminated heap block. Returns nullptr when the path is not
// a regular file, cannot be read whole, or is larger than limit_bytes.
heap_text platform_read_file(const char* path, std::size_t limit_bytes);

// True when the path exists and is not a directory.
int platform_exists_not_dir(const char* path);

// Wall-clock time in whole seconds since the Unix epoch.
std::int64_t platform_now_seconds();

// A tool started directly from its words, never through a shell: its standard output on a pipe to
// this process, its standard input and error on the null device, no other descriptor or handle of
// this process inherited.
struct tool_process {
  std::intptr_t output = -1;  // POSIX: the pipe's read end; Windows: its handle
  std::intptr_t id = -1;      // POSIX: the process id; Windows: the process handle
  tool_process() = default;
  tool_process(const tool_process&) = delete;
  tool_process& operator=(const tool_process&) = delete;
  ~tool_process();  // closes a pipe that is still open and waits for the tool
};

// How a start ended, as a shell would report it: not_found is its exit code 127, not_executable
// its 126 (found, but it cannot run), failed means no process could be made at all.
enum class tool_start { started, not_found, not_executable, failed };

// The program word and its arguments, at most this many in all.
inline constexpr std::size_t tool_words_limit = 8;

// Starts `words` (the program, then its arguments, then nullptr). A program word without a
// separator is looked up on PATH. POSIX: as execvp does, including a file without "#!" run under
// /bin/sh; while searching, a file that cannot be executed is passed over as the shell does.
// Windows: PATH without its empty entries, ".exe" tried first; a program that cannot be started
// counts as not found.
tool_start tool_process_start(tool_process& tool, const char* const* words);
// Reads at most `cap` bytes of the tool's output, waiting for some; 0 at its end.
std::size_t tool_process_read(tool_process& tool, char* area, std::size_t cap);
// Closes the pipe and waits for the tool. Its exit code, or -1 when it did not exit normally.
int tool_process_finish(tool_process& tool);

// Reads up to `limit` bytes of standard input, stopping early at its end. Returns the count read.
std::size_t platform_read_stdin(char* out, std::size_t limit);

// Writes the pieces to standard output, in order, in as few system calls as the platform allows.
// Write errors are ignored: the client has gone and nothing can be told.
struct out_piece {
  const void* data;
  std::size_t len;
};
void platform_write_stdout(const out_piece* pieces, std::size_t count);
void platform_write_stdout(const void* data, std::size_t len);
