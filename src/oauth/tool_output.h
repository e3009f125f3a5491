// What the tools print: exactly one JSON line on standard output, human words on standard error.
#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "oauth/failure.h"

inline constexpr int tool_exit_ok = 0;
inline constexpr int tool_exit_failed = 1;

void tool_print(const nlohmann::ordered_json& answer);
// From now on answers go into *sink (the last one wins) instead of standard output, for a mode
// that runs the commands and puts their answers in words itself; nullptr restores standard output.
void tool_answers_into(nlohmann::ordered_json* sink);
void tool_print_text(std::string_view line);  // a line of its own, not JSON
void tool_say(std::string_view message);      // standard error

// Answers --help (or -h) with the help text and --version with the tool's name and version, the
// same way for both tools. Returns 1 when the command was one of these.
int tool_answer_help_or_version(std::string_view command, std::string_view tool_name,
                                std::string_view help_text);

// {"ok":false,"error":<short code>}; the sentence and detail go to standard error.
int tool_fail_with_code(oauth_failure failure, std::string_view detail);
// {"ok":false,"error":<sentence>}, with the detail of a server or transport failure appended.
int tool_fail_with_sentence(oauth_failure failure, std::string_view detail);
