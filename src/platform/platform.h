// The operating-system facilities the program uses, behind one small interface: posix.cpp and
// windows.cpp implement it, and the build picks the one for its target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// A command line written for a POSIX shell, run with a pipe from its standard output. POSIX hands
// it to /bin/sh; Windows reads its words itself and starts the program directly.
struct shell_pipe {
  FILE* stream = nullptr;
  void* process = nullptr;  // Windows: the started program; none when it could not be started
  shell_pipe() = default;
  shell_pipe(const shell_pipe&) = delete;
  shell_pipe& operator=(const shell_pipe&) = delete;
  ~shell_pipe();  // closes a pipe that is still open
};
int shell_pipe_open(shell_pipe& pipe, const char* command_line);  // 1 opened, 0 failed
// Reads one piece: at most cap - 1 bytes, ending early after a line feed. nullptr at end of output.
char* shell_pipe_read(shell_pipe& pipe, char* area, int cap);
// Closes the pipe and waits for the command. Returns 1 when it ended with exit code 127 (the
// shell's code for a command it cannot find or start), else 0.
int shell_pipe_close_not_found(shell_pipe& pipe);

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
