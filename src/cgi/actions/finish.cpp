// The finish action: hand a pasted authorization code to the login CLI and, once it is accepted,
// answer with the fresh status.
#include "cgi/actions/actions.h"
#include "cgi/code_intake.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "runner/tool_runner.h"
#include "status/login_status.h"
#include "text/buf.h"
#include "text/fixed_text.h"
#include "text/json_reader.h"

int action_finish(const request& req) {
  code_text code;
  if (!code_take_raw(req, code)) {
    emit_error(http_bad_request, reason_bad_request, error_missing_code, detail_missing_code);
    return exit_failure;
  }
  code_percent_decode(code.bytes);
  trim_tail(code.bytes);
  code_extract(code);
  if (!code_is_acceptable(code.view())) {
    emit_error(http_bad_request, reason_bad_request, error_invalid_code, detail_invalid_code);
    return exit_failure;
  }

  tool_error_text tool_error;
  {
    buf output;
    if (run_capture(login_bin(), {"--finish", code.c_str()}, output) != run_ran) {
      emit_error(http_ok, reason_ok, error_cli_unavailable, detail_login_cli_unavailable);
      return exit_failure;
    }
    const char* line = last_json_line(output);
    if (line == nullptr) {
      emit_error(http_ok, reason_ok, error_finish_failed, detail_finish_no_json);
      return exit_failure;
    }
    const char* end = output.data + output.len;
    if (!json_bool_field(line, end, "ok", 0)) {
      json_str_field(line, end, "error", tool_error);
      emit_error(http_ok, reason_ok, tool_error.empty() ? error_finish_failed : tool_error.c_str(),
                 detail_code_rejected);
      return exit_failure;
    }
  }

  login_status status;
  collect_status(status);
  buf document;
  buf_adds(document, "{\"ok\":true,\"state\":\"done\",");
  emit_status(document, status);
  buf_adds(document, "}\n");
  json_respond(document);
  return exit_ok;
}
