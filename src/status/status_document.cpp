// The JSON form of the status record: its twelve members in their fixed order.
#include <cstdint>

#include "status/login_status.h"

namespace {

const char* json_flag(int value) {
  return value != 0 ? "true" : "false";
}

}  // namespace

int emit_status(buf& out, const login_status& status) {
  buf_addf(out, "\"logged_in\":%s,", json_flag(status.logged_in));
  buf_adds(out, "\"email\":");
  buf_json(out, status.email.c_str());
  buf_adds(out, ",\"account\":");
  buf_json(out, status.account.c_str());
  buf_adds(out, ",\"project_id\":");
  buf_json(out, status.project_id.c_str());
  buf_adds(out, ",\"profile\":");
  buf_json(out, status.profile.c_str());
  buf_addf(out, ",\"expires_at\":%lld", static_cast<long long>(status.expires_at));
  buf_addf(out, ",\"expires_in_sec\":%d", static_cast<int>(status.expires_in_sec));
  buf_addf(out, ",\"expired\":%s", json_flag(status.expired));
  buf_addf(out, ",\"has_refresh\":%s", json_flag(status.has_refresh));
  buf_addf(out, ",\"pending\":%s", json_flag(status.pending));
  buf_addf(out, ",\"cli_present\":%s", json_flag(status.cli_present));
  buf_adds(out, ",\"credentials_path\":");
  return buf_json(out, status.credentials_path.c_str());
}
