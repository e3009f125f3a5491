// The growable buffer under random sequences of appends, with injected resize failures. After
// every step: len + 1 <= cap, the terminating zero at data[len], cap one of the allowed sizes, and
// the content equal to a plain model of what the appends promised.
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "text/buf.h"

namespace {

bool fail_next_resize = false;

void* flaky_resize(void* block, std::size_t bytes) {
  if (fail_next_resize) {
    fail_next_resize = false;
    return nullptr;
  }
  return std::realloc(block, bytes);
}

std::string json_literal(const std::string& text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == 0) break;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

bool allowed_capacity(std::uint64_t cap) {
  for (std::uint64_t c = buf_first_block_bytes; c <= buf_limit_bytes; c *= 2) {
    if (cap == c) return true;
  }
  return false;
}

void check_invariants(const buf& b, const std::string& model) {
  if (b.data == nullptr) {
    FUZZ_CHECK(b.len == 0 && b.cap == 0);
    FUZZ_CHECK(model.empty());
    return;
  }
  FUZZ_CHECK(allowed_capacity(b.cap));
  FUZZ_CHECK(b.len + 1 <= b.cap);
  FUZZ_CHECK(b.data[b.len] == '\0');
  FUZZ_CHECK(b.len == model.size());
  FUZZ_CHECK(std::memcmp(b.data, model.data(), model.size()) == 0);
}

struct reader {
  const std::uint8_t* p;
  const std::uint8_t* end;
  unsigned byte() { return p < end ? *p++ : 0; }
  // A slice of up to `most` bytes, NULs included.
  std::string slice(std::size_t most) {
    std::size_t n = std::min<std::size_t>(most, static_cast<std::size_t>(end - p));
    std::string s(reinterpret_cast<const char*>(p), n);
    p += n;
    return s;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  buf_set_resize_for_testing(flaky_resize);
  fail_next_resize = false;
  buf b;
  std::string model;
  reader in{data, data + size};
  while (in.p < in.end) {
    const unsigned op = in.byte() % 6;
    const char* old_data = b.data;
    const std::uint64_t old_cap = b.cap;
    int result = 0;
    std::string expected;
    switch (op) {
      case 0: {  // raw bytes, NULs included
        expected = in.slice(in.byte());
        result = buf_add(b, expected.data(), expected.size());
        break;
      }
      case 1: {
        std::string text = in.slice(in.byte());
        expected = std::string(text.c_str());
        result = buf_adds(b, text.c_str());
        break;
      }
      case 2: {  // widths past the 2048-byte local area take the second formatting pass
        const unsigned high = in.byte();
        const int width = static_cast<int>((high << 5) | (in.byte() & 31));
        std::string text(in.slice(in.byte()).c_str());
        const int number = static_cast<int>(in.byte()) - 128;
        char small[16];
        std::snprintf(small, sizeof small, "%d", number);
        std::string padded =
            text.size() < static_cast<std::size_t>(width)
                ? std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text
                : text;
        expected = padded + "|" + small;
        result = buf_addf(b, "%*s|%d", width, text.c_str(), number);
        break;
      }
      case 3: {
        std::string text(in.slice(in.byte()).c_str());
        expected = json_literal(text);
        const std::size_t old_len = model.size();
        result = buf_json(b, text.c_str());
        if (result == 0) {
          // Stopped part-way: what was appended is a prefix of the literal.
          FUZZ_CHECK(b.len >= old_len);
          const std::string appended =
              b.data != nullptr ? std::string(b.data + old_len, b.len - old_len) : "";
          FUZZ_CHECK(expected.compare(0, appended.size(), appended) == 0);
          FUZZ_CHECK(appended.size() < expected.size());
          model += appended;
          check_invariants(b, model);
          continue;
        }
        break;
      }
      case 4:
        fail_next_resize = true;
        continue;
      default: {  // appends that can never fit are refused and change nothing
        const std::uint64_t choices[] = {buf_limit_bytes, buf_limit_bytes - b.len,
                                         ~std::uint64_t{0}, ~std::uint64_t{0} - b.len};
        result = buf_add(b, data, choices[in.byte() % 4]);
        FUZZ_CHECK(result == 0);
        FUZZ_CHECK(b.data == old_data && b.cap == old_cap);
        check_invariants(b, model);
        continue;
      }
    }
    if (result != 0) {
      model += expected;
    } else {
      FUZZ_CHECK(b.data == old_data && b.cap == old_cap);
    }
    check_invariants(b, model);
  }
  buf_set_resize_for_testing(nullptr);
  return 0;
}
