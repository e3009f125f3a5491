// POSIX implementation of the platform layer.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/posix_io.h"

extern char** environ;

namespace {

int take_home(home_text& out, const char* value) {
  if (value == nullptr) return 0;
  std::size_t n = std::strlen(value);
  if (n == 0 || n >= home_text_bytes) return 0;
  out.assign(value);
  return 1;
}

constexpr std::size_t huge_page_bytes = 2 * 1024 * 1024;

// A block for a whole file, released with free(). Large blocks are aligned to huge pages and
// advised as such: first-touch page faults dominated the time to read a file of several MiB.
heap_text allocate_file_block(std::size_t bytes) {
  if (bytes < huge_page_bytes) return heap_text(static_cast<char*>(std::malloc(bytes)));
  void* block = nullptr;
  if (::posix_memalign(&block, huge_page_bytes, bytes) != 0) return nullptr;
#ifdef MADV_HUGEPAGE
  ::madvise(block, bytes & ~(huge_page_bytes - 1), MADV_HUGEPAGE);  // only advice: may be refused
#endif
  return heap_text(static_cast<char*>(block));
}

// The descriptors a tool starts with: standard output on the pipe, standard input and error on
// /dev/null, and every other descriptor closed.
struct start_actions {
  posix_spawn_file_actions_t list;
  bool ready = ::posix_spawn_file_actions_init(&list) == 0;
  start_actions() = default;
  start_actions(const start_actions&) = delete;
  start_actions& operator=(const start_actions&) = delete;
  ~start_actions() {
    if (ready) ::posix_spawn_file_actions_destroy(&list);
  }
  int set_up(int output) {
    int error = ::posix_spawn_file_actions_adddup2(&list, output, STDOUT_FILENO);
    if (error == 0)
      error = ::posix_spawn_file_actions_addopen(&list, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0)
      error = ::posix_spawn_file_actions_addopen(&list, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The program's own descriptors are close-on-exec; this also keeps any that the web server
    // left open from the tool.
    if (error == 0) error = ::posix_spawn_file_actions_addclosefrom_np(&list, STDERR_FILENO + 1);
    return error;
  }
};

char* const* spawn_argv(const char* const* words) {
  return const_cast<char* const*>(words);  // the exec family's historical signature
}

int spawn(pid_t& pid, const char* path, const char* const* words,
          const posix_spawn_file_actions_t& actions) {
  int error = ::posix_spawn(&pid, path, &actions, nullptr, spawn_argv(words), environ);
  if (error != ENOEXEC) return error;
  // execvp's way with a file the kernel cannot run, which posix_spawn leaves out: a script for
  // /bin/sh, given the file's path and the same arguments.
  const char* script[tool_words_limit + 2] = {"/bin/sh", path};
  std::size_t count = 2;
  for (const char* const* word = words + 1; *word != nullptr; ++word) {
    if (count == tool_words_limit + 1) return E2BIG;
    script[count++] = *word;
  }
  script[count] = nullptr;
  return ::posix_spawn(&pid, "/bin/sh", &actions, nullptr, spawn_argv(script), environ);
}

// execvp's search: each PATH entry in order (an empty one is the working directory; without PATH,
// the C library's default path), going on past names that are missing or cannot be executed.
int spawn_searched(pid_t& pid, const char* const* words,
                   const posix_spawn_file_actions_t& actions) {
  const char* name = words[0];
  // posix_spawnp searches in the started child at the cost of one start; only a file without "#!"
  // needs the search done again here, to find the path that /bin/sh is to be given.
  int error = ::posix_spawnp(&pid, name, &actions, nullptr, spawn_argv(words), environ);
  if (error != ENOEXEC) return error;
  const char* search = std::getenv("PATH");
  if (search == nullptr) search = "/bin:/usr/bin";
  bool denied = false;
  for (const char* dir = search;; ++dir) {
    const char* end = std::strchr(dir, ':');
    if (end == nullptr) end = dir + std::strlen(dir);
    const int dir_len = static_cast<int>(end - dir);
    char candidate[PATH_MAX];
    const int length = std::snprintf(candidate, sizeof candidate, "%.*s%s%s", dir_len, dir,
                                     dir_len > 0 ? "/" : "", name);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof candidate) return ENAMETOOLONG;
    error = spawn(pid, candidate, words, actions);
    if (error == EACCES) {
      denied = true;
    } else if (error != ENOENT && error != ENOTDIR && error != ESTALE && error != ENODEV &&
               error != ETIMEDOUT) {
      return error;
    }
    if (*end == '\0') return denied ? EACCES : ENOENT;
    dir = end;
  }
}

// A failed start as the shell reported it: 127 for a program it could not find, 126 for one it
// found but could not execute. Searching, it passes over files it cannot execute, so a search
// that found only such files ends in 127 too.
tool_start start_failure(int error, bool searched) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return tool_start::not_found;
    case EACCES:
      return searched ? tool_start::not_found : tool_start::not_executable;
    case EAGAIN:
    case ENOMEM:
      return tool_start::failed;
    default:
      return tool_start::not_executable;
  }
}

}  // namespace

