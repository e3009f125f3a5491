// The refresh action: the token CLI renews the access token; the answer is the fresh status, with
// the project the tool reports taking precedence.
#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "runner/tool_runner.h"
#include "status/login_status.h"
#include "text/buf.h"
#include "text/fixed_text.h"
#include "text/json_reader.h"

int action_refresh() {
  fixed_text<256> project;
  tool_error_text tool_error;
  bool refreshed = false;
  {
    buf output;
    if (run_capture(token_bin(), {"-local"}, output) != run_ran) {
      emit_error(http_ok, reason_ok, error_cli_unavailable, detail_token_cli_unavailable);
      return exit_failure;
    }
    if (const char* line = last_json_line(output); line != nullptr) {
      const char* end = output.data + output.len;
      refreshed = json_bool_field(line, end, "ok", 0) != 0;
      json_str_field(line, end, "project_id", project);
      if (!refreshed) json_str_field(line, end, "error", tool_error);
    }
  }

  buf document;
  if (!refreshed) {
    // A failed refresh is a document of its own, without a Status: line, so the page can show
    // the tool's reason as the detail.
    buf_adds(document, failure_opening);
    buf_json(document, error_refresh_failed);
    buf_adds(document, ",\"detail\":");
    buf_json(document, tool_error.empty() ? detail_refresh_default : tool_error.c_str());
    buf_adds(document, "}\n");
    json_respond(document);
    return exit_failure;
  }

  login_status status;
  collect_status(status);
  if (!project.empty()) status.project_id.assign(project.view());
  buf_adds(document, "{\"ok\":true,\"refreshed\":true,");
  emit_status(document, status);
  buf_adds(document, "}\n");
  json_respond(document);
  return exit_ok;
}
