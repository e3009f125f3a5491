// Runs a command line through /bin/sh and returns what it wrote to standard output. posix_spawn
// keeps this cheap inside a large sanitized fuzzer process, where fork would copy its page tables.
#pragma once

#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

struct shell_result {
  std::string output;
  int status = -1;
};

inline shell_result run_shell(const std::string& command_line) {
  shell_result result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addclose(&actions, fds[1]);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", 0, 0);
  const char* argv[] = {"sh", "-c", command_line.c_str(), nullptr};
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (spawned == 0) {
    char chunk[4096];
    for (;;) {
      ssize_t n = ::read(fds[0], chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      result.output.append(chunk, static_cast<std::size_t>(n));
    }
    while (::waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
  }
  ::close(fds[0]);
  return result;
}
