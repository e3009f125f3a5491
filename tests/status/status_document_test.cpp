#include <gtest/gtest.h>

#include <string>

#include "status/login_status.h"

namespace {

std::string emitted(const login_status& status) {
  buf out;
  EXPECT_EQ(emit_status(out, status), 1);
  return out.text();
}

TEST(EmitStatus, EmptyRecordWritesEveryMember) {
  EXPECT_EQ(emitted(login_status{}),
            R"("logged_in":false,"email":"","account":"","project_id":"","profile":"",)"
            R"("expires_at":0,"expires_in_sec":0,"expired":false,"has_refresh":false,)"
            R"("pending":false,"cli_present":false,"credentials_path":"")");
}

TEST(EmitStatus, FullRecordKeepsOrderAndEscapesTexts) {
  login_status status;
  status.logged_in = status.has_refresh = status.pending = status.expired = status.cli_present = 1;
  status.email.assign("a\"b\\c\x01\x1b\t\xc3\xa9");
  status.account.assign("ops");
  status.project_id.assign("p-1");
  status.profile.assign("lumenhollow");
  status.expires_at = 99999999999;
  status.expires_in_sec = -120;
  status.credentials_path.assign("C:\\Users\\op\\a.json");
  EXPECT_EQ(emitted(status),
            "\"logged_in\":true,\"email\":\"a\\\"b\\\\c\\u0001\\u001b\\t\xc3\xa9\","
            "\"account\":\"ops\",\"project_id\":\"p-1\",\"profile\":\"lumenhollow\","
            "\"expires_at\":99999999999,\"expires_in_sec\":-120,\"expired\":true,"
            "\"has_refresh\":true,\"pending\":true,\"cli_present\":true,"
            "\"credentials_path\":\"C:\\\\Users\\\\op\\\\a.json\"");
}

}  // namespace
