// The select action: the login CLI makes another stored account the node's; the answer is the
// fresh status.
#include "cgi/account_change.h"
#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "status/login_status.h"
#include "text/buf.h"

int action_select(const request& req) {
  email_text email;
  if (!change_request_take(req, email)) return exit_failure;
  if (email.empty()) {
    emit_error(http_bad_request, reason_bad_request, error_missing_email, detail_missing_email);
    return exit_failure;
  }
  {
    buf output;
    if (account_tool_answer({"--select", email.c_str()}, output, error_select_failed,
                            detail_select_failed) == nullptr) {
      return exit_failure;
    }
  }

  login_status status;
  collect_status(status);
  buf document;
  buf_adds(document, "{\"ok\":true,\"state\":\"selected\",");
  emit_status(document, status);
  buf_adds(document, "}\n");
  json_respond(document);
  return exit_ok;
}
