// Every fixed text that the program sends, defined once.
#pragma once

#include <cstddef>

inline constexpr char discovery_line[] = "{\"name\":\"google\",\"desc\":\"Google login\"}\n";
inline constexpr char version_line[] = "plugin_lumenhollow_login 1.0.0\n";

inline constexpr int http_ok = 200;
inline constexpr int http_bad_request = 400;
inline constexpr int http_not_found = 404;
inline constexpr char reason_ok[] = "OK";
inline constexpr char reason_bad_request[] = "Bad Request";
inline constexpr char reason_not_found[] = "Not Found";

// The gate's refusal is fixed bytes of its own: no X-Content-Type-Options line, no detail member.
inline constexpr char gate_refusal[] =
    "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n\r\n{\"ok\":false,\"error\":\"invalid node password\"}\n";
static_assert(sizeof gate_refusal - 1 == 145);

// Every failure body opens like this; the error code follows as a JSON string.
inline constexpr char failure_opening[] = "{\"ok\":false,\"error\":";

inline constexpr char error_unknown_action[] = "unknown_action";
inline constexpr char error_missing_code[] = "missing_code";
inline constexpr char detail_missing_code[] = "pass the authorization code as &code=...";
inline constexpr char error_invalid_code[] = "invalid_code";
inline constexpr char detail_invalid_code[] =
    "the value is not an authorization code (empty, too long, or contains shell characters)";
inline constexpr char error_cli_unavailable[] = "cli_unavailable";
inline constexpr char detail_login_cli_unavailable[] =
    "the login CLI is not on this node; install VELTRANE CODE or set LUMENHOLLOW_LOGIN_BIN";
inline constexpr char detail_token_cli_unavailable[] =
    "the token CLI is not on this node; install VELTRANE CODE or set LUMENHOLLOW_TOKEN_BIN";
inline constexpr char error_start_failed[] = "start_failed";
inline constexpr char detail_no_auth_url[] = "the login CLI did not return an authorization URL";
inline constexpr char error_finish_failed[] = "finish_failed";
inline constexpr char detail_finish_no_json[] = "the login CLI returned no JSON";
inline constexpr char detail_code_rejected[] =
    "Google rejected the code, or the account needs verification in a browser";
inline constexpr char error_refresh_failed[] = "refresh_failed";
inline constexpr char detail_refresh_default[] =
    "the token CLI could not refresh the session; sign in again";

// The provider's redirect page in the loopback-redirect flow: the browser lands on a localhost
// address that does not load on the operator's machine, and the operator copies it. The console
// page's default flow hint names the same host.
inline constexpr char redirect_host[] = "localhost";
inline constexpr char default_start_hint[] =
    "Sign in with Google and approve. The browser lands on localhost - copy the whole address (or "
    "just the code) and paste it here.";

// The hint spells the host out; keep it in step with redirect_host.
constexpr bool hint_names_redirect_host() {
  constexpr std::size_t host_len = sizeof redirect_host - 1;
  for (std::size_t at = 0; at + host_len < sizeof default_start_hint; ++at) {
    std::size_t i = 0;
    while (i < host_len && default_start_hint[at + i] == redirect_host[i]) ++i;
    if (i == host_len) return true;
  }
  return false;
}
static_assert(hint_names_redirect_host());
