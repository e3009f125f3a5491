// The environment file's value reading and setting. Input: a value, a NUL, then the file's text.
// Properties: after setting a key, reading it gives the value (up to a line break, without trailing
// blanks); every line of another key stays, in order; setting again changes nothing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "oauth/env_file.h"

namespace {

bool has_key(std::string_view line, std::string_view key) {
  return line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=';
}

std::vector<std::string> lines_without(std::string_view text, std::string_view key) {
  std::vector<std::string> kept;
  while (!text.empty()) {
    std::size_t feed = text.find('\n');
    std::string_view line = text.substr(0, feed);
    if (!has_key(line, key)) kept.emplace_back(line);
    text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> fields = fuzz_fields(data, size, 2);
  const std::string& value = fields[0];
  const std::string& text = fields[1];
  for (std::string_view key : {"GOOGLE_ACCOUNT", "GOOGLE_PROJECT_ID"}) {
    std::string set = env_text_set(text, key, value);
    std::string expected = value.substr(0, value.find_first_of("\r\n"));
    expected.erase(expected.find_last_not_of(" \t\r") + 1);
    FUZZ_CHECK(env_text_value(set, key) == expected);
    FUZZ_CHECK(lines_without(set, key) == lines_without(text, key));
    FUZZ_CHECK(env_text_set(set, key, value) == set);
  }
  return 0;
}
