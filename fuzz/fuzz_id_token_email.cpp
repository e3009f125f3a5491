// The e-mail claim of an ID token, and the check it passes before it is stored in the accounts,
// selected-account and env files. Whatever the token, reading it ends; an accepted address is
// well-formed UTF-8 of at most 254 bytes with exactly one '@' and nothing that is white space, a
// control character or a separator (a NUL or a line break would split the env file's lines).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "fuzz_utf8.h"
#include "oauth/base64url.h"
#include "oauth/id_token.h"
#include "oauth/server_checks.h"

namespace {

void check_accepted(const std::string& email) {
  if (!server_email_fault(email).empty()) return;
  FUZZ_CHECK(email.size() <= email_limit_bytes);
  FUZZ_CHECK(std::count(email.begin(), email.end(), '@') == 1);
  FUZZ_CHECK(utf8_well_formed(email));
  FUZZ_CHECK(!holds_control_or_separator(email));
  FUZZ_CHECK(email.find(' ') == std::string::npos);
  FUZZ_CHECK(email.find("\xC2\xA0") == std::string::npos);      // no-break space
  FUZZ_CHECK(email.find("\xE2\x80\xAE") == std::string::npos);  // right-to-left override
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The input as a whole token, and as the payload of one (the usual way claims arrive).
  check_accepted(id_token_email(input));
  std::string token = "eyJhbGciOiJSUzI1NiJ9." + base64url_encode(data, size) + ".c2ln";
  check_accepted(id_token_email(token));
  // The input as the address itself.
  check_accepted(std::string(input));
  return 0;
}
