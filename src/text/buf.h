// Growable, NUL-terminated, append-only byte buffer. Every JSON body and every capture of tool
// output is assembled in one. It grows from 1024 bytes by doubling up to 64 MiB; a refused append
// leaves data, len and cap exactly as they were.
#pragma once

#include <cstddef>
#include <cstdint>

struct buf {
  char* data = nullptr;  // null while nothing has been appended
  std::uint64_t len = 0;
  std::uint64_t cap = 0;  // 0 or 1024 * 2^k, k = 0..16

  buf() = default;
  buf(const buf&) = delete;
  buf& operator=(const buf&) = delete;
  ~buf();  // releases the block: every buffer is released on every path

  // The content as a NUL-terminated text; the empty text when no block was ever obtained.
  const char* text() const { return data != nullptr ? data : ""; }
};

inline constexpr std::uint64_t buf_first_block_bytes = 1024;
inline constexpr std::uint64_t buf_limit_bytes = 64ull * 1024 * 1024;
// Results up to this many bytes are formatted without a heap allocation.
inline constexpr std::size_t buf_addf_local_bytes = 2048;

// All return 1 on success and 0 when refused; callers outside the toolkit ignore the result.
int buf_add(buf& b, const void* bytes, std::uint64_t n);
int buf_adds(buf& b, const char* text);
int buf_addf(buf& b, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Appends the text as one quoted, escaped JSON string literal.
int buf_json(buf& b, const char* text);

// Tests replace the heap's resize operation to prove that a failed resize changes nothing.
using buf_resize_fn = void* (*)(void* block, std::size_t bytes);
void buf_set_resize_for_testing(buf_resize_fn resize);  // nullptr restores realloc
