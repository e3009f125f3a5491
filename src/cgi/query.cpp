// Query-string accessors over the raw bytes of QUERY_STRING.
#include "cgi/query.h"

#include <cstring>

namespace {

// The byte right after `key` when the segment at `segment` begins with it, else nullptr.
const char* after_key(const char* segment, const char* key, std::size_t key_len) {
  return std::strncmp(segment, key, key_len) == 0 ? segment + key_len : nullptr;
}

// The start of the next segment, or nullptr when the scan is over. A trailing '&' ends the scan
// because the start it leads to is the end of the string.
const char* next_segment(const char* segment) {
  const char* amp = std::strchr(segment, '&');
  return amp != nullptr && amp[1] != '\0' ? amp + 1 : nullptr;
}

}  // namespace

int query_has(const char* query, const char* key) {
  if (query == nullptr || *query == '\0') return 0;
  std::size_t key_len = std::strlen(key);
  for (const char* segment = query; segment != nullptr; segment = next_segment(segment)) {
    const char* rest = after_key(segment, key, key_len);
    if (rest != nullptr && (*rest == '=' || *rest == '&' || *rest == '\0')) return 1;
  }
  return 0;
}

int get_query_val(const char* query, const char* key, char* out, std::size_t cap) {
  if (cap == 0) return 0;
  out[0] = '\0';
  if (query == nullptr || *query == '\0') return 0;
  std::size_t key_len = std::strlen(key);
  for (const char* segment = query; segment != nullptr; segment = next_segment(segment)) {
    const char* rest = after_key(segment, key, key_len);
    if (rest == nullptr || *rest != '=') continue;
    const char* value = rest + 1;
    std::size_t n = std::strcspn(value, "&");
    if (n > cap - 1) n = cap - 1;
    std::memcpy(out, value, n);
    out[n] = '\0';
    return 1;
  }
  return 0;
}