int posix_write_all(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t wrote = ::write(fd, p, n);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return 0;
    p += wrote;
    n -= static_cast<std::size_t>(wrote);
  }
  return 1;
}

const char* platform_env(const char* name) {
  return std::getenv(name);
}

void platform_reset_child_signal() {
  ::signal(SIGCHLD, SIG_DFL);
}

int platform_home_dir(home_text& out) {
  out.clear();
  if (take_home(out, std::getenv("HOME"))) return 1;
  const passwd* entry = ::getpwuid(::geteuid());
  if (entry != nullptr && take_home(out, entry->pw_dir)) return 1;
  out.clear();
  return 0;
}

std::string platform_user_config_dir(std::string_view home) {
  return home.empty() ? std::string() : std::string(home) + "/.config";
}

std::string_view platform_separator() {
  return "/";
}

// A backslash is an ordinary file-name byte on POSIX, so only the slash separates.
std::string_view platform_dir_part(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

heap_text platform_read_file(const char* path, std::size_t limit_bytes) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  heap_text block;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
      static_cast<std::uint64_t>(info.st_size) <= limit_bytes) {
    std::size_t size = static_cast<std::size_t>(info.st_size);
    block = allocate_file_block(size + 1);
    std::size_t got = 0;
    while (block && got < size) {
      ssize_t n = ::read(fd, block.get() + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        block.reset();  // a shorter read than the size counts as unreadable
      else
        got += static_cast<std::size_t>(n);
    }
    if (block) block.get()[size] = '\0';
  }
  ::close(fd);
  return block;
}

int platform_exists_not_dir(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && !S_ISDIR(info.st_mode) ? 1 : 0;
}

std::int64_t platform_now_seconds() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

tool_process::~tool_process() {
  if (output >= 0 || id > 0) tool_process_finish(*this);
}

tool_start tool_process_start(tool_process& tool, const char* const* words) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return tool_start::failed;
  start_actions actions;
  int error = actions.ready ? 0 : ENOMEM;
  if (error == 0) error = actions.set_up(ends[1]);
  pid_t pid = -1;
  const bool searched = std::strchr(words[0], '/') == nullptr;
  if (error == 0) {
    error = searched ? spawn_searched(pid, words, actions.list)
                     : spawn(pid, words[0], words, actions.list);
  }
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    return start_failure(error, searched);
  }
  tool.output = ends[0];
  tool.id = pid;
  return tool_start::started;
}

std::size_t tool_process_read(tool_process& tool, char* area, std::size_t cap) {
  for (;;) {
    ssize_t n = ::read(static_cast<int>(tool.output), area, cap);
    if (n < 0 && errno == EINTR) continue;  // a signal is not the end of the tool's output
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
}

int tool_process_finish(tool_process& tool) {
  if (tool.output >= 0) ::close(static_cast<int>(tool.output));
  tool.output = -1;
  if (tool.id <= 0) return -1;
  int status = 0;
  pid_t waited;
  while ((waited = ::waitpid(static_cast<pid_t>(tool.id), &status, 0)) < 0 && errno == EINTR) {
  }
  tool.id = -1;
  return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::size_t platform_read_stdin(char* out, std::size_t limit) {
  std::size_t got = 0;
  while (got < limit) {
    ssize_t n = ::read(STDIN_FILENO, out + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

void platform_write_stdout(const out_piece* pieces, std::size_t count) {
  // One writev for the common case; fall back to piecewise writes after a partial write.
  iovec vec[16];
  if (count <= 16) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
      vec[i].iov_base = const_cast<void*>(pieces[i].data);
      vec[i].iov_len = pieces[i].len;
      total += pieces[i].len;
    }
    ssize_t wrote;
    do {
      wrote = ::writev(STDOUT_FILENO, vec, static_cast<int>(count));
    } while (wrote < 0 && errno == EINTR);
    if (wrote < 0 || static_cast<std::size_t>(wrote) == total) return;
    std::size_t skip = static_cast<std::size_t>(wrote);
    for (std::size_t i = 0; i < count; ++i) {
      if (skip >= pieces[i].len) {
        skip -= pieces[i].len;
        continue;
      }
      posix_write_all(STDOUT_FILENO, static_cast<const char*>(pieces[i].data) + skip,
                      pieces[i].len - skip);
      skip = 0;
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    posix_write_all(STDOUT_FILENO, static_cast<const char*>(pieces[i].data), pieces[i].len);
  }
}

void platform_write_stdout(const void* data, std::size_t len) {
  posix_write_all(STDOUT_FILENO, static_cast<const char*>(data), len);
}
