#include "bench_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::string account_object(std::string_view email) {
  std::string text = "{\"email\":\"";
  text += email;
  text +=
      "\",\"refresh_token\":\"1//0gAbCdEfGhIjKlMnOpQrStUvWxYz-0123456789abcdefghij\","
      "\"token\":{\"access_token\":\"ya29.a0AfB_byCdEfGhIjKlMnOpQrStUvWxYz0123456789\","
      "\"expiry\":\"2026-12-08T19:30:00Z\",\"scopes\":[\"openid\",\"email\",\"profile\"]},"
      "\"client\":\"lumenhollow \\\"desk\\\" {node}\"}";
  return text;
}

}  // namespace

scratch_dir::scratch_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/lumenhollow-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path = pattern;
}

scratch_dir::~scratch_dir() {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

bool write_file(const std::string& path, std::string_view content) {
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool whole = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  return std::fclose(file) == 0 && whole;
}

std::string accounts_text(std::size_t bytes, std::string_view selected) {
  const std::string last = account_object(selected) + "\n]\n";
  std::string text = "[\n";
  char email[32];
  for (unsigned i = 0;; ++i) {
    std::snprintf(email, sizeof email, "user%07u@example.com", i);
    std::string next = account_object(email) + ",\n";
    if (text.size() + next.size() + last.size() > bytes) break;
    text += next;
  }
  // Whitespace between objects is skipped by the scan; it pads the file to the exact size.
  if (text.size() + last.size() < bytes) text.append(bytes - text.size() - last.size(), ' ');
  return text + last;
}
