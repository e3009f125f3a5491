// Inputs shared by the in-process benchmarks: a scratch directory and the large state files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A fresh directory under the system's temporary directory, removed with its content at the end.
struct scratch_dir {
  std::string path;
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
};

// Creates the parent directories as needed. Returns false when the file could not be written whole.
bool write_file(const std::string& path, std::string_view content);

inline constexpr std::size_t accounts_file_bytes = 8 * 1024 * 1024;
inline constexpr char selected_email[] = "operator@example.com";

// An accounts file of exactly `bytes` bytes: an array of account objects with nested token objects,
// the one with `selected` last, so that a scan has to walk the whole file to choose it.
std::string accounts_text(std::size_t bytes, std::string_view selected);
