// WinHTTP, with the system's TLS and certificate store. wine's WinHTTP ignores the receive timeout
// of WinHttpSetTimeouts while waiting for the answer's headers and never honours a redirect policy,
// hence the separate options below.
#include <windows.h>
// windows.h first: winhttp.h needs its types.
#include <winhttp.h>

#include <string>
#include <string_view>

#include "oauth/http_post.h"
#include "oauth/url_text.h"
#include "platform/windows_text.h"
#include "product.h"

namespace {

constexpr DWORD wsa_timed_out = 10060;  // WSAETIMEDOUT, as wine reports a timeout

// A WinHTTP handle, closed on every path.
struct internet_handle {
  HINTERNET h = nullptr;
  explicit internet_handle(HINTERNET handle) : h(handle) {}
  internet_handle(const internet_handle&) = delete;
  internet_handle& operator=(const internet_handle&) = delete;
  ~internet_handle() {
    if (h != nullptr) WinHttpCloseHandle(h);
  }
};

http_outcome outcome_of(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case wsa_timed_out:
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
      return http_outcome::unreachable;
    default:
      return http_outcome::failed;
  }
}

http_reply failure(DWORD error, const char* step) {
  http_reply reply;
  reply.outcome = outcome_of(error);
  reply.detail = std::string("WinHTTP ") + step + " failed with error " + std::to_string(error) +
                 (error == ERROR_WINHTTP_TIMEOUT || error == wsa_timed_out ? " (timed out)" : "");
  return reply;
}

// Host as the loopback test reads it: an IPv6 literal in brackets, as it stands in an address.
std::string host_text(const URL_COMPONENTS& parts) {
  std::string host = windows_narrow(std::wstring_view(parts.lpszHostName, parts.dwHostNameLength));
  if (host.find(':') != std::string::npos && !host.starts_with('[')) host = "[" + host + "]";
  return host;
}

}  // namespace

http_reply http_post_form(const std::string& url, const std::string& form_body) {
  http_reply reply;
  std::wstring address = windows_wide(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (address.empty() || !WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) {
    reply.outcome = http_outcome::refused;
    reply.detail = "not a valid address: " + url;
    return reply;
  }
  bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  bool loopback = url_host_is_loopback(host_text(parts));
  if (!secure && !(parts.nScheme == INTERNET_SCHEME_HTTP && loopback)) {
    reply.outcome = http_outcome::refused;
    reply.detail = "only https:// addresses (or http:// to this machine) are used: " + url;
    return reply;
  }

  int total_ms = static_cast<int>(http_total_timeout() * 1000);
  int connect_ms = static_cast<int>(http_connect_timeout_seconds * 1000);
  if (connect_ms > total_ms) connect_ms = total_ms;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(total_ms);

  // A proxy has no business between this machine and itself; wine's default access type would
  // take one from http_proxy and ignore no_proxy.
  std::wstring agent = windows_wide("lumenhollow-tools/" PRODUCT_VERSION);
  internet_handle session(WinHttpOpen(
      agent.c_str(), loopback ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
      WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.h == nullptr) return failure(GetLastError(), "open");
  WinHttpSetTimeouts(session.h, total_ms, connect_ms, total_ms, total_ms);
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  internet_handle connection(WinHttpConnect(session.h, host.c_str(), parts.nPort, 0));
  if (connection.h == nullptr) return failure(GetLastError(), "connect");
  std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";
  internet_handle request(WinHttpOpenRequest(connection.h, L"POST", target.c_str(), nullptr,
                                             WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                             secure ? WINHTTP_FLAG_SECURE : 0));
  if (request.h == nullptr) return failure(GetLastError(), "request");
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.h, WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
  DWORD answer_ms = static_cast<DWORD>(total_ms);
  WinHttpSetOption(request.h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &answer_ms,
                   sizeof answer_ms);

  const wchar_t* headers =
      L"Content-Type: application/x-www-form-urlencoded\r\nAccept: application/json\r\n";
  auto size = static_cast<DWORD>(form_body.size());
  if (!WinHttpSendRequest(request.h, headers, static_cast<DWORD>(-1L),
                          const_cast<char*>(form_body.data()), size, size, 0)) {
    return failure(GetLastError(), "send");
  }
  if (!WinHttpReceiveResponse(request.h, nullptr)) return failure(GetLastError(), "receive");
  DWORD status = 0;
  DWORD status_size = sizeof status;
  if (!WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return failure(GetLastError(), "status");
  }
  for (;;) {
    if (GetTickCount64() > deadline) return failure(ERROR_WINHTTP_TIMEOUT, "read");
    char area[16384];
    DWORD got = 0;
    if (!WinHttpReadData(request.h, area, sizeof area, &got))
      return failure(GetLastError(), "read");
    if (got == 0) break;
    if (reply.body.size() + got > http_body_limit_bytes) {
      reply.body.clear();
      reply.detail =
          "the answer is larger than " + std::to_string(http_body_limit_bytes) + " bytes";
      return reply;
    }
    reply.body.append(area, got);
  }
  reply.outcome = http_outcome::answered;
  reply.status = static_cast<long>(status);
  return reply;
}
