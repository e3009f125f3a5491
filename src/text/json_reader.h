// Lenient JSON reader: reads the few members the program needs straight out of JSON text,
// without building a tree. It validates nothing and answers "absent" where a strict parser would
// fail. Only members of the outermost object are seen. Spans are [start, end); the text must be
// NUL-terminated at or after end, because string literals are decoded up to their closing quote or
// the first NUL.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/buf.h"
#include "text/fixed_text.h"

// Decodes the string literal under *cursor into out (at most cap - 1 bytes, always terminated) and
// moves *cursor behind the whole literal. Returns 0, touching nothing, when not on a quote.
int json_read_string_at(const char** cursor, char* out, std::size_t cap);

// The first byte of the value of the top-level member `name`, or nullptr.
const char* json_find_key(const char* start, const char* end, const char* name);

// 1 present (out filled), 0 absent or null (out untouched for absent/null).
int json_str_field(const char* start, const char* end, const char* name, char* out,
                   std::size_t cap);
int json_bool_field(const char* start, const char* end, const char* name, int default_value);
std::int64_t json_num_field(const char* start, const char* end, const char* name);

// Behind the last byte of the value that starts at p (object, array, string or bare word), or
// nullptr when it does not end before `end`.
const char* json_value_end(const char* p, const char* end);

// Start of the last line of the content that begins with '{', or nullptr.
const char* last_json_line(const buf& b);

// Replaces trailing JSON whitespace (tab, LF, CR, space) by NUL bytes.
void trim_tail(char* text);

template <std::size_t N>
int json_str_field(const char* start, const char* end, const char* name, fixed_text<N>& out) {
  return json_str_field(start, end, name, out.bytes, N);
}
