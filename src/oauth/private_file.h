// The tools' state files: private (directories 0700, files 0600), replaced whole and atomically,
// and guarded by one lock so that concurrent runs take turns.
#pragma once

#include <string>
#include <string_view>

// Creates the missing directories on the way to the file, each 0700 whatever the umask; existing
// ones are left as they are. Returns 1 when the file's directory exists afterwards.
int private_dirs_for(std::string_view file_path);

// Replaces the file's content: a temporary file in the same directory is written, flushed and
// renamed over the old one, so that a crash or a full disk leaves the old content whole. Returns 1
// on success; on failure the temporary file is gone and the old file untouched. Call it only under
// the accounts lock: it removes what an earlier run that crashed before its rename left behind.
int private_file_write(const std::string& path, std::string_view content);

// Returns 1 when the file is gone afterwards (also when it never existed).
int private_file_remove(const std::string& path);

// Who may change or read a path, as the file system says (symbolic links followed).
struct path_standing {
  bool exists = false;
  bool is_dir = false;
  bool sticky = false;            // a directory where only an entry's owner may rename it
  bool others_can_write = false;  // the group or world write bit
  bool others_can_read = false;   // the group or world read bit
  bool foreign_owner = false;     // owned by neither the running user nor root
  unsigned owner = 0;
};
path_standing private_path_standing(const std::string& path);
unsigned private_running_user();

// The directory part of a path ("." for a bare name, "/" for the root).
std::string private_dir_of(std::string_view path);

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
