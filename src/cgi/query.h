// Query-string access on the raw bytes of QUERY_STRING: nothing is URL-decoded or trimmed, keys are
// matched case-sensitively, segments are separated by '&' only, and the first match wins.
#pragma once

#include <cstddef>

#include "text/fixed_text.h"

// 1 when a segment begins with the key followed by '=', '&' or the end; 0 otherwise or for nullptr.
int query_has(const char* query, const char* key);

// 1 when a segment "key=..." was found (value copied, cut to cap - 1 bytes, possibly empty);
// 0 otherwise. `out` is emptied first, so it is empty whenever the result is 0.
int get_query_val(const char* query, const char* key, char* out, std::size_t cap);

template <std::size_t N>
int get_query_val(const char* query, const char* key, fixed_text<N>& out) {
  return get_query_val(query, key, out.bytes, N);
}
