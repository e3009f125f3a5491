// Files only their owner may read or change: the sign-in tools keep tokens in them. Directories and
// files are made owner-only whatever the process's defaults, a file's content is replaced whole or
// not at all, and one lock file lets concurrent runs take turns.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Replaces the file's content atomically with an owner-only file, creating the missing directories
// first, so that a crash or a full disk leaves the old content whole. Returns 1 on success; on
// failure the old file is untouched and nothing new is left behind. Call it only under the lock
// that guards the file: it removes what an earlier run that crashed mid-replace left behind.
int platform_replace_file(const std::string& path, std::string_view content);

// Whether the path is anchored at a root: "/..." on POSIX; "C:\...", "C:/..." or "\\server\..." on
// Windows.
bool platform_path_is_absolute(std::string_view path);

// Returns 1 when the file is gone afterwards (also when it never existed).
int platform_remove_file(const std::string& path);

// Who may change or read a path, as the file system says (links followed).
struct path_standing {
  bool exists = false;
  bool is_dir = false;
  bool sticky = false;            // a directory where only an entry's owner may rename it
  bool others_can_write = false;  // anyone but the owner
  bool others_can_read = false;   // anyone but the owner
  bool foreign_owner = false;     // owned by neither the running user nor the system
  std::string owner;              // the owner as the operator would name it, e.g. "uid 1000"
};
path_standing platform_path_standing(const std::string& path);
// The running user, named as path_standing names an owner.
std::string platform_running_user();

// An exclusive lock held on a lock file, released when the object goes.
struct locked_file {
  std::intptr_t handle = -1;  // POSIX: a descriptor; Windows: a handle
  locked_file() = default;
  locked_file(const locked_file&) = delete;
  locked_file& operator=(const locked_file&) = delete;
  ~locked_file();
};

// Takes the lock, creating the owner-only lock file and its directories when missing, waiting at
// most wait_ms. Returns 1 when held, 0 when still busy or the file cannot be made.
int locked_file_acquire(locked_file& lock, const std::string& path, int wait_ms);
