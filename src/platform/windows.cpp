// Windows implementation of the platform layer. Standard input and output go through the Win32
// handles, so no byte is translated. Tools are started directly from their words, so no byte of a
// pasted code ever reaches a command interpreter (cmd.exe acts on % ! ^ ( ) and knows no single
// quotes).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"

// mingw's runtime would otherwise expand wildcards in the arguments: "*" would become file names.
extern "C" {
int _dowildcard = 0;
}

namespace {

// Each home variable is read into an area of the home text's size.
constexpr DWORD env_area_bytes = home_text_bytes;
constexpr std::size_t home_max_bytes = home_text_bytes - 1;
constexpr std::size_t windows_line_bytes = 32768;  // CreateProcess's own limit
constexpr std::size_t program_path_bytes = MAX_PATH * 4;

struct win_handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  win_handle() = default;
  explicit win_handle(HANDLE handle) : h(handle) {}
  win_handle(const win_handle&) = delete;
  win_handle& operator=(const win_handle&) = delete;
  ~win_handle() { reset(); }
  bool valid() const { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  void reset() {
    if (valid()) CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
  }
  HANDLE release() {
    HANDLE out = h;
    h = INVALID_HANDLE_VALUE;
    return out;
  }
};

// GetEnvironmentVariableA into an area of env_area_bytes: the length of a value that fits, else 0
// (unset, empty, or too long: the area's content is then not the value).
DWORD env_into(const char* name, char* area) {
  DWORD n = GetEnvironmentVariableA(name, area, env_area_bytes);
  return n < env_area_bytes ? n : 0;
}

// ---- writing a Windows command line

// Appends one argument so that the MSVC runtime's parser gives it back unchanged: quoted when it
// is empty or holds blanks or quotes; backslashes are doubled only before a quote.
bool line_add_word(char* line, std::size_t& len, const char* word) {
  auto put = [&](char c, std::size_t times) {
    if (len + times >= windows_line_bytes) return false;
    std::memset(line + len, c, times);
    len += times;
    return true;
  };
  if (len > 0 && !put(' ', 1)) return false;
  if (*word != '\0' && std::strpbrk(word, " \t\n\v\"") == nullptr) {
    for (const char* p = word; *p != '\0'; ++p) {
      if (!put(*p, 1)) return false;
    }
    return true;
  }
  if (!put('"', 1)) return false;
  for (const char* p = word;; ++p) {
    std::size_t backslashes = 0;
    while (*p == '\\') {
      ++backslashes;
      ++p;
    }
    if (*p == '\0') return put('\\', backslashes * 2) && put('"', 1);
    if (*p == '"') {
      if (!put('\\', backslashes * 2 + 1) || !put('"', 1)) return false;
    } else if (!put('\\', backslashes) || !put(*p, 1)) {
      return false;
    }
  }
}

// ---- finding the program as a shell would

bool is_file(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// `base` with ".exe" added, else `base` itself: a file without that extension is seldom a program
// Windows can start, and wine would start a Linux program of the same name beside it.
bool try_candidate(char* out, std::size_t base_len) {
  if (base_len + 4 < program_path_bytes) {
    std::memcpy(out + base_len, ".exe", 5);
    if (is_file(out)) return true;
    out[base_len] = '\0';
  }
  return is_file(out);
}

// A name with a separator is a path; a bare name is looked up in each PATH directory in order.
// Empty PATH entries are skipped: the working directory is not searched.
bool find_program(const char* name, char* out) {
  std::size_t name_len = std::strlen(name);
  if (name_len + 1 > program_path_bytes) return false;
  if (std::strpbrk(name, "\\/:") != nullptr) {
    std::memcpy(out, name, name_len + 1);
    return try_candidate(out, name_len);
  }
  static char search[32768];
  DWORD n = GetEnvironmentVariableA("PATH", search, sizeof search);
  if (n == 0 || n >= sizeof search) return false;
  for (char* dir = search; *dir != '\0';) {
    char* end = std::strchr(dir, ';');
    std::size_t dir_len = end != nullptr ? static_cast<std::size_t>(end - dir) : std::strlen(dir);
    const char* separator =
        dir_len > 0 && dir[dir_len - 1] != '\\' && dir[dir_len - 1] != '/' ? "\\" : "";
    int base_len = std::snprintf(out, program_path_bytes, "%.*s%s%s", static_cast<int>(dir_len),
                                 dir, separator, name);
    if (dir_len > 0 && base_len > 0 && static_cast<std::size_t>(base_len) < program_path_bytes &&
        try_candidate(out, static_cast<std::size_t>(base_len))) {
      return true;
    }
    if (end == nullptr) break;
    dir = end + 1;
  }
  return false;
}

// Starts the program with its standard output on `out_write`, standard input and error on NUL, and
// no other handle inherited (a handle to the web server's pipe would keep the answer open).
HANDLE start_program(const char* path, char* line, HANDLE out_write) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  win_handle null_device(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                     nullptr));
  if (!null_device.valid()) return nullptr;

