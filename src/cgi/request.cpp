// Reading the request from the environment, the one place that does.
#include "cgi/request.h"

#include "platform/platform.h"

request request_from_environment() {
  request r;
  if (const char* query = platform_env("QUERY_STRING"); query != nullptr) r.query = query;
  r.password = platform_env("BOT_PASSWORD");
  r.password_header = platform_env("HTTP_X_BOT_PASSWORD");
  r.authorization = platform_env("HTTP_AUTHORIZATION");
  r.content_length = platform_env("CONTENT_LENGTH");
  r.method = platform_env("REQUEST_METHOD");
  r.content_type = platform_env("CONTENT_TYPE");
  r.under_cgi = platform_env("GATEWAY_INTERFACE") != nullptr;
  return r;
}
