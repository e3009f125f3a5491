#include "oauth/tool_output.h"

#include <cstdio>
#include <string>

#include "oauth/json_fields.h"
#include "oauth/server_checks.h"
#include "product.h"

namespace {

nlohmann::ordered_json* answer_sink = nullptr;

void write_out(FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string with_detail(std::string_view sentence, std::string_view detail) {
  std::string text(sentence);
  // The detail may hold a server's words: no control character of theirs reaches a terminal.
  if (!detail.empty()) text.append(" (").append(server_text_for_terminal(detail)).append(")");
  return text;
}

}  // namespace

void tool_print(const nlohmann::ordered_json& answer) {
  if (answer_sink != nullptr) {
    *answer_sink = answer;
    return;
  }
  write_out(stdout, json_line(answer));
}

void tool_answers_into(nlohmann::ordered_json* sink) {
  answer_sink = sink;
}

void tool_print_text(std::string_view line) {
  write_out(stdout, std::string(line) + "\n");
}

void tool_say(std::string_view message) {
  write_out(stderr, std::string(message) + "\n");
}

int tool_answer_help_or_version(std::string_view command, std::string_view tool_name,
                                std::string_view help_text) {
  if (command == "--help" || command == "-h") {
    write_out(stdout, std::string(help_text));
  } else if (command == "--version") {
    tool_print_text(std::string(tool_name) + " " PRODUCT_VERSION);
  } else {
    return 0;
  }
  return 1;
}

int tool_fail_with_code(oauth_failure failure, std::string_view detail) {
  failure_text text = failure_describe(failure);
  tool_say(with_detail(text.sentence, detail));
  tool_print({{"ok", false}, {"error", text.code}});
  return tool_exit_failed;
}

int tool_fail_with_sentence(oauth_failure failure, std::string_view detail) {
  failure_text text = failure_describe(failure);
  // The server's words, or the path or variable to mend: what the reader needs to act.
  bool detail_in_answer =
      failure == oauth_failure::server_error || failure == oauth_failure::server_unreachable ||
      failure == oauth_failure::env_unreadable || failure == oauth_failure::state_unsafe ||
      failure == oauth_failure::location_too_long;
  std::string sentence =
      detail_in_answer ? with_detail(text.sentence, detail) : std::string(text.sentence);
  tool_say(with_detail(text.sentence, detail));
  tool_print({{"ok", false}, {"error", sentence}});
  return tool_exit_failed;
}
