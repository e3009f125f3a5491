// The accounts action: the login CLI's account list, every member checked and written anew, so
// nothing of the tool's output reaches the client unread.
#include "cgi/account_change.h"
#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "text/buf.h"
#include "text/chars.h"
#include "text/fixed_text.h"
#include "text/json_reader.h"

namespace {

// More accounts than this on one node means the answer is not a list the page can show.
constexpr int account_list_limit = 100;

using account_text = fixed_text<1024>;

const char* skip_space(const char* p, const char* end) {
  while (p < end && is_json_space(*p)) ++p;
  return p;
}

int account_write(const char* start, const char* end, buf& document) {
  account_text email;
  account_text scope;
  json_str_field(start, end, "email", email);
  json_str_field(start, end, "scope", scope);
  if (!email_is_acceptable(email.view())) return 0;
  buf_adds(document, "{\"email\":");
  buf_json(document, email.c_str());
  buf_addf(document, ",\"has_refresh\":%s,\"expires_at\":%lld,\"scope\":",
           json_bool_field(start, end, "has_refresh", 0) ? "true" : "false",
           static_cast<long long>(json_num_field(start, end, "expires_at")));
  buf_json(document, scope.c_str());
  buf_adds(document, "}");
  return 1;
}

// The list document from the tool's answer line, or 0 when the answer is not in its form.
int account_list_write(const char* line, const char* end, buf& document) {
  account_text selected;
  json_str_field(line, end, "selected", selected);
  if (!selected.empty() && !email_is_acceptable(selected.view())) return 0;
  const char* p = json_find_key(line, end, "accounts");
  if (p == nullptr || *p != '[') return 0;

  buf_adds(document, "{\"ok\":true,\"selected\":");
  buf_json(document, selected.c_str());
  buf_adds(document, ",\"accounts\":[");
  p = skip_space(p + 1, end);
  for (int count = 0; p < end && *p != ']'; ++count) {
    const char* behind = json_value_end(p, end);
    if (count == account_list_limit || *p != '{' || behind == nullptr) return 0;
    if (count != 0) buf_adds(document, ",");
    if (!account_write(p, behind, document)) return 0;
    p = skip_space(behind, end);
    if (p < end && *p == ',') p = skip_space(p + 1, end);
  }
  if (p == end) return 0;
  buf_adds(document, "]}\n");
  return 1;
}

}  // namespace

int action_accounts() {
  buf output;
  const char* line =
      account_tool_answer({"--list"}, output, error_accounts_failed, detail_accounts_failed);
  if (line == nullptr) return exit_failure;
  buf document;
  if (!account_list_write(line, output.data + output.len, document)) {
    emit_error(http_ok, reason_ok, error_accounts_failed, detail_accounts_form);
    return exit_failure;
  }
  json_respond(document);
  return exit_ok;
}
