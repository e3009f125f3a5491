// What a user pastes to finish a sign-in: a bare code or the whole address the browser landed on.
// Whatever the paste, parsing ends; and a code, however it was percent-encoded once on its way
// (Google's '/' as %2F included), comes out exactly as the server issued it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "oauth/url_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> fields = fuzz_fields(data, size, 2);
  const std::string& code = fields[0];
  const std::string& state = fields[1];

  // The raw input, as pasted.
  pasted_code_parse(std::string_view(reinterpret_cast<const char*>(data), size));

  if (code.empty()) return 0;
  std::string encoded;
  url_encode_into(encoded, code);

  // Bare, as the console passes the value it found after "code=".
  FUZZ_CHECK(pasted_code_parse(encoded).code == code);

  // In the landing address, with the state beside it.
  std::string address = "http://localhost/?state=";
  url_encode_into(address, state);
  address += "&code=" + encoded + "&scope=openid#done";
  pasted_code whole = pasted_code_parse(address);
  FUZZ_CHECK(whole.code == code);
  FUZZ_CHECK(whole.state && *whole.state == state);
  FUZZ_CHECK(whole.error.empty());
  return 0;
}
