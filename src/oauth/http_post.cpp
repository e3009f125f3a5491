#include "oauth/http_post.h"

#include <charconv>
#include <string_view>

#include "platform/platform.h"

long http_total_timeout() {
  const char* text = platform_env("LUMENHOLLOW_HTTP_TIMEOUT");
  if (text == nullptr) return http_total_timeout_seconds;
  long value = 0;
  std::string_view view(text);
  auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (error != std::errc() || end != view.data() + view.size() || value < 1) {
    return http_total_timeout_seconds;
  }
  return value < http_total_timeout_seconds ? value : http_total_timeout_seconds;
}
