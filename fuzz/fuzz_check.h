// Shared helpers of the fuzz targets: a property check that stops the run with a message, and
// output areas fenced by canary bytes so that a write past the capacity is seen even where the
// sanitizer cannot see it (inside one array).
#pragma once

#include <signal.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (0)

// libFuzzer's timeout alarm interrupts whatever system call is running; without SA_RESTART a read
// from a tool's pipe would end early and show up as a false finding. Call before running tools.
inline void restart_interrupted_calls() {
  static bool done = false;
  if (done) return;
  done = true;
  struct sigaction action {};
  if (sigaction(SIGALRM, nullptr, &action) == 0) {
    action.sa_flags |= SA_RESTART;
    sigaction(SIGALRM, &action, nullptr);
  }
}

inline constexpr unsigned char fuzz_canary = 0xA5;
inline constexpr std::size_t fuzz_canary_bytes = 32;

// An output area of `cap` bytes followed by canary bytes. The area itself starts filled with a
// pattern so that "left untouched" can be told apart from "written".
struct fenced_area {
  std::vector<unsigned char> bytes;
  std::size_t cap;

  explicit fenced_area(std::size_t capacity, unsigned char fill = 0x5A)
      : bytes(capacity + fuzz_canary_bytes, fuzz_canary), cap(capacity) {
    std::memset(bytes.data(), fill, capacity);
  }
  char* data() { return reinterpret_cast<char*>(bytes.data()); }
  const char* data() const { return reinterpret_cast<const char*>(bytes.data()); }

  bool canary_intact() const {
    for (std::size_t i = cap; i < bytes.size(); ++i) {
      if (bytes[i] != fuzz_canary) return false;
    }
    return true;
  }
  // A NUL inside the area: the text it holds is terminated within the capacity.
  bool terminated() const { return cap > 0 && std::memchr(bytes.data(), 0, cap) != nullptr; }
  std::string text() const { return std::string(data()); }
  bool untouched(unsigned char fill = 0x5A) const {
    for (std::size_t i = 0; i < cap; ++i) {
      if (bytes[i] != fill) return false;
    }
    return true;
  }
};

// Splits the input at NUL bytes into at most `count` fields (the last takes the rest, NULs and
// all). Missing fields are empty.
inline std::vector<std::string> fuzz_fields(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t i = 0; i < size && fields.size() + 1 < count; ++i) {
    if (data[i] == 0) {
      fields.emplace_back(reinterpret_cast<const char*>(data) + start, i - start);
      start = i + 1;
    }
  }
  if (start <= size) fields.emplace_back(reinterpret_cast<const char*>(data) + start, size - start);
  while (fields.size() < count) fields.emplace_back();
  return fields;
}
