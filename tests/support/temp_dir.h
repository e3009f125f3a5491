// A throw-away directory for a test's files, removed with everything in it when the object goes,
// and the one way tests write a file of their own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

// Writes `content` to `path` byte for byte, creating the directories on the way; returns the path.
inline std::string write_bytes(const std::string& path, std::string_view content) {
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!f) ADD_FAILURE() << "cannot write " << path;
  return path;
}

class temp_dir {
 public:
  // Created under the system's temporary directory as <prefix>-XXXXXX.
  explicit temp_dir(std::string_view prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / prefix).string();
    pattern += "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      ADD_FAILURE() << "cannot create " << pattern;
    }
  }
  ~temp_dir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;

  const std::string& path() const { return path_; }

  // A file at `relative` below the directory; returns its full path.
  std::string write(std::string_view relative, std::string_view content) const {
    return write_bytes(path_ + "/" + std::string(relative), content);
  }
  // An executable /bin/sh script with this body.
  std::string write_script(std::string_view relative, std::string_view body) const {
    const std::string path = write(relative, "#!/bin/sh\n" + std::string(body) + "\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
  }

 private:
  std::string path_;
};
