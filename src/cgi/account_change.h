// Intake of the account actions: the JSON POST rule of the actions that change the node, the
// e-mail address they name, and the login CLI's answer to an account command.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "text/buf.h"
#include "text/fixed_text.h"

struct request;

// The longest e-mail address the program hands to the login CLI or takes from it.
inline constexpr std::size_t email_limit_bytes = 320;
using email_text = fixed_text<email_limit_bytes + 1>;

// The bodies of the changing actions are a small JSON object; longer ones are refused.
inline constexpr std::size_t change_body_limit_bytes = 4096;

// 1 for an address that may reach the login CLI as a word: 1 to email_limit_bytes bytes, an '@',
// no space, control byte or DEL, and no leading '-' that the tool could take for a switch.
int email_is_acceptable(std::string_view email);

// 1 when the media type is application/json in any case, with or without parameters.
int media_type_is_json(const char* content_type);

// For the actions that change the node: admits a POST of a JSON object and reads its `email`
// member (empty when absent, null or ""). Otherwise writes the refusal (405, 415 or 400) and
// returns 0.
int change_request_take(const request& req, email_text& email);

// Runs the login CLI with `arguments`. When it answered ok, returns its answer line (inside
// `output`); otherwise writes the failure (cli_unavailable, else the tool's error code or
// `fallback_error`, with `detail`) and returns nullptr.
const char* account_tool_answer(std::initializer_list<const char*> arguments, buf& output,
                                const char* fallback_error, const char* detail);
