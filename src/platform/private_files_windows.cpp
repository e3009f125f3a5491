// Windows implementation of private_files.h: directories and files made with a protected DACL that
// names only the running user, SYSTEM and Administrators; replacement of a flushed temporary file
// by ReplaceFileW (MoveFileExW when the target is new); LockFileEx on the lock file.
#include <windows.h>
// windows.h first: these need its types.
#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <memory>

#include "platform/path_parts.h"
#include "platform/platform.h"
#include "platform/private_files.h"
#include "platform/random_bytes.h"
#include "platform/windows_text.h"

namespace {

constexpr int lock_poll_ms = 25;
constexpr std::size_t temp_random_chars = 6;
constexpr DWORD write_rights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
constexpr DWORD read_rights = FILE_READ_DATA | GENERIC_READ | GENERIC_ALL;

struct local_free {
  void operator()(void* block) const { LocalFree(block); }
};

struct win_handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit win_handle(HANDLE handle) : h(handle) {}
  win_handle(const win_handle&) = delete;
  win_handle& operator=(const win_handle&) = delete;
  ~win_handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// The running user's SID as text ("S-1-5-21-..."), empty when the token cannot be read.
std::string user_sid_text() {
  HANDLE token_handle = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token_handle)) return {};
  win_handle token(token_handle);
  DWORD size = 0;
  GetTokenInformation(token.h, TokenUser, nullptr, 0, &size);
  std::unique_ptr<unsigned char[]> area(new unsigned char[size > 0 ? size : 1]);
  if (!GetTokenInformation(token.h, TokenUser, area.get(), size, &size)) return {};
  char* text = nullptr;
  if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(area.get())->User.Sid, &text)) {
    return {};
  }
  std::string out = text;
  LocalFree(text);
  return out;
}

// A security descriptor for a new directory or file of ours. The DACL is protected ("P"): nothing
// is inherited from the parent. The user is named by SID: wine maps an owner-rights entry to no
// access at all.
struct private_security {
  std::unique_ptr<void, local_free> descriptor;
  SECURITY_ATTRIBUTES attributes{};
  SECURITY_ATTRIBUTES* get() { return descriptor ? &attributes : nullptr; }
};

bool private_security_make(private_security& out, bool directory) {
  std::string user = user_sid_text();
  if (user.empty()) return false;
  std::string flags = directory ? "OICI" : "";
  std::string sddl =
      "D:P(A;" + flags + ";FA;;;" + user + ")(A;" + flags + ";FA;;;SY)(A;" + flags + ";FA;;;BA)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return false;
  }
  out.descriptor.reset(descriptor);
  out.attributes.nLength = sizeof out.attributes;
  out.attributes.lpSecurityDescriptor = descriptor;
  out.attributes.bInheritHandle = FALSE;
  return true;
}

bool is_separator(char c) {
  return c == '\\' || c == '/';
}

bool is_directory(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool sid_is_trusted(PSID sid, PSID user) {
  return (user != nullptr && EqualSid(sid, user)) || IsWellKnownSid(sid, WinLocalSystemSid) ||
         IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinCreatorOwnerSid);
}

std::string sid_text(PSID sid) {
  char* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidA(sid, &text)) return "an unknown user";
  std::string out = text;
  LocalFree(text);
  return out;
}

// Test seam, compiled only into builds that carry the test suites: the tool tests prove that a
// run killed between writing and replacing leaves the old file whole.
void crash_before_rename_for_testing([[maybe_unused]] std::string_view path) {
#ifdef LUMENHOLLOW_TEST_SEAMS
  const char* name = platform_env("LUMENHOLLOW_TEST_CRASH_BEFORE_RENAME");
  if (name != nullptr && name[0] != '\0' && path_name_part(path) == name) std::abort();
#endif
}

// Every replacement happens under the lock, so a temporary file of ours that is already there
// was left by a run that died before its replace. It may hold tokens: remove it.
void remove_stale_temporaries(const std::string& dir, const std::string& temp_prefix) {
  std::wstring pattern = windows_wide(dir + "\\" + temp_prefix + "*");
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = windows_narrow(found.cFileName);
    if (name.size() == temp_prefix.size() + temp_random_chars && name.starts_with(temp_prefix)) {
      DeleteFileW(windows_wide(dir + "\\" + name).c_str());
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

std::string random_suffix() {
  unsigned char raw[temp_random_chars / 2];
  if (!platform_random_bytes(raw, sizeof raw)) return {};
  constexpr char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char byte : raw) {
    out += hex[byte >> 4];
    out += hex[byte & 0xf];
  }
  return out;
}

bool write_all(HANDLE file, std::string_view content) {
  while (!content.empty()) {
    DWORD want = content.size() < (1u << 30) ? static_cast<DWORD>(content.size()) : (1u << 30);
    DWORD put = 0;
    if (!WriteFile(file, content.data(), want, &put, nullptr) || put == 0) return false;
    content.remove_prefix(put);
  }
  return true;
}

}  // namespace

