// The OAuth client file as the tools parse it: whatever the text, the parser answers none or
// client_invalid without crashing, and a client it accepts can be used safely: an id and a secret,
// a token endpoint over https or on this machine, and a loopback redirect.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "oauth/client_file.h"
#include "oauth/url_text.h"

namespace {

bool loopback_http(const std::string& uri) {
  return uri.starts_with("http://") && url_host_is_loopback(url_host(uri));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  oauth_client client;
  oauth_failure failure = client_file_parse(text, client);
  FUZZ_CHECK(failure == oauth_failure::none || failure == oauth_failure::client_invalid);
  if (failure != oauth_failure::none) return 0;
  FUZZ_CHECK(!client.client_id.empty() && !client.client_secret.empty());
  FUZZ_CHECK(!url_host(client.auth_uri).empty());
  FUZZ_CHECK((client.token_uri.starts_with("https://") && !url_host(client.token_uri).empty()) ||
             loopback_http(client.token_uri));
  FUZZ_CHECK(client.redirect_uri == "http://localhost" || loopback_http(client.redirect_uri));
  return 0;
}
