// A stand-in for the login and token CLIs, built for Linux and for Windows alike, so that the same
// request meets the same tool on both. Its files lie beside it, named after its own path without
// ".exe" (<base>): it appends a record of each run to <base>.calls (the argument count, then each
// argument, all NUL-ended), prints <base>.out and exits with the number in <base>.code (else 0).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
extern "C" {
int _dowildcard = 0;  // the arguments must arrive as they were sent
}
#else
#include <unistd.h>
#endif

namespace {

std::string own_base() {
  char path[4096] = {};
#ifdef _WIN32
  GetModuleFileNameA(nullptr, path, sizeof path - 1);
#else
  if (readlink("/proc/self/exe", path, sizeof path - 1) < 0) return "";
#endif
  std::string base = path;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".exe") == 0)
    base.resize(base.size() - 4);
  return base;
}

void read_file(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string base = own_base();
  if (FILE* record = std::fopen((base + ".calls").c_str(), "ab")) {
    std::fprintf(record, "%d%c", argc - 1, 0);
    for (int i = 1; i < argc; ++i) std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, record);
    std::fclose(record);
  }
  std::fputs("fake tool diagnostics on stderr\n", stderr);

  std::string output;
  std::string code;
  read_file(base + ".out", output);
  read_file(base + ".code", code);
  std::fwrite(output.data(), 1, output.size(), stdout);
  return std::atoi(code.c_str());
}
