// Runs the same start, finish and cancel as the console does, and puts their answers in words.
// Their failures already reach standard error as sentences.
#include "oauth/interactive_login.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "oauth/login_commands.h"
#include "oauth/pending_marker.h"
#include "oauth/tool_output.h"
#include "platform/terminal.h"

namespace {

// Well above the longest address a browser lands on after approval.
constexpr std::size_t pasted_limit_bytes = 8192;

void say(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

std::string member_text(const nlohmann::ordered_json& answer, const char* name) {
  auto found = answer.find(name);
  return found != answer.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Answers are put in words while this lives.
struct answers_captured {
  nlohmann::ordered_json answer;
  answers_captured() { tool_answers_into(&answer); }
  answers_captured(const answers_captured&) = delete;
  answers_captured& operator=(const answers_captured&) = delete;
  ~answers_captured() { tool_answers_into(nullptr); }
};

int cancelled(std::string_view why) {
  login_cmd_cancel();
  say(std::string("\n").append(why).append(" The sign-in was cancelled.\n"));
  return tool_exit_failed;
}

}  // namespace

int login_cmd_interactive() {
  terminal_catch_interrupts();
  answers_captured captured;
  const nlohmann::ordered_json& answer = captured.answer;

  login_cmd_status();
  std::string current = member_text(answer, "identity");
  if (login_cmd_start() != tool_exit_ok) return tool_exit_failed;
  if (!current.empty()) {
    say("This node is signed in as " + current +
        ". Signing in adds the account you choose (or renews it) and makes the node use it.\n\n");
  }
  say("Open this address in a browser on any computer or phone:\n\n  " +
      member_text(answer, "auth_url") + "\n\n" + member_text(answer, "hint") +
      "\nThe sign-in lapses in " + std::to_string(pending_lifetime_seconds / 60) +
      " minutes; Ctrl-C or Ctrl-D cancels it.\n");

  for (;;) {
    say("\nAddress or code: ");
    std::string pasted;
    switch (terminal_read_line(pasted, pasted_limit_bytes)) {
      case terminal_read::interrupted:
        return cancelled("Interrupted.");
      case terminal_read::end_of_input:
        return cancelled("No answer came.");
      case terminal_read::line:
        break;
    }
    if (pasted.find_first_not_of(" \t") == std::string::npos) continue;
    if (login_cmd_finish(pasted) == tool_exit_ok) {
      say("\nSigned in as " + member_text(answer, "email") + ". The node now uses this account.\n");
      return tool_exit_ok;
    }
    // A paste without a code is a slip worth another try; every other failure ends the sign-in.
    if (member_text(answer, "error") != "missing_code") return cancelled("Not signed in.");
    if (terminal_was_interrupted()) return cancelled("Interrupted.");
  }
}
