#include "text/json_reader.h"

#include <cstring>
#include <limits>

#include "text/chars.h"

namespace {

// Member names longer than this are compared by their first json_key_bytes - 1 bytes.
constexpr std::size_t json_key_bytes = 128;

const char* skip_json_space(const char* p, const char* end) {
  while (p < end && is_json_space(*p)) ++p;
  return p;
}

bool span_starts_with(const char* p, const char* end, const char* word) {
  const std::size_t n = std::strlen(word);
  return static_cast<std::size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
}

}  // namespace

int json_read_string_at(const char** cursor, char* out, std::size_t cap) {
  if (cursor == nullptr || *cursor == nullptr || **cursor != '"') return 0;
  const char* p = *cursor + 1;
  std::size_t stored = 0;
  // Bytes beyond the area are decoded and dropped so the cursor still ends behind the literal.
  auto store = [&](char c) {
    if (stored + 1 < cap) out[stored++] = c;
  };
  while (*p != '\0') {
    if (*p == '"') {
      ++p;
      break;
    }
    if (*p != '\\') {
      // Runs of plain bytes are copied at once: the account scan steps over megabytes of them.
      const std::size_t run = std::strcspn(p, "\"\\");
      const std::size_t room = cap > stored + 1 ? cap - stored - 1 : 0;
      const std::size_t kept = run < room ? run : room;
      if (kept != 0) std::memcpy(out + stored, p, kept);
      stored += kept;
      p += run;
      continue;
    }
    const char escaped = p[1];
    if (escaped == '\0') {  // a lone backslash at the end of the text is kept as it is
      store('\\');
      ++p;
      continue;
    }
    p += 2;
    switch (escaped) {
      case 'b':
        store('\b');
        break;
      case 'f':
        store('\f');
        break;
      case 'n':
        store('\n');
        break;
      case 'r':
        store('\r');
        break;
      case 't':
        store('\t');
        break;
      case 'u': {
        // Only the low byte survives: the program handles bytes, not code points.
        unsigned value = 0;
        for (int digits = 0; digits < 4; ++digits) {
          const int digit = hex_digit_value(*p);
          if (digit < 0) break;
          value = value * 16 + static_cast<unsigned>(digit);
          ++p;
        }
        store(static_cast<char>(value & 0xFFu));
        break;
      }
      default:
        store(escaped);
        break;
    }
  }
  if (cap != 0) out[stored] = '\0';
  *cursor = p;
  return 1;
}

const char* json_find_key(const char* start, const char* end, const char* name) {
  if (start == nullptr || end == nullptr || name == nullptr || start >= end) return nullptr;
  const char* p = skip_json_space(start, end);
  if (p == end) return nullptr;
  if (*p == '{') ++p;

  std::int64_t depth = 0;
  char key[json_key_bytes];
  while (p < end) {
    switch (*p) {
      case '"': {
        const char* behind = p;
        json_read_string_at(&behind, key, sizeof key);
        p = behind;
        if (depth != 0 || std::strcmp(key, name) != 0) break;
        // A value equal to the name is not followed by a colon and is passed over.
        const char* colon = skip_json_space(behind, end);
        if (colon >= end || *colon != ':') break;
        const char* value = skip_json_space(colon + 1, end);
        return value < end ? value : nullptr;
      }
      case '{':
      case '[':
        ++depth;
        ++p;
        break;
      case '}':
      case ']':
        --depth;
        ++p;
        break;
      default:
        ++p;
        break;
    }
  }
  return nullptr;
}

int json_str_field(const char* start, const char* end, const char* name, char* out,
                   std::size_t cap) {
  const char* value = json_find_key(start, end, name);
  if (value == nullptr || *value == 'n' || cap == 0) return 0;
  out[0] = '\0';
  if (*value == '"') {
    json_read_string_at(&value, out, cap);
    return 1;
  }
  // A bare value (number, true, a nested object's opening) is taken as raw text up to its end.
  std::size_t n = 0;
  while (value + n < end && n + 1 < cap) {
    const char c = value[n];
    if (c == ']' || c == '}' || c == ',') break;
    out[n++] = c;
  }
  out[n] = '\0';
  trim_tail(out);
  return out[0] != '\0' ? 1 : 0;
}

int json_bool_field(const char* start, const char* end, const char* name, int default_value) {
  const char* value = json_find_key(start, end, name);
  if (value == nullptr) return default_value;
  if (span_starts_with(value, end, "true")) return 1;
  if (span_starts_with(value, end, "false")) return 0;
  if (*value == '"') {
    const char* inner = value + 1;
    return span_starts_with(inner, end, "true") || span_starts_with(inner, end, "1") ? 1 : 0;
  }
  return *value == '1' ? 1 : 0;
}

std::int64_t json_num_field(const char* start, const char* end, const char* name) {
  const char* p = json_find_key(start, end, name);
  if (p == nullptr) return 0;
  if (*p == '"') ++p;
  while (p < end && is_c_space(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';

  // Accumulated toward the sign so that the most negative value is reachable; out of range
  // saturates like a C library conversion instead of overflowing.
  constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t least = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    const int digit = *p - '0';
    if (negative) {
      value = value < (least + digit) / 10 ? least : value * 10 - digit;
    } else {
      value = value > (most - digit) / 10 ? most : value * 10 + digit;
    }
  }
  return value;
}

const char* json_value_end(const char* p, const char* end) {
  if (p == nullptr || p >= end) return nullptr;
  if (*p != '{' && *p != '[' && *p != '"') {
    while (p < end && *p != ',' && *p != '}' && *p != ']' && !is_json_space(*p)) ++p;
    return p;
  }
  std::int64_t depth = 0;
  bool in_string = false;
  for (; p < end; ++p) {
    if (in_string) {
      if (*p == '\\') {
        ++p;
      } else if (*p == '"') {
        in_string = false;
        if (depth == 0) return p + 1;
      }
    } else if (*p == '"') {
      in_string = true;
    } else if (*p == '{' || *p == '[') {
      ++depth;
    } else if (*p == '}' || *p == ']') {
      if (--depth == 0) return p + 1;
    }
  }
  return nullptr;
}

const char* last_json_line(const buf& b) {
  if (b.data == nullptr || b.len == 0) return nullptr;
  for (std::uint64_t i = b.len; i-- > 0;) {
    if (b.data[i] == '{' && (i == 0 || b.data[i - 1] == '\n')) return b.data + i;
  }
  return nullptr;
}

void trim_tail(char* text) {
  if (text == nullptr) return;
  std::size_t n = std::strlen(text);
  while (n > 0 && is_json_space(text[n - 1])) text[--n] = '\0';
}
