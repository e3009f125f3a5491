// A NUL-terminated text in a heap block that its owner releases on every path.
#pragma once

#include <cstdlib>
#include <memory>

struct heap_free {
  void operator()(char* block) const { std::free(block); }
};
using heap_text = std::unique_ptr<char, heap_free>;