  alignas(8) char attribute_area[256];
  SIZE_T attribute_bytes = sizeof attribute_area;
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attribute_area);
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attribute_bytes)) return nullptr;
  HANDLE inherited[2] = {out_write, null_device.h};
  BOOL listed = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                          inherited, sizeof inherited, nullptr, nullptr);

  STARTUPINFOEXA start{};
  start.StartupInfo.cb = sizeof start;
  start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  start.StartupInfo.hStdInput = null_device.h;
  start.StartupInfo.hStdOutput = out_write;
  start.StartupInfo.hStdError = null_device.h;
  start.lpAttributeList = attributes;
  PROCESS_INFORMATION started{};
  BOOL ok = listed && CreateProcessA(path, line, nullptr, nullptr, TRUE,
                                     EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr,
                                     nullptr, &start.StartupInfo, &started);
  DeleteProcThreadAttributeList(attributes);
  if (!ok) return nullptr;
  CloseHandle(started.hThread);
  return started.hProcess;
}

void write_all(HANDLE out, const char* p, std::size_t n) {
  while (n > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1 << 30));
    DWORD wrote = 0;
    if (!WriteFile(out, p, chunk, &wrote, nullptr) || wrote == 0) return;
    p += wrote;
    n -= wrote;
  }
}

}  // namespace

const char* platform_env(const char* name) {
  return std::getenv(name);
}

// Windows reports a child's end through its process handle, not a signal: nothing to restore.
void platform_reset_child_signal() {}

int platform_home_dir(home_text& out) {
  out.clear();
  char value[env_area_bytes];
  if (DWORD n = env_into("USERPROFILE", value); n > 0) {
    out.assign(std::string_view(value, n));
    return 1;
  }
  // A HOMEDRIVE or HOMEPATH that does not fit its area counts as unset.
  char path[env_area_bytes];
  DWORD drive_len = env_into("HOMEDRIVE", value);
  DWORD path_len = env_into("HOMEPATH", path);
  if (drive_len == 0 || path_len == 0) return 0;
  std::size_t take = std::min<std::size_t>(path_len, home_max_bytes - drive_len);
  std::memcpy(out.bytes, value, drive_len);
  std::memcpy(out.bytes + drive_len, path, take);
  out.bytes[drive_len + take] = '\0';
  return 1;
}

std::string platform_user_config_dir(std::string_view home) {
  const char* roaming = std::getenv("APPDATA");
  if (roaming != nullptr && roaming[0] != '\0') return roaming;
  return home.empty() ? std::string() : std::string(home) + "\\AppData\\Roaming";
}

std::string_view platform_separator() {
  return "\\";
}

std::string_view platform_dir_part(std::string_view path) {
  std::size_t at = path.rfind('\\');
  if (at == std::string_view::npos) at = path.rfind('/');
  return at == std::string_view::npos ? std::string_view() : path.substr(0, at + 1);
}