int platform_private_dirs_for(std::string_view file_path) {
  std::string dir = path_dir_part(file_path);
  private_security security;
  if (!private_security_make(security, true)) return 0;
  // Each step that exists already (a drive, a share, a directory) fails to be made and is passed;
  // whether the whole path is a directory at the end decides.
  for (std::size_t at = 1; at <= dir.size(); ++at) {
    if (at < dir.size() && !is_separator(dir[at])) continue;
    std::string part = dir.substr(0, at);
    if (part.ends_with(':') || is_separator(part.back())) continue;
    CreateDirectoryW(windows_wide(part).c_str(), security.get());
  }
  return is_directory(windows_wide(dir)) ? 1 : 0;
}

int platform_replace_file(const std::string& path, std::string_view content) {
  if (!platform_private_dirs_for(path)) return 0;
  private_security security;
  if (!private_security_make(security, false)) return 0;
  std::string dir = path_dir_part(path);
  std::string temp_prefix = ".";
  temp_prefix.append(path_name_part(path)).append(".");
  remove_stale_temporaries(dir, temp_prefix);
  std::string suffix = random_suffix();
  if (suffix.empty()) return 0;
  std::wstring temp = windows_wide(dir + "\\" + temp_prefix + suffix);
  std::wstring target = windows_wide(path);
  bool written = false;
  {
    win_handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, security.get(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.h == INVALID_HANDLE_VALUE) return 0;
    written = write_all(file.h, content) && FlushFileBuffers(file.h);
  }
  if (!written) {
    DeleteFileW(temp.c_str());
    return 0;
  }
  crash_before_rename_for_testing(path);
  // ReplaceFileW works while a reader holds the target open with delete sharing; MoveFileExW would
  // fail then. It needs an existing target, which a first write does not have.
  bool replaced = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES
                      ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr,
                                     REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0
                      : false;
  if (!replaced) {
    replaced = MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!replaced) {
    DeleteFileW(temp.c_str());
    return 0;
  }
  // ReplaceFileW keeps the old file's DACL; the new content is owner-only, as a rename gives on
  // POSIX. The content is in place either way, so a failure here is not reported.
  SetFileSecurityW(target.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                   security.attributes.lpSecurityDescriptor);
  return 1;
}

bool platform_path_is_absolute(std::string_view path) {
  bool drive = path.size() >= 3 && path[1] == ':' && is_separator(path[2]);
  return drive || (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]));
}

int platform_remove_file(const std::string& path) {
  if (DeleteFileW(windows_wide(path).c_str())) return 1;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 1 : 0;
}

path_standing platform_path_standing(const std::string& path) {
  path_standing standing;
  std::wstring wide = windows_wide(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (wide.empty() || attributes == INVALID_FILE_ATTRIBUTES) return standing;
  standing.exists = true;
  standing.is_dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                            &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return standing;  // what cannot be read is judged by the system when it is opened
  }
  std::unique_ptr<void, local_free> descriptor_owner(descriptor);
  std::string user_text = user_sid_text();
  PSID user = nullptr;
  ConvertStringSidToSidA(user_text.c_str(), &user);
  std::unique_ptr<void, local_free> user_owner(user);
  standing.owner = sid_text(owner);
  standing.foreign_owner = owner != nullptr && !sid_is_trusted(owner, user);
  if (dacl == nullptr) {  // no DACL at all: everyone may do everything
    standing.others_can_write = standing.others_can_read = true;
    return standing;
  }
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) continue;
    auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
      continue;
    }
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (sid_is_trusted(&allowed->SidStart, user)) continue;
    if ((allowed->Mask & write_rights) != 0) standing.others_can_write = true;
    if ((allowed->Mask & read_rights) != 0) standing.others_can_read = true;
  }
  return standing;
}

std::string platform_running_user() {
  return user_sid_text();
}

locked_file::~locked_file() {
  if (handle != -1) CloseHandle(reinterpret_cast<HANDLE>(handle));  // closing releases the lock
}

int locked_file_acquire(locked_file& lock, const std::string& path, int wait_ms) {
  if (!platform_private_dirs_for(path)) return 0;
  private_security security;
  if (!private_security_make(security, false)) return 0;
  HANDLE file = CreateFileW(windows_wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security.get(),
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  lock.handle = reinterpret_cast<std::intptr_t>(file);
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait_ms);
  for (;;) {
    OVERLAPPED whole{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &whole)) {
      return 1;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION || GetTickCount64() >= deadline) return 0;
    Sleep(lock_poll_ms);
  }
}
