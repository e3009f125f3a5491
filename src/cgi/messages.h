// Every fixed text that the program sends, defined once.
#pragma once

#include "product.h"

inline constexpr char discovery_line[] = "{\"name\":\"google\",\"desc\":\"Google login\"}\n";
inline constexpr char version_line[] = PRODUCT_NAME " " PRODUCT_VERSION "\n";

inline constexpr int http_ok = 200;
inline constexpr int http_bad_request = 400;
inline constexpr int http_not_found = 404;
inline constexpr int http_method_not_allowed = 405;
inline constexpr int http_unsupported_media_type = 415;
inline constexpr char reason_ok[] = "OK";
inline constexpr char reason_bad_request[] = "Bad Request";
inline constexpr char reason_not_found[] = "Not Found";
inline constexpr char reason_method_not_allowed[] = "Method Not Allowed";
inline constexpr char reason_unsupported_media_type[] = "Unsupported Media Type";

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

// The account actions. The ones that change the node take only a JSON POST, which a page on
// another site cannot make a browser send without a preflight that the program never grants.
inline constexpr char change_method[] = "POST";
inline constexpr char change_media_type[] = "application/json";
inline constexpr char error_method_not_allowed[] = "method_not_allowed";
inline constexpr char detail_method_not_allowed_format[] =
    "%s is not allowed here; this action changes the node and needs POST with Content-Type: "
    "application/json";
inline constexpr char error_unsupported_media_type[] = "unsupported_media_type";
inline constexpr char detail_unsupported_media_type[] =
    "send the body as Content-Type: application/json";
inline constexpr char error_invalid_body[] = "invalid_body";
inline constexpr char detail_invalid_body[] =
    "the body must be a JSON object: {} or {\"email\":\"...\"}";
inline constexpr char error_invalid_email[] = "invalid_email";
inline constexpr char detail_invalid_email[] =
    "the email member must be an e-mail address of printable characters";
inline constexpr char error_missing_email[] = "missing_email";
inline constexpr char detail_missing_email[] =
    "name the account to switch to as {\"email\":\"...\"}";
inline constexpr char error_accounts_failed[] = "accounts_failed";
inline constexpr char detail_accounts_failed[] = "the login CLI could not list the accounts";
inline constexpr char detail_accounts_form[] = "the login CLI's account list is not in its form";
inline constexpr char error_logout_failed[] = "logout_failed";
inline constexpr char detail_logout_failed[] = "the login CLI could not sign the account out";
inline constexpr char error_select_failed[] = "select_failed";
inline constexpr char detail_select_failed[] = "the login CLI could not switch to that account";

// The provider's redirect page in the loopback-redirect flow is on localhost: the browser lands on
// an address that does not load on the operator's machine, and the operator copies it. The console
// page's default flow hint names the same host.
inline constexpr char default_start_hint[] =
    "Sign in with Google and approve. The browser lands on localhost - copy the whole address (or "
    "just the code) and paste it here.";
