// An operator's answers read from the terminal, where an interrupt (Ctrl-C, the terminal closing, a
// request to stop) becomes an answer of its own instead of the end of the process, so that what
// was begun can be undone. For the sign-in tools.
#pragma once

#include <cstddef>
#include <string>

enum class terminal_read { line, end_of_input, interrupted };

// From now on SIGINT, SIGHUP and SIGTERM (Windows: Ctrl-C, Ctrl-Break, the console closing) no
// longer end the process: they are noted, and a read in progress returns.
void terminal_catch_interrupts();
bool terminal_was_interrupted();

// One line of standard input without its line end. A longer line than limit_bytes is read to its
// end and cut there.
terminal_read terminal_read_line(std::string& line, std::size_t limit_bytes);
