// The account actions' intake, in the order a changing request passes it: method, media type,
// body, e-mail address; then the login CLI's answer.
#include "cgi/account_change.h"

#include <cstring>

#include "cgi/actions/actions.h"
#include "cgi/code_intake.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "cgi/request.h"
#include "platform/platform.h"
#include "runner/tool_runner.h"
#include "text/chars.h"
#include "text/json_reader.h"

namespace {

// A tool's error code is passed on only when it looks like one.
constexpr std::size_t tool_error_code_limit_bytes = 64;

char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_error_code(std::string_view code) {
  if (code.empty() || code.size() > tool_error_code_limit_bytes) return false;
  for (char c : code) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

void refuse_method(const char* method) {
  fixed_text<32> named;
  named.assign(method != nullptr && *method != '\0' ? method : "A request without a method");
  buf detail;
  buf_addf(detail, detail_method_not_allowed_format, named.c_str());
  emit_error(http_method_not_allowed, reason_method_not_allowed, error_method_not_allowed,
             detail.text(), change_method);
}

// The `email` member of a JSON object body. The literal is taken as it stands: an address needs
// no escapes, and one with a backslash is refused rather than decoded.
int body_email(const char* body, const char* end, email_text& email) {
  email.clear();
  const char* value = json_find_key(body, end, "email");
  if (value == nullptr || std::strncmp(value, "null", 4) == 0) return 1;
  if (*value != '"') return 0;
  const char* first = value + 1;
  const char* last = first;
  while (last < end && *last != '"' && *last != '\\') ++last;
  if (last == end || *last != '"') return 0;
  const std::string_view address(first, static_cast<std::size_t>(last - first));
  if (address.empty()) return 1;
  if (!email_is_acceptable(address)) return 0;
  email.assign(address);
  return 1;
}

}  // namespace

int email_is_acceptable(std::string_view email) {
  if (email.empty() || email.size() > email_limit_bytes || email.front() == '-') return 0;
  for (char c : email) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return 0;
  }
  return email.find('@') != std::string_view::npos ? 1 : 0;
}

int media_type_is_json(const char* content_type) {
  if (content_type == nullptr) return 0;
  const char* p = content_type;
  while (*p == ' ' || *p == '\t') ++p;
  for (const char* want = change_media_type; *want != '\0'; ++want, ++p) {
    if (ascii_lower(*p) != *want) return 0;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0' || *p == ';' ? 1 : 0;
}

int change_request_take(const request& req, email_text& email) {
  if (req.method == nullptr || std::strcmp(req.method, change_method) != 0) {
    refuse_method(req.method);
    return 0;
  }
  if (!media_type_is_json(req.content_type)) {
    emit_error(http_unsupported_media_type, reason_unsupported_media_type,
               error_unsupported_media_type, detail_unsupported_media_type);
    return 0;
  }
  char body[change_body_limit_bytes + 1];
  const std::size_t length = code_body_length(req.content_length);
  std::size_t got = 0;
  if (length != 0 && length <= change_body_limit_bytes) got = platform_read_stdin(body, length);
  body[got] = '\0';
  const char* first = body;
  const char* end = body + got;
  while (first < end && is_json_space(*first)) ++first;
  while (end > first && is_json_space(end[-1])) --end;
  if (end - first < 2 || *first != '{' || end[-1] != '}') {
    emit_error(http_bad_request, reason_bad_request, error_invalid_body, detail_invalid_body);
    return 0;
  }
  if (!body_email(first, end, email)) {
    emit_error(http_bad_request, reason_bad_request, error_invalid_email, detail_invalid_email);
    return 0;
  }
  return 1;
}

const char* account_tool_answer(std::initializer_list<const char*> arguments, buf& output,
                                const char* fallback_error, const char* detail) {
  if (run_capture(login_bin(), arguments, output) != run_ran) {
    emit_error(http_ok, reason_ok, error_cli_unavailable, detail_login_cli_unavailable);
    return nullptr;
  }
  const char* line = last_json_line(output);
  const char* end = output.data + output.len;
  if (line != nullptr && json_bool_field(line, end, "ok", 0)) return line;
  tool_error_text tool_error;
  if (line != nullptr) json_str_field(line, end, "error", tool_error);
  emit_error(http_ok, reason_ok,
             is_error_code(tool_error.view()) ? tool_error.c_str() : fallback_error, detail);
  return nullptr;
}
