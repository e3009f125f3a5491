// HTTP for the network steps: libcurl on POSIX (http_curl.cpp), WinHTTP on Windows
// (http_winhttp.cpp). Either way certificates are always checked, redirects are not followed, plain
// http goes only to this machine, and never through a proxy.
#pragma once

#include <string>

enum class http_outcome {
  answered,     // a complete HTTP answer, any status
  refused,      // the address is not https://, nor http:// to a loopback host
  unreachable,  // no connection, name not resolved, TLS failed, or no answer in time
  failed,       // anything else, the HTTP library missing included
};

struct http_reply {
  http_outcome outcome = http_outcome::failed;
  long status = 0;
  std::string body;
  std::string detail;  // what went wrong, for standard error
};

// Connection and whole-request limits; LUMENHOLLOW_HTTP_TIMEOUT (seconds) can shorten the latter.
inline constexpr long http_connect_timeout_seconds = 10;
inline constexpr long http_total_timeout_seconds = 30;
inline constexpr std::size_t http_body_limit_bytes = 1024 * 1024;
// The whole-request limit in force for this run, in seconds.
long http_total_timeout();

// POSTs an application/x-www-form-urlencoded body and collects the answer.
http_reply http_post_form(const std::string& url, const std::string& form_body);
