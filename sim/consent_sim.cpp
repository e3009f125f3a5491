// Simulated consent page (a CGI program), the target of the simulated login CLI's authorization
// address. It shows the pending request and offers Allow, which lands the browser on the loopback
// address with state, code and scope, exactly where the operator would copy it from.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim_state.h"

namespace {

std::string query_value(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    std::size_t end = query.find('&');
    std::string_view segment = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (segment.size() > key.size() && segment.substr(0, key.size()) == key &&
        segment[key.size()] == '=')
      return sim_percent_decode(segment.substr(key.size() + 1));
  }
  return {};
}

std::string html(std::string_view text) {
  std::string out;
  for (char ch : text) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += ch;
        break;
    }
  }
  return out;
}

constexpr std::string_view page_head = R"(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width,initial-scale=1">
<title>Sign in - simulated consent</title>
<style>
  :root { color-scheme: light dark; --bg: #f1f3f4; --card: #fff; --text: #202124; --muted: #5f6368;
    --line: #dadce0; --blue: #1a73e8; --chip: #f8f9fa; }
  @media (prefers-color-scheme: dark) {
    :root { --bg: #1f1f1f; --card: #2b2b2b; --text: #e8eaed; --muted: #9aa0a6; --line: #3c4043;
      --blue: #8ab4f8; --chip: #333; }
  }
  * { box-sizing: border-box; }
  body { margin: 0; min-height: 100vh; display: grid; place-items: center; background: var(--bg);
    color: var(--text); font: 14px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif; }
  main { width: min(460px, calc(100vw - 24px)); background: var(--card); border: 1px solid var(--line);
    border-radius: 16px; padding: 32px 32px 24px; }
  .brand { font-weight: 700; letter-spacing: .02em; color: var(--muted); font-size: 13px; }
  h1 { font-size: 22px; font-weight: 500; margin: 14px 0 6px; }
  .lead { color: var(--muted); margin: 0 0 18px; }
  .chip { display: inline-flex; align-items: center; gap: 8px; padding: 4px 12px 4px 4px;
    border: 1px solid var(--line); border-radius: 999px; background: var(--chip); }
  .avatar { width: 24px; height: 24px; border-radius: 50%; background: var(--blue); color: var(--card);
    display: grid; place-items: center; font-weight: 700; font-size: 12px; }
  ul { list-style: none; padding: 0; margin: 20px 0; border-top: 1px solid var(--line); }
  li { padding: 10px 0; border-bottom: 1px solid var(--line); display: flex; gap: 10px; }
  li::before { content: "\2713"; color: var(--blue); font-weight: 700; }
  .actions { display: flex; justify-content: flex-end; gap: 8px; margin-top: 24px; }
  .btn { display: inline-block; padding: 8px 22px; border-radius: 999px; text-decoration: none;
    font-weight: 600; border: 1px solid var(--line); color: var(--blue); }
  .btn.primary { background: var(--blue); border-color: var(--blue); color: var(--card); }
  .foot { margin-top: 22px; font-size: 12px; color: var(--muted); }
</style>
</head>
<body>
<main>
<div class="brand">Simulated sign-in</div>
)";

constexpr std::string_view page_foot =
    R"(<p class="foot">Simulated consent screen for demos and tests. Nothing leaves this machine.</p>
</main>
</body>
</html>
)";

void respond(std::string_view status_line, const std::string& body) {
  std::printf(
      "%.*sContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
      "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'\r\n\r\n",
      static_cast<int>(status_line.size()), status_line.data());
  std::fwrite(page_head.data(), 1, page_head.size(), stdout);
  std::fwrite(body.data(), 1, body.size(), stdout);
  std::fwrite(page_foot.data(), 1, page_foot.size(), stdout);
}

std::string scope_label(std::string_view scope) {
  if (scope == "openid") return "Associate you with your personal info";
  if (scope.ends_with("/userinfo.email")) return "See your primary email address";
  if (scope.ends_with("/cloud-platform")) return "See, edit and configure your Cloud project data";
  return std::string(scope);
}

}  // namespace

int main() {
  const char* query_env = std::getenv("QUERY_STRING");
  std::string_view query = query_env != nullptr ? query_env : "";
  std::string state = query_value(query, "state");

  sim_paths paths = sim_locate();
  std::string text;
  sim_object marker;
  if (state.empty() || !sim_read(paths.pending, text) || !sim_json_parse_object(text, marker) ||
      sim_json_text(marker, "state") != state ||
      sim_json_number(marker, "expires_at") < sim_now()) {
    respond("Status: 400 Bad Request\r\n",
            "<h1 id=\"stale\">This sign-in request is no longer valid</h1>\n"
            "<p class=\"lead\">It was cancelled, finished or has expired. Start the login again "
            "from the node console.</p>\n");
    return 0;
  }

  std::string email = sim_json_text(marker, "email");
  std::string scope = sim_json_text(marker, "scope");
  std::string redirect = sim_json_text(marker, "redirect_uri");
  std::string allow = redirect + "?state=" + sim_percent_encode(state) +
                      "&code=" + sim_json_text(marker, "code") +
                      "&scope=" + sim_percent_encode(scope);
  std::string deny = redirect + "?error=access_denied&state=" + sim_percent_encode(state);

  std::string body = "<h1>Lumenhollow node login wants access to your Google Account</h1>\n";
  body += "<p class=\"lead\">Signing in as</p>\n<span class=\"chip\"><span class=\"avatar\">" +
          html(email.substr(0, 1)) + "</span><span id=\"account\">" + html(email) +
          "</span></span>\n<ul>\n";
  std::string_view rest = scope;
  while (!rest.empty()) {
    std::size_t end = rest.find(' ');
    std::string_view one = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!one.empty()) body += "<li>" + html(scope_label(one)) + "</li>\n";
  }
  body += "</ul>\n<div class=\"actions\">\n<a class=\"btn\" id=\"deny\" href=\"" + html(deny) +
          "\">Cancel</a>\n<a class=\"btn primary\" id=\"approve\" href=\"" + html(allow) +
          "\">Allow</a>\n</div>\n";
  respond("", body);
  return 0;
}
