// The lenient JSON reader against a plain model written from its rules: every reader gives the
// model's answer, writes at most cap - 1 bytes and a zero into its area (canary bytes behind the
// area stay), leaves the area untouched where it promises to, and never reads past the span or
// the text's terminating zero (the document sits in an exact-size heap block under ASan).
#include <climits>
#include <cstdlib>
#include <string>

#include "fuzz_check.h"
#include "text/json_reader.h"

namespace {

const std::string long_name(127, 'n');
const std::string too_long_name(128, 'n');
// clang-format off
const char* const member_names[] = {
    "a",          "b",           "k",        "v",       "x:y",        "s",          "e",
    "ok",         "error",       "email",    "refresh_token", "identity", "path",   "logged_in",
    "has_refresh", "pending",    "expires_at", "auth_url", "flow",     "hint",       "expires_in",
    "project_id", "code",        "",         long_name.c_str(), too_long_name.c_str()};
// clang-format on
constexpr std::size_t member_name_count = sizeof member_names / sizeof member_names[0];

bool json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct decoded_literal {
  std::string bytes;  // every decoded byte, before any capacity cut
  const char* cursor;
};

// The literal under p (p on a quote).
decoded_literal model_literal(const char* p) {
  decoded_literal d{{}, nullptr};
  ++p;
  for (;;) {
    const char c = *p;
    if (c == '\0') break;
    if (c == '"') {
      ++p;
      break;
    }
    if (c != '\\') {
      d.bytes += c;
      ++p;
      continue;
    }
    const char e = p[1];
    if (e == '\0') {
      d.bytes += '\\';
      ++p;
      continue;
    }
    p += 2;
    // clang-format off
    switch (e) {
      case 'b': d.bytes += '\b'; break;
      case 'f': d.bytes += '\f'; break;
      case 'n': d.bytes += '\n'; break;
      case 'r': d.bytes += '\r'; break;
      case 't': d.bytes += '\t'; break;
      case 'u': {
        unsigned value = 0;
        for (int i = 0; i < 4 && hex_value(*p) >= 0; ++i) value = value * 16 + hex_value(*p++);
        d.bytes += static_cast<char>(value & 0xFF);
        break;
      }
      default: d.bytes += e;
    }
    // clang-format on
  }
  d.cursor = p;
  return d;
}

// What an area of `cap` bytes holds after the literal is stored into it.
void model_store(fenced_area& area, const std::string& bytes) {
  const std::size_t n = std::min(bytes.size(), area.cap - 1);
  std::memcpy(area.data(), bytes.data(), n);
  area.data()[n] = '\0';
}

const char* model_find(const char* start, const char* end, const std::string& name) {
  if (start >= end) return nullptr;
  const char* p = start;
  while (p < end && json_space(*p)) ++p;
  if (p == end) return nullptr;
  if (*p == '{') ++p;
  long depth = 0;
  while (p < end) {
    if (*p == '"') {
      decoded_literal d = model_literal(p);
      std::string key = d.bytes.substr(0, 127);
      key = std::string(key.c_str());  // a decoded zero ends the name
      p = d.cursor;
      if (depth == 0 && key == name) {
        const char* q = d.cursor;
        while (q < end && json_space(*q)) ++q;
        if (q < end && *q == ':') {
          ++q;
          while (q < end && json_space(*q)) ++q;
          return q < end ? q : nullptr;
        }
      }
      continue;
    }
    if (*p == '{' || *p == '[') ++depth;
    if (*p == '}' || *p == ']') --depth;
    ++p;
  }
  return nullptr;
}

bool span_has(const char* p, const char* end, const char* word) {
  const std::size_t n = std::strlen(word);
  return static_cast<std::size_t>(end - p) >= n && std::memcmp(p, word, n) == 0;
}

void model_trim(char* text) {
  std::size_t n = std::strlen(text);
  while (n > 0 && json_space(text[n - 1])) text[--n] = '\0';
}

int model_str_field(const char* start, const char* end, const std::string& name,
                    fenced_area& area) {
  const char* v = model_find(start, end, name);
  if (v == nullptr || *v == 'n') return 0;
  area.data()[0] = '\0';
  if (*v == '"') {
    model_store(area, model_literal(v).bytes);
    return 1;
  }
  std::size_t n = 0;
  while (v + n < end && n + 1 < area.cap && v[n] != ']' && v[n] != '}' && v[n] != ',') {
    area.data()[n] = v[n];
    ++n;
  }
  area.data()[n] = '\0';
  model_trim(area.data());
  return area.data()[0] != '\0' ? 1 : 0;
}

int model_bool_field(const char* start, const char* end, const std::string& name, int fallback) {
  const char* v = model_find(start, end, name);
  if (v == nullptr) return fallback;
  if (span_has(v, end, "true")) return 1;
  if (span_has(v, end, "false")) return 0;
  if (*v == '"') return span_has(v + 1, end, "true") || span_has(v + 1, end, "1") ? 1 : 0;
  return *v == '1' ? 1 : 0;
}

std::int64_t model_num_field(const char* start, const char* end, const std::string& name) {
  const char* v = model_find(start, end, name);
  if (v == nullptr) return 0;
  if (*v == '"') ++v;
  // strtoll skips the same white space, takes the same sign and saturates out of range.
  const std::string rest(v, static_cast<std::size_t>(end - v));
  return static_cast<std::int64_t>(std::strtoll(rest.c_str(), nullptr, 10));
}

const char* model_last_line(const char* data, std::size_t len) {
  const char* found = nullptr;
  for (std::size_t i = 0; i < len; ++i) {
    if (data[i] == '{' && (i == 0 || data[i - 1] == '\n')) found = data + i;
  }
  return found;
}

void check_literal_reads(const char* doc, std::size_t n, unsigned cap_seed) {
  const char* quote = static_cast<const char*>(std::memchr(doc, '"', n));
  // Not on a quote: nothing written, cursor unchanged.
  const char* not_quote = doc;
  if (n > 0 && *doc != '"') {
    fenced_area area(8);
    FUZZ_CHECK(json_read_string_at(&not_quote, area.data(), area.cap) == 0);
    FUZZ_CHECK(not_quote == doc && area.untouched() && area.canary_intact());
  }
  const char* null_cursor = nullptr;
  FUZZ_CHECK(json_read_string_at(&null_cursor, nullptr, 0) == 0);
  if (quote == nullptr) return;

  const decoded_literal expected = model_literal(quote);
  // The literal ends on its closing quote or on the text's zero byte, never past it.
  const char* zero = quote + 1 + std::strlen(quote + 1);
  FUZZ_CHECK(expected.cursor > quote && expected.cursor <= zero);
  const std::size_t caps[] = {1, 2, 8, 128, (cap_seed % 64) + 1, n + 2};
  for (std::size_t cap : caps) {
    fenced_area area(cap);
    fenced_area model(cap);
    model_store(model, expected.bytes);
    const char* cursor = quote;
    FUZZ_CHECK(json_read_string_at(&cursor, area.data(), cap) == 1);
    FUZZ_CHECK(area.canary_intact());
    FUZZ_CHECK(area.terminated());
    FUZZ_CHECK(cursor == expected.cursor);  // whatever the capacity
    FUZZ_CHECK(cursor <= zero);
    FUZZ_CHECK(area.bytes == model.bytes);
  }
}

void check_members(const char* start, const char* end, const std::string& name, unsigned cap_seed) {
  const char* expected_value = model_find(start, end, name);
  const char* value = json_find_key(start, end, name.c_str());
  FUZZ_CHECK(value == expected_value);
  if (value != nullptr) FUZZ_CHECK(value >= start && value < end && !json_space(*value));

  const std::size_t caps[] = {1, 8, (cap_seed % 64) + 1, 256, 4096};
  for (std::size_t cap : caps) {
    fenced_area area(cap);
    fenced_area model(cap);
    const int result = json_str_field(start, end, name.c_str(), area.data(), cap);
    FUZZ_CHECK(result == model_str_field(start, end, name, model));
    FUZZ_CHECK(area.canary_intact());
    FUZZ_CHECK(area.bytes == model.bytes);
    if (value == nullptr || *value == 'n')
      FUZZ_CHECK(result == 0 && area.untouched());
    else
      FUZZ_CHECK(area.terminated());
  }

  const int fallback = 7;
  const int flag = json_bool_field(start, end, name.c_str(), fallback);
  FUZZ_CHECK(flag == model_bool_field(start, end, name, fallback));
  FUZZ_CHECK(flag == 0 || flag == 1 || (flag == fallback && value == nullptr));
  FUZZ_CHECK(json_num_field(start, end, name.c_str()) == model_num_field(start, end, name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const unsigned name_seed = data[0];
  const unsigned cap_seed = data[1];
  const unsigned end_seed = data[2];
  const std::size_t n = size - 3;

  // An exact-size block: one byte past the terminating zero is outside it.
  char* doc = static_cast<char*>(std::malloc(n + 1));
  std::memcpy(doc, data + 3, n);
  doc[n] = '\0';
  // The tool-output callers end the span at the terminating zero; the accounts walker ends it at
  // the end of one object, somewhere inside the text.
  const std::size_t end_offset = end_seed == 0 ? n : (end_seed * (n + 1)) / 256;
  const char* start = doc;
  const char* end = doc + end_offset;

  const std::string name = member_names[name_seed % member_name_count];
  check_members(start, end, name, cap_seed);
  check_literal_reads(doc, n, cap_seed);

  // A null or inverted span finds nothing.
  FUZZ_CHECK(json_find_key(nullptr, end, "a") == nullptr);
  FUZZ_CHECK(json_find_key(end, start, "a") == nullptr);

  buf capture;
  buf_add(capture, doc, n);
  FUZZ_CHECK(last_json_line(capture) == (n == 0 ? nullptr : model_last_line(capture.data, n)));

  std::string trimmed(doc);
  std::string model_trimmed = trimmed;
  trim_tail(trimmed.data());
  model_trim(model_trimmed.data());
  FUZZ_CHECK(trimmed == model_trimmed);
  const std::size_t kept = std::strlen(trimmed.c_str());
  FUZZ_CHECK(kept == 0 || !json_space(trimmed[kept - 1]));

  std::free(doc);
  return 0;
}
