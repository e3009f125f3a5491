// Response framing: the header blocks, the success sequence, the error envelope, the page.
#include "cgi/framing.h"

#include "cgi/messages.h"
#include "page/page.h"
#include "platform/platform.h"

namespace {

constexpr char json_header_block[] =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";
constexpr std::size_t json_header_block_len = sizeof json_header_block - 1;
static_assert(json_header_block_len == 107);

// Everything the page loads is inline, it calls only its own origin, and any host may frame it.
constexpr char html_header_block[] =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
    "style-src 'unsafe-inline'; img-src data:; connect-src 'self'; base-uri 'none'; "
    "form-action 'none'; frame-ancestors *\r\n"
    "\r\n";

}  // namespace

void json_respond(const buf& body) {
  const out_piece pieces[] = {{json_header_block, json_header_block_len},
                              {body.text(), static_cast<std::size_t>(body.len)}};
  platform_write_stdout(pieces, 2);
}

void emit_error(int status, const char* reason, const char* code, const char* detail,
                const char* allow) {
  // Head and envelope share one buffer so the response goes out in one write; if the buffer
  // never obtained memory, nothing at all is written.
  buf response;
  buf_addf(response, "Status: %d %s\r\n", status, reason);
  if (allow != nullptr) buf_addf(response, "Allow: %s\r\n", allow);
  buf_adds(response, json_header_block);
  buf_adds(response, failure_opening);
  buf_json(response, code);
  if (detail != nullptr && *detail != '\0') {
    buf_adds(response, ",\"detail\":");
    buf_json(response, detail);
  }
  buf_adds(response, "}\n");
  platform_write_stdout(response.text(), static_cast<std::size_t>(response.len));
}

void page_respond() {
  const page_parts page = page_body();
  out_piece pieces[1 + page_part_count] = {{html_header_block, sizeof html_header_block - 1}};
  for (std::size_t i = 0; i < page_part_count; ++i) {
    pieces[1 + i] = {page.part[i].data(), page.part[i].size()};
  }
  platform_write_stdout(pieces, 1 + page_part_count);
}

void refusal_respond() {
  platform_write_stdout(gate_refusal, sizeof gate_refusal - 1);
}
