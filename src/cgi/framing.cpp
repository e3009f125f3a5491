// Response framing: the JSON header block, the success sequence and the error envelope.
#include "cgi/framing.h"

#include "cgi/messages.h"
#include "platform/platform.h"

namespace {

constexpr char json_header_block[] =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";
constexpr std::size_t json_header_block_len = sizeof json_header_block - 1;
static_assert(json_header_block_len == 107);

}  // namespace

void json_respond(const buf& body) {
  const out_piece pieces[] = {{json_header_block, json_header_block_len},
                              {body.text(), static_cast<std::size_t>(body.len)}};
  platform_write_stdout(pieces, 2);
}

void emit_error(int status, const char* reason, const char* code, const char* detail) {
  // Head and envelope share one buffer so the response goes out in one write; if the buffer
  // never obtained memory, nothing at all is written.
  buf response;
  buf_addf(response, "Status: %d %s\r\n", status, reason);
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
