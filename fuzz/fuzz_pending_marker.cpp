// The pending-login marker as the login tool parses it: no crash whatever the text (deep nesting
// included); a marker found live or expired carries everything a finish needs and its expiry
// decides which; and what the tool writes reads back the same.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "oauth/pending_marker.h"

namespace {

constexpr std::int64_t now = 1'800'000'000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  pending_login pending;
  pending_found found = pending_marker_parse(text, pending, now);
  if (found != pending_found::live && found != pending_found::expired) return 0;
  FUZZ_CHECK(!pending.state.empty() && !pending.code_verifier.empty() &&
             !pending.redirect_uri.empty());
  FUZZ_CHECK((found == pending_found::live) == (now < pending.expires_at));

  pending_login again;
  FUZZ_CHECK(pending_marker_parse(pending_marker_text(pending), again, now) == found);
  FUZZ_CHECK(again.state == pending.state && again.code_verifier == pending.code_verifier &&
             again.redirect_uri == pending.redirect_uri && again.expires_at == pending.expires_at);
  return 0;
}
