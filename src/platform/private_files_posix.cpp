// POSIX implementation of private_files.h: directories 0700 and files 0600, replacement by rename
// of a flushed temporary file, and flock on the lock file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/path_parts.h"
#include "platform/platform.h"
#include "platform/posix_io.h"
#include "platform/private_files.h"

namespace {

constexpr mode_t private_dir_mode = 0700;
constexpr mode_t private_file_mode = 0600;
constexpr int lock_poll_ms = 25;
constexpr std::string_view temp_suffix = "XXXXXX";  // filled in by mkostemp

// Owns a descriptor; closes it on every path.
struct fd_guard {
  int fd = -1;
  fd_guard() = default;
  explicit fd_guard(int value) : fd(value) {}
  fd_guard(const fd_guard&) = delete;
  fd_guard& operator=(const fd_guard&) = delete;
  ~fd_guard() {
    if (fd >= 0) ::close(fd);
  }
};

// Test seam, compiled only into builds that carry the test suites: the tool tests prove that a
// run killed between writing and renaming leaves the old file whole. When this names the file
// being replaced, the process aborts just before the rename.
void crash_before_rename_for_testing([[maybe_unused]] std::string_view path) {
#ifdef LUMENHOLLOW_TEST_SEAMS
  const char* name = platform_env("LUMENHOLLOW_TEST_CRASH_BEFORE_RENAME");
  if (name != nullptr && name[0] != '\0' && path_name_part(path) == name) std::abort();
#endif
}

// Every replacement happens under the lock, so a temporary file of ours that is already there
// was left by a run that died before its rename. It may hold tokens: remove it.
void remove_stale_temporaries(const std::string& dir, std::string_view temp_prefix) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    std::string_view name(entry->d_name);
    if (name.size() == temp_prefix.size() + temp_suffix.size() && name.starts_with(temp_prefix)) {
      ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
  }
  ::closedir(listing);
}

long long monotonic_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string uid_text(uid_t uid) {
  return "uid " + std::to_string(uid);
}

// Creates the missing directories on the way to the file, each 0700; existing ones are left as
// they are. Returns 1 when the file's directory exists afterwards.
int private_dirs_for(std::string_view file_path) {
  std::string dir = path_dir_part(file_path);
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    std::string part = dir.substr(0, slash);
    if (::mkdir(part.c_str(), private_dir_mode) == 0) {
      // The umask may have taken bits from the mode; a directory of ours is 0700 all the same.
      if (::chmod(part.c_str(), private_dir_mode) != 0) return 0;
    } else if (errno != EEXIST) {
      return 0;
    }
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? 1 : 0;
}

}  // namespace

int platform_replace_file(const std::string& path, std::string_view content) {
  if (!private_dirs_for(path)) return 0;
  std::string dir = path_dir_part(path);
  // Built by appends: g++ 12 at -O3 warns falsely (-Wrestrict) on "." + std::string(...).
  std::string temp_prefix = ".";
  temp_prefix.append(path_name_part(path)).append(".");
  remove_stale_temporaries(dir, temp_prefix);
  std::string temp = dir + "/" + temp_prefix + std::string(temp_suffix);
  fd_guard file(::mkostemp(temp.data(), O_CLOEXEC));
  if (file.fd < 0) return 0;
  bool written = ::fchmod(file.fd, private_file_mode) == 0 &&
                 posix_write_all(file.fd, content.data(), content.size()) && ::fsync(file.fd) == 0;
  int closed = ::close(file.fd);
  file.fd = -1;
  if (!written || closed != 0) {
    ::unlink(temp.c_str());
    return 0;
  }
  crash_before_rename_for_testing(path);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return 0;
  }
  // The rename itself reaches the disk only with the directory; the new content is in place either
  // way, so a failure here is not reported.
  fd_guard directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.fd >= 0) ::fsync(directory.fd);
  return 1;
}

bool platform_path_is_absolute(std::string_view path) {
  return path.starts_with('/');
}

int platform_remove_file(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 1 : 0;
}

path_standing platform_path_standing(const std::string& path) {
  path_standing standing;
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return standing;
  standing.exists = true;
  standing.is_dir = S_ISDIR(info.st_mode);
  standing.sticky = (info.st_mode & S_ISVTX) != 0;
  standing.others_can_write = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  standing.others_can_read = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
  standing.foreign_owner = info.st_uid != 0 && info.st_uid != ::geteuid();
  standing.owner = uid_text(info.st_uid);
  return standing;
}

std::string platform_running_user() {
  return uid_text(::geteuid());
}

locked_file::~locked_file() {
  if (handle >= 0) ::close(static_cast<int>(handle));  // the last descriptor's close ends the flock
}

int locked_file_acquire(locked_file& lock, const std::string& path, int wait_ms) {
  if (!private_dirs_for(path)) return 0;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, private_file_mode);
  if (fd < 0) return 0;
  lock.handle = fd;
  ::fchmod(fd, private_file_mode);  // 0600 like every file of ours, whatever the umask
  long long deadline = monotonic_ms() + wait_ms;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || monotonic_ms() >= deadline) return 0;
    ::usleep(lock_poll_ms * 1000);
  }
  return 1;
}
