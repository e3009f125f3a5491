#include "text/buf.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/heap_text.h"

namespace {

// Past this capacity one more doubling would exceed buf_limit_bytes.
constexpr std::uint64_t buf_last_doubling_bytes = buf_limit_bytes / 2;

void* heap_resize(void* block, std::size_t bytes) {
  return std::realloc(block, bytes);
}

buf_resize_fn resize_block = heap_resize;

}  // namespace

buf::~buf() {
  std::free(data);
}

void buf_set_resize_for_testing(buf_resize_fn resize) {
  resize_block = resize != nullptr ? resize : heap_resize;
}

int buf_add(buf& b, const void* bytes, std::uint64_t n) {
  // len + 1 <= cap <= buf_limit_bytes, so this compares need against the limit without overflow.
  if (n > buf_limit_bytes - 1 - b.len) return 0;
  const std::uint64_t need = b.len + n + 1;
  if (need > b.cap) {
    std::uint64_t candidate = b.cap != 0 ? b.cap : buf_first_block_bytes;
    while (candidate < need) {
      if (candidate > buf_last_doubling_bytes) return 0;
      candidate *= 2;
    }
    void* block = resize_block(b.data, static_cast<std::size_t>(candidate));
    if (block == nullptr) return 0;
    b.data = static_cast<char*>(block);
    b.cap = candidate;
  }
  if (n != 0) std::memcpy(b.data + b.len, bytes, static_cast<std::size_t>(n));
  b.len += n;
  b.data[b.len] = '\0';
  return 1;
}

int buf_adds(buf& b, const char* text) {
  if (text == nullptr) text = "";
  return buf_add(b, text, std::strlen(text));
}

int buf_addf(buf& b, const char* format, ...) {
  char local[buf_addf_local_bytes];
  va_list args;
  va_list second_pass;
  va_start(args, format);
  va_copy(second_pass, args);
  const int length = std::vsnprintf(local, sizeof local, format, args);
  va_end(args);

  int result = 0;
  if (length >= 0 && static_cast<std::size_t>(length) < sizeof local) {
    result = buf_add(b, local, static_cast<std::uint64_t>(length));
  } else if (length >= 0) {
    const std::size_t bytes = static_cast<std::size_t>(length) + 1;
    heap_text block(static_cast<char*>(resize_block(nullptr, bytes)));
    if (block != nullptr && std::vsnprintf(block.get(), bytes, format, second_pass) == length) {
      result = buf_add(b, block.get(), static_cast<std::uint64_t>(length));
    }
  }
  va_end(second_pass);
  return result;
}

int buf_json(buf& b, const char* text) {
  if (buf_add(b, "\"", 1) == 0) return 0;
  if (text == nullptr) text = "";
  for (const char* p = text; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    int ok = 0;
    switch (byte) {
      case '"':
        ok = buf_add(b, "\\\"", 2);
        break;
      case '\\':
        ok = buf_add(b, "\\\\", 2);
        break;
      case '\n':
        ok = buf_add(b, "\\n", 2);
        break;
      case '\r':
        ok = buf_add(b, "\\r", 2);
        break;
      case '\t':
        ok = buf_add(b, "\\t", 2);
        break;
      default:
        // Backspace and form feed get the long form too; 0x7F and bytes from 0x80 pass as they are.
        ok = byte < 0x20 ? buf_addf(b, "\\u%04x", static_cast<unsigned>(byte)) : buf_add(b, p, 1);
        break;
    }
    if (ok == 0) return 0;
  }
  return buf_add(b, "\"", 1);
}
