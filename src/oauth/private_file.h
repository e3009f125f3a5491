// The tools' state files: private (directories 0700, files 0600), replaced whole and atomically,
// and guarded by one lock so that concurrent runs take turns.
#pragma once

#include <string>
#include <string_view>

// Creates the missing directories on the way to the file, each 0700; existing ones are left as
// they are. Returns 1 when the file's directory exists afterwards.
int private_dirs_for(std::string_view file_path);

// Replaces the file's content: a temporary file in the same directory is written, flushed and
// renamed over the old one, so that a crash or a full disk leaves the old content whole. Returns 1
// on success; on failure the temporary file is gone and the old file untouched. Call it only under
// the accounts lock: it removes what an earlier run that crashed before its rename left behind.
int private_file_write(const std::string& path, std::string_view content);

// Returns 1 when the file is gone afterwards (also when it never existed).
int private_file_remove(const std::string& path);

// An exclusive lock on a lock file, released when the object goes.
struct locked_file {
  int fd = -1;
  locked_file() = default;
  locked_file(const locked_file&) = delete;
  locked_file& operator=(const locked_file&) = delete;
  ~locked_file();
};

// Waits at most wait_ms for the lock. Returns 1 when held, 0 when busy or the file cannot be made.
int locked_file_acquire(locked_file& lock, const std::string& path, int wait_ms);
