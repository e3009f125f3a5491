// Page delivery: the HTML header block, then the template with the theme shell at its markers.
#include "page/page.h"

#include "page/page_data.h"
#include "platform/platform.h"

namespace {

// Everything the page loads is inline, it calls only its own origin, and any host may frame it.
constexpr char html_headers[] =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
    "style-src 'unsafe-inline'; img-src data:; connect-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors *\r\n"
    "\r\n";

}  // namespace

void deliver_page() {
  // The marker bytes themselves are never written: each slice stops just before one.
  const std::size_t head_at = page_template_head_marker;
  const std::size_t bridge_at = page_template_bridge_marker;
  const out_piece pieces[] = {
      {html_headers, sizeof html_headers - 1},
      {page_template, head_at},
      {theme_head, theme_head_len},
      {page_template + head_at + 1, bridge_at - head_at - 1},
      {theme_bridge, theme_bridge_len},
      {page_template + bridge_at + 1, page_template_len - bridge_at - 1},
  };
  platform_write_stdout(pieces, sizeof pieces / sizeof pieces[0]);
}
