// The name and directory parts of a path, shared by the private-file implementations of every
// platform; platform_dir_part decides which separators count.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

inline std::string_view path_name_part(std::string_view path) {
  return path.substr(platform_dir_part(path).size());
}

// The directory of a path without its last separator: "." for a bare name, the root as it stands.
inline std::string path_dir_part(std::string_view path) {
  std::string_view part = platform_dir_part(path);
  if (part.empty()) return ".";
  if (part.size() > 1) part.remove_suffix(1);
  return std::string(part);
}
