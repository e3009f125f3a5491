#include "oauth/env_file.h"

#include "platform/platform.h"
#include "state/locations.h"

namespace {

// Calls visit(line) for each line without its line feed.
template <typename Visit>
void for_each_line(std::string_view text, Visit visit) {
  while (!text.empty()) {
    std::size_t feed = text.find('\n');
    visit(text.substr(0, feed));
    text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
  }
}

bool line_has_key(std::string_view line, std::string_view key) {
  return line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=';
}

}  // namespace

std::string env_file_location() {
  env_file_text path;
  env_file_path(path);
  return path.c_str();
}

int env_file_read(std::string& text) {
  std::string path = env_file_location();
  heap_text content = read_file(path.c_str());
  text = content ? content.get() : "";
  return content || !platform_exists_not_dir(path.c_str()) ? 1 : 0;
}

std::string env_text_value(std::string_view text, std::string_view key) {
  std::string found;
  for_each_line(text, [&](std::string_view line) {
    if (!found.empty() || !line_has_key(line, key)) return;
    std::string_view value = line.substr(key.size() + 1);
    found = value.substr(0, value.find_last_not_of(" \t\r") + 1);
  });
  return found;
}

std::string env_text_set(std::string_view text, std::string_view key, std::string_view value) {
  // A line break inside the value would start a line of its own.
  std::string clean(value.substr(0, value.find_first_of("\r\n")));
  std::string out;
  bool placed = false;
  for_each_line(text, [&](std::string_view line) {
    if (line_has_key(line, key)) {
      if (placed) return;
      placed = true;
      out.append(key).append("=").append(clean).append("\n");
      return;
    }
    out.append(line).append("\n");
  });
  if (!placed) out.append(key).append("=").append(clean).append("\n");
  return out;
}

std::string env_text_unset(std::string_view text, std::string_view key) {
  std::string out;
  for_each_line(text, [&](std::string_view line) {
    if (!line_has_key(line, key)) out.append(line).append("\n");
  });
  return out;
}
