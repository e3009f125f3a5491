// The console page write with standard output on /dev/null: how fast the page reaches the kernel.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "bench_files.h"
#include "cgi/framing.h"

namespace {

// Standard output moved to another file for the life of the object, then put back, so that the
// benchmark's own report still reaches the terminal.
struct stdout_redirect {
  int saved = -1;
  explicit stdout_redirect(const char* path) {
    std::fflush(stdout);
    int target = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (target < 0) return;
    saved = ::dup(STDOUT_FILENO);
    ::dup2(target, STDOUT_FILENO);
    ::close(target);
  }
  ~stdout_redirect() {
    std::fflush(stdout);
    if (saved < 0) return;
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
  }
  stdout_redirect(const stdout_redirect&) = delete;
  stdout_redirect& operator=(const stdout_redirect&) = delete;
};

// The size of one page response, headers included, as it lands in a file.
long page_bytes() {
  scratch_dir dir;
  std::string path = dir.path + "/page.out";
  {
    stdout_redirect to_file(path.c_str());
    if (to_file.saved < 0) return -1;
    page_respond();
  }
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

void page_respond_to_dev_null(benchmark::State& state) {
  long bytes = page_bytes();
  if (bytes <= 0) {
    state.SkipWithError("the page could not be captured");
    return;
  }
  {
    stdout_redirect to_null("/dev/null");
    for (auto _ : state) {
      page_respond();
      std::fflush(stdout);  // a page that goes through stdio is not out until it is flushed
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
}
BENCHMARK(page_respond_to_dev_null);

}  // namespace
