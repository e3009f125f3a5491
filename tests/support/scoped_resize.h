// Replaces the buffer's resize operation for one scope and restores realloc on every path out of
// it.
#pragma once

#include <cstddef>

#include "text/buf.h"

struct scoped_resize {
  explicit scoped_resize(buf_resize_fn resize) { buf_set_resize_for_testing(resize); }
  ~scoped_resize() { buf_set_resize_for_testing(nullptr); }
  scoped_resize(const scoped_resize&) = delete;
  scoped_resize& operator=(const scoped_resize&) = delete;
};

// A heap that is always out of memory.
inline void* refuse_resize(void*, std::size_t) {
  return nullptr;
}
