// POSIX implementation of the platform layer.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

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

// write() may take only part of the data, or be interrupted; loop until all is out or it fails.
void write_all(const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t wrote = ::write(STDOUT_FILENO, p, n);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    p += wrote;
    n -= static_cast<std::size_t>(wrote);
  }
}

}  // namespace

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

shell_pipe::~shell_pipe() {
  if (stream != nullptr) ::pclose(stream);
}

int shell_pipe_open(shell_pipe& pipe, const char* command_line) {
  // The tools inherit standard input. A request body that no action reads would otherwise reach
  // them, so they get /dev/null instead (finish reads its body before any tool runs).
  int null_fd = ::open("/dev/null", O_RDONLY);  // lands on fd 0 itself when that was closed
  if (null_fd > STDIN_FILENO) {
    ::dup2(null_fd, STDIN_FILENO);
    ::close(null_fd);
  }
  pipe.stream = ::popen(command_line, "r");
  return pipe.stream != nullptr ? 1 : 0;
}

char* shell_pipe_read(shell_pipe& pipe, char* area, int cap) {
  // A signal may interrupt the read; that is not the end of the tool's output.
  for (;;) {
    errno = 0;
    char* piece = std::fgets(area, cap, pipe.stream);
    if (piece != nullptr || !std::ferror(pipe.stream) || errno != EINTR) return piece;
    std::clearerr(pipe.stream);
  }
}

int shell_pipe_close_not_found(shell_pipe& pipe) {
  int status = ::pclose(pipe.stream);
  pipe.stream = nullptr;
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 127 ? 1 : 0;
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
      write_all(static_cast<const char*>(pieces[i].data) + skip, pieces[i].len - skip);
      skip = 0;
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    write_all(static_cast<const char*>(pieces[i].data), pieces[i].len);
  }
}

void platform_write_stdout(const void* data, std::size_t len) {
  write_all(static_cast<const char*>(data), len);
}
