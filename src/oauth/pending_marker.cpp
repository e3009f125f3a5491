#include "oauth/pending_marker.h"

#include "oauth/json_fields.h"
#include "platform/private_files.h"
#include "state/locations.h"

std::string pending_marker_path() {
  path_1024 path;
  pending_path(path);
  return path.c_str();
}

pending_found pending_marker_read(pending_login& pending, std::int64_t now) {
  heap_text text = read_file(pending_marker_path().c_str());
  if (!text) return pending_found::none;
  return pending_marker_parse(text.get(), pending, now);
}

pending_found pending_marker_parse(std::string_view text, pending_login& pending,
                                   std::int64_t now) {
  nlohmann::json marker;
  if (json_parse_state(text, marker) == state_json::too_deep) return pending_found::too_deep;
  pending.state = json_text_member(marker, "state");
  pending.code_verifier = json_text_member(marker, "code_verifier");
  pending.redirect_uri = json_text_member(marker, "redirect_uri");
  pending.expires_at = json_int_member(marker, "expires_at");
  if (pending.state.empty() || pending.code_verifier.empty() || pending.redirect_uri.empty()) {
    return pending_found::none;
  }
  return now < pending.expires_at ? pending_found::live : pending_found::expired;
}

std::string pending_marker_text(const pending_login& pending) {
  nlohmann::ordered_json marker = {{"state", pending.state},
                                   {"code_verifier", pending.code_verifier},
                                   {"redirect_uri", pending.redirect_uri},
                                   {"expires_at", pending.expires_at}};
  return json_line(marker);
}

int pending_marker_write(const pending_login& pending) {
  return platform_replace_file(pending_marker_path(), pending_marker_text(pending));
}

int pending_marker_remove() {
  return platform_remove_file(pending_marker_path());
}
