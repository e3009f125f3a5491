#include "oauth/adc_file.h"

#include <nlohmann/json.hpp>

#include "oauth/accounts_store.h"
#include "oauth/json_fields.h"
#include "oauth/pkce.h"
#include "oauth/tool_output.h"
#include "platform/platform.h"
#include "platform/private_files.h"
#include "state/locations.h"

namespace {

constexpr std::string_view adc_file_name = "application_default_credentials.json";
constexpr std::string_view record_file_name = "lumenhollow_adc.json";
// The libraries refresh at this address unless the file names another.
constexpr std::string_view google_token_uri = "https://oauth2.googleapis.com/token";

std::string record_path() {
  std::string path(platform_dir_part(accounts_path()));
  return path.append(record_file_name);
}

// SHA-256, as the PKCE challenge computes it: enough to tell whether a file was changed since.
std::string fingerprint(std::string_view content) {
  return pkce_challenge(content);
}

// An unreadable record holds nothing worth keeping: it lists files, not secrets.
nlohmann::json record_read() {
  heap_text text = read_file(record_path().c_str());
  nlohmann::json record =
      text ? nlohmann::json::parse(text.get(), nullptr, false) : nlohmann::json::array();
  return record.is_array() ? record : nlohmann::json::array();
}

int record_write(const nlohmann::json& record) {
  return record.empty() ? platform_remove_file(record_path())
                        : platform_replace_file(record_path(), json_line(record));
}

}  // namespace

std::string adc_default_path() {
  const char* config = platform_env("CLOUDSDK_CONFIG");
  if (config != nullptr && config[0] != '\0') {
    std::string path(config);
    return path.append(platform_separator()).append(adc_file_name);
  }
  const char* home = home_dir();
  std::string path = platform_user_config_dir(home == nullptr ? "" : home);
  if (path.empty()) return {};
  std::string_view separator = platform_separator();
  return path.append(separator).append("gcloud").append(separator).append(adc_file_name);
}

std::string adc_document(const oauth_client& client, std::string_view refresh_token,
                         std::string_view quota_project) {
  nlohmann::ordered_json document = {{"type", "authorized_user"},
                                     {"client_id", client.client_id},
                                     {"client_secret", client.client_secret},
                                     {"refresh_token", refresh_token}};
  if (!quota_project.empty()) document["quota_project_id"] = quota_project;
  if (client.token_uri != google_token_uri) document["token_uri"] = client.token_uri;
  return json_line(document);
}

int adc_write(const std::string& path, std::string_view email, std::string_view content) {
  if (!platform_replace_file(path, content)) return 0;
  nlohmann::json record = record_read();
  // The file written last at a path is the one there now.
  nlohmann::json kept = nlohmann::json::array();
  for (const nlohmann::json& entry : record) {
    if (json_text_member(entry, "path") != path) kept.push_back(entry);
  }
  kept.push_back({{"email", email}, {"path", path}, {"sha256", fingerprint(content)}});
  return record_write(kept);
}

std::vector<std::string> adc_remove_for(std::string_view email) {
  std::vector<std::string> removed;
  nlohmann::json record = record_read();
  nlohmann::json kept = nlohmann::json::array();
  for (const nlohmann::json& entry : record) {
    if (json_text_member(entry, "email") != email) {
      kept.push_back(entry);
      continue;
    }
    std::string path = json_text_member(entry, "path");
    heap_text text = read_file(path.c_str());
    if (!text) continue;  // gone already
    if (fingerprint(text.get()) != json_text_member(entry, "sha256")) {
      tool_say("left " + path + " as it is: it has changed since it was written for this account");
      continue;
    }
    if (platform_remove_file(path)) {
      removed.push_back(path);
    } else {
      tool_say("could not remove " + path);
      kept.push_back(entry);
    }
  }
  if (kept.size() != record.size() && !record_write(kept)) {
    tool_say("could not update " + record_path());
  }
  return removed;
}
