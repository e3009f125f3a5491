// Starts a program with the home variables it is given. wine sets USERPROFILE, HOMEDRIVE and
// HOMEPATH itself whenever it starts a process from outside, so the tests set them here, inside.
//   launcher.exe [NAME=VALUE | -NAME]... -- PROGRAM
// NAME=VALUE sets a variable, -NAME removes it. PROGRAM runs with this process's standard handles
// and without arguments; its exit code becomes the launcher's (125 when it cannot be started).
#include <windows.h>

#include <cstring>
#include <string>

extern "C" {
int _dowildcard = 0;
}

int main(int argc, char** argv) {
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    std::string item = argv[i];
    if (item[0] == '-') {
      SetEnvironmentVariableA(item.c_str() + 1, nullptr);
    } else if (std::size_t eq = item.find('='); eq != std::string::npos) {
      SetEnvironmentVariableA(item.substr(0, eq).c_str(), item.c_str() + eq + 1);
    }
  }
  if (i + 1 >= argc) return 125;
  std::string line = std::string("\"") + argv[i + 1] + "\"";

  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(argv[i + 1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &child)) {
    return 125;
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 125;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  return static_cast<int>(code);
}
