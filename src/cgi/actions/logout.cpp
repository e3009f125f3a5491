// The logout action: the login CLI revokes and forgets an account (by default the selected one);
// the answer is the fresh status and whether Google confirmed the revocation.
#include "cgi/account_change.h"
#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "status/login_status.h"
#include "text/buf.h"
#include "text/json_reader.h"

int action_logout(const request& req) {
  email_text email;
  if (!change_request_take(req, email)) return exit_failure;
  bool revoked = false;
  {
    buf output;
    const char* line =
        email.empty()
            ? account_tool_answer({"--logout"}, output, error_logout_failed, detail_logout_failed)
            : account_tool_answer({"--logout", email.c_str()}, output, error_logout_failed,
                                  detail_logout_failed);
    if (line == nullptr) return exit_failure;
    revoked = json_bool_field(line, output.data + output.len, "revoked", 0) != 0;
  }

  login_status status;
  collect_status(status);
  buf document;
  buf_addf(document, "{\"ok\":true,\"state\":\"signed_out\",\"revoked\":%s,",
           revoked ? "true" : "false");
  emit_status(document, status);
  buf_adds(document, "}\n");
  json_respond(document);
  return exit_ok;
}
