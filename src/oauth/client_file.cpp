#include "oauth/client_file.h"

#include "oauth/json_fields.h"
#include "oauth/state_guard.h"
#include "oauth/url_text.h"
#include "platform/platform.h"
#include "state/locations.h"

namespace {

constexpr char default_redirect_uri[] = "http://localhost";
constexpr char google_revoke_uri[] = "https://oauth2.googleapis.com/revoke";

std::string loopback_redirect(const nlohmann::json& installed) {
  auto uris = installed.find("redirect_uris");
  if (uris == installed.end() || !uris->is_array()) return default_redirect_uri;
  for (const nlohmann::json& uri : *uris) {
    if (!uri.is_string()) continue;
    const std::string& text = uri.get_ref<const std::string&>();
    if (text.starts_with("http://") && url_host_is_loopback(url_host(text))) return text;
  }
  return default_redirect_uri;
}

// Tokens travel only over https, or plain http that never leaves this machine.
bool usable_token_uri(const std::string& uri) {
  return uri.starts_with("https://")
             ? !url_host(uri).empty()
             : uri.starts_with("http://") && url_host_is_loopback(url_host(uri));
}

}  // namespace

oauth_failure client_file_load(oauth_client& client) {
  path_1024 path;
  client_path(path);
  client.path = path.c_str();
  if (!platform_exists_not_dir(path.c_str())) return oauth_failure::client_missing;
  state_guard_warn_if_readable(client.path, "the OAuth client file (it holds the client secret)");
  heap_text text = read_file(path.c_str());
  if (!text) return oauth_failure::client_invalid;
  return client_file_parse(text.get(), client);
}

oauth_failure client_file_parse(std::string_view text, oauth_client& client) {
  nlohmann::json document;
  if (json_parse_state(text, document) != state_json::parsed || !document.is_object()) {
    return oauth_failure::client_invalid;
  }
  auto installed = document.find("installed");
  if (installed == document.end() || !installed->is_object()) return oauth_failure::client_invalid;

  client.client_id = json_text_member(*installed, "client_id");
  client.client_secret = json_text_member(*installed, "client_secret");
  client.project_id = json_text_member(*installed, "project_id");
  client.auth_uri = json_text_member(*installed, "auth_uri");
  client.token_uri = json_text_member(*installed, "token_uri");
  client.revoke_uri = json_text_member(*installed, "revoke_uri");
  if (client.revoke_uri.empty()) client.revoke_uri = google_revoke_uri;
  client.redirect_uri = loopback_redirect(*installed);
  if (client.client_id.empty() || client.client_secret.empty() ||
      url_host(client.auth_uri).empty() || !usable_token_uri(client.token_uri)) {
    return oauth_failure::client_invalid;
  }
  return oauth_failure::none;
}