heap_text platform_read_file(const char* path, std::size_t limit_bytes) {
  // Opening a directory fails without backup semantics; devices (NUL, CON, pipes) are refused by
  // their type.
  win_handle file(CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid() || GetFileType(file.h) != FILE_TYPE_DISK) return nullptr;
  LARGE_INTEGER size_info;
  if (!GetFileSizeEx(file.h, &size_info) || size_info.QuadPart < 0 ||
      static_cast<std::uint64_t>(size_info.QuadPart) > limit_bytes) {
    return nullptr;
  }
  std::size_t size = static_cast<std::size_t>(size_info.QuadPart);
  heap_text block(static_cast<char*>(std::malloc(size + 1)));
  std::size_t got = 0;
  while (block && got < size) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1 << 30));
    if (!ReadFile(file.h, block.get() + got, want, &n, nullptr) || n == 0) block.reset();
    got += n;
  }
  if (block) block.get()[size] = '\0';
  return block;
}

int platform_exists_not_dir(const char* path) {
  return is_file(path) ? 1 : 0;
}

std::int64_t platform_now_seconds() {
  return static_cast<std::int64_t>(_time64(nullptr));
}

tool_process::~tool_process() {
  if (output != -1 || id != -1) tool_process_finish(*this);
}

tool_start tool_process_start(tool_process& tool, const char* const* words) {
  static char program[program_path_bytes];
  if (!find_program(words[0], program)) return tool_start::not_found;

  static char line[windows_line_bytes];
  std::size_t len = 0;
  if (!line_add_word(line, len, program)) return tool_start::failed;
  for (const char* const* word = words + 1; *word != nullptr; ++word) {
    if (!line_add_word(line, len, *word)) return tool_start::failed;
  }
  line[len] = '\0';

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return tool_start::failed;
  win_handle reader(read_end);
  win_handle writer(write_end);
  if (!SetHandleInformation(reader.h, HANDLE_FLAG_INHERIT, 0)) return tool_start::failed;

  // A file that cannot be started counts as one that is not there, as the shell's 127 did.
  HANDLE process = start_program(program, line, writer.h);
  if (process == nullptr) return tool_start::not_found;
  tool.output = reinterpret_cast<std::intptr_t>(reader.release());
  tool.id = reinterpret_cast<std::intptr_t>(process);
  return tool_start::started;  // the child holds the only write end once `writer` is closed
}

std::size_t tool_process_read(tool_process& tool, char* area, std::size_t cap) {
  DWORD n = 0;
  DWORD want = static_cast<DWORD>(std::min<std::size_t>(cap, 1 << 30));
  // A broken pipe is the end of the output: the tool has closed its end.
  if (!ReadFile(reinterpret_cast<HANDLE>(tool.output), area, want, &n, nullptr)) return 0;
  return n;
}

int tool_process_finish(tool_process& tool) {
  if (tool.output != -1) CloseHandle(reinterpret_cast<HANDLE>(tool.output));
  tool.output = -1;
  if (tool.id == -1) return -1;
  HANDLE process = reinterpret_cast<HANDLE>(tool.id);
  tool.id = -1;
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  BOOL got = GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return got ? static_cast<int>(code) : -1;
}

std::size_t platform_read_stdin(char* out, std::size_t limit) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::size_t got = 0;
  while (got < limit) {
    DWORD n = 0;
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(limit - got, 1 << 30));
    if (!ReadFile(in, out + got, want, &n, nullptr) || n == 0) break;
    got += n;
  }
  return got;
}

void platform_write_stdout(const out_piece* pieces, std::size_t count) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  for (std::size_t i = 0; i < count; ++i) {
    write_all(out, static_cast<const char*>(pieces[i].data), pieces[i].len);
  }
}

void platform_write_stdout(const void* data, std::size_t len) {
  write_all(GetStdHandle(STD_OUTPUT_HANDLE), static_cast<const char*>(data), len);
}
