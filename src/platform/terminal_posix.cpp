#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/terminal.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void note_interrupt(int) {
  interrupted = 1;
}

}  // namespace

void terminal_catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = note_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: the read must return to see the interrupt
  for (int signal_number : {SIGINT, SIGHUP, SIGTERM}) ::sigaction(signal_number, &action, nullptr);
}

bool terminal_was_interrupted() {
  return interrupted != 0;
}

terminal_read terminal_read_line(std::string& line, std::size_t limit_bytes) {
  line.clear();
  // A byte at a time, so that nothing after the line feed is taken from the next read.
  for (;;) {
    if (interrupted) return terminal_read::interrupted;
    char byte = 0;
    ssize_t got = ::read(STDIN_FILENO, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return line.empty() ? terminal_read::end_of_input : terminal_read::line;
    if (byte == '\n') break;
    if (line.size() < limit_bytes) line.push_back(byte);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return terminal_read::line;
}
