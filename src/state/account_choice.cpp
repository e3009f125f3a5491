#include "state/account_choice.h"

#include <cstring>

#include "state/locations.h"
#include "text/json_reader.h"

namespace {

// The end of the object opening at `open`: just behind the '}' that closes it, or `end`. Strings
// are stepped over whole so that braces inside them do not count. Iterative, so any nesting depth
// is safe.
const char* object_end(const char* open, const char* end) {
  std::size_t depth = 0;
  const char* p = open;
  while (p < end) {
    if (*p == '"') {
      char skipped[8];
      json_read_string_at(&p, skipped, sizeof skipped);
      continue;
    }
    char c = *p++;
    if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return p;
    }
  }
  return end;
}

}  // namespace

void selected_account_read(account_name& selected) {
  selected.clear();
  path_1024 path;
  selected_account_path(path);
  heap_text text = read_file(path.c_str());
  if (!text) return;
  trim_tail(text.get());
  selected.assign(text.get());
}

account_choice account_choose(const char* text, std::string_view selected) {
  const char* end = text + std::strlen(text);
  const char* pos = text;
  account_choice fallback;
  for (std::size_t ordinal = 0; pos < end; ++ordinal) {
    const char* open =
        static_cast<const char*>(std::memchr(pos, '{', static_cast<std::size_t>(end - pos)));
    if (open == nullptr) break;
    const char* close = object_end(open, end);
    account_choice current;
    char refresh[8];
    json_str_field(open, close, "email", current.email);
    current.has_refresh = json_str_field(open, close, "refresh_token", refresh, sizeof refresh);
    current.chosen = 1;
    current.ordinal = ordinal;
    current.begin = static_cast<std::size_t>(open - text);
    current.end = static_cast<std::size_t>(close - text);
    if (!current.email.empty()) {
      if (!selected.empty() && selected == current.email.view()) return current;
      if (!fallback.chosen) fallback = current;
    }
    pos = close;
  }
  return fallback;
}
