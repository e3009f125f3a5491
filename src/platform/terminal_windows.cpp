// Windows implementation of terminal.h: Ctrl-C, Ctrl-Break and the console closing are noted by a
// console control handler instead of ending the process.
#include <windows.h>

#include <atomic>

#include "platform/terminal.h"

namespace {

constexpr DWORD handler_grace_ms = 100;
std::atomic<bool> interrupted = false;

BOOL WINAPI note_interrupt(DWORD) {
  interrupted = true;
  return TRUE;
}

}  // namespace

void terminal_catch_interrupts() {
  SetConsoleCtrlHandler(note_interrupt, TRUE);
  // A pasted address may hold letters beyond ASCII; the tools read UTF-8.
  DWORD mode = 0;
  if (GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) SetConsoleCP(CP_UTF8);
}

bool terminal_was_interrupted() {
  return interrupted;
}

terminal_read terminal_read_line(std::string& line, std::size_t limit_bytes) {
  line.clear();
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  // A byte at a time, so that nothing after the line feed is taken from the next read.
  for (;;) {
    if (interrupted) return terminal_read::interrupted;
    char byte = 0;
    DWORD got = 0;
    bool read = ReadFile(input, &byte, 1, &got, nullptr) != 0;
    // A console read returns empty when Ctrl-C arrives, while the handler still runs on a thread
    // of its own: give it a moment to be seen.
    if (!read || got == 0) {
      DWORD mode = 0;
      if (!interrupted && GetConsoleMode(input, &mode)) Sleep(handler_grace_ms);
      if (interrupted) return terminal_read::interrupted;
      return line.empty() ? terminal_read::end_of_input : terminal_read::line;
    }
    if (byte == '\n') break;
    if (line.size() < limit_bytes) line.push_back(byte);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return terminal_read::line;
}
