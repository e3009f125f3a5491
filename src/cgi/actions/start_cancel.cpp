// The start and cancel actions: open or drop a pending sign-in through the login CLI.
#include <cstdint>

#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "runner/tool_runner.h"
#include "text/buf.h"
#include "text/fixed_text.h"
#include "text/json_reader.h"

namespace {

constexpr char default_flow[] = "paste_code";
// The lifetime of a pending sign-in when the tool does not name one.
constexpr std::int64_t default_expires_in_seconds = 900;
constexpr std::size_t hint_bytes = 512;
constexpr char cancel_document[] = "{\"ok\":true,\"state\":\"cancelled\",\"pending\":false}\n";

}  // namespace

int action_start() {
  buf output;
  if (run_capture(login_bin(), {"--start"}, output) != run_ran) {
    emit_error(http_ok, reason_ok, error_cli_unavailable, detail_login_cli_unavailable);
    return exit_failure;
  }
  const char* line = last_json_line(output);
  if (line == nullptr) {
    emit_error(http_ok, reason_ok, error_start_failed, "");
    return exit_failure;
  }
  const char* end = output.data + output.len;

  fixed_text<4096> auth_url;
  fixed_text<64> flow;
  fixed_text<hint_bytes> hint;
  json_str_field(line, end, "auth_url", auth_url);
  json_str_field(line, end, "flow", flow);
  json_str_field(line, end, "hint", hint);
  std::int64_t expires_in = json_num_field(line, end, "expires_in");
  int ok = json_bool_field(line, end, "ok", 1);

  if (!ok || auth_url.empty()) {
    tool_error_text error;
    json_str_field(line, end, "error", error);
    emit_error(http_ok, reason_ok, error.empty() ? error_start_failed : error.c_str(),
               detail_no_auth_url);
    return exit_failure;
  }

  buf document;
  buf_adds(document, "{\"ok\":true,\"flow\":");
  buf_json(document, flow.empty() ? default_flow : flow.c_str());
  buf_adds(document, ",\"auth_url\":");
  buf_json(document, auth_url.c_str());
  buf_addf(document, ",\"expires_in\":%lld",
           static_cast<long long>(expires_in > 0 ? expires_in : default_expires_in_seconds));
  buf_adds(document, ",\"hint\":");
  buf_json(document, hint.empty() ? default_start_hint : hint.c_str());
  buf_adds(document, "}\n");
  json_respond(document);
  return exit_ok;
}

int action_cancel() {
  {
    // Whatever the tool does, the pending sign-in is over as far as the page is concerned.
    buf output;
    run_capture(login_bin(), {"--cancel"}, output);
  }
  buf document;
  buf_adds(document, cancel_document);
  json_respond(document);
  return exit_ok;
}
