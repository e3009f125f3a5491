// Reading members of parsed JSON without exceptions, and writing JSON as the state files and the
// tools' answers need it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// How deeply arrays and objects may nest in a state file the tools read. The JSON library recurses
// once per level when it writes or frees a document, so a hostile file could exhaust the stack;
// the tools' own files nest three levels at most.
inline constexpr std::size_t state_json_depth_limit = 16;

enum class state_json { parsed, too_deep, not_json };

// Parses a state file's text (up to its first NUL): checks the nesting before the library sees it.
state_json json_parse_state(std::string_view text, nlohmann::json& out);

// The member's text, or empty when it is absent or not a string.
std::string json_text_member(const nlohmann::json& object, std::string_view name);
// The member's whole number, or 0 when it is absent or not a number.
std::int64_t json_int_member(const nlohmann::json& object, std::string_view name);

// One line ending in a line feed. Text outside ASCII stays raw UTF-8, because the program's reader
// keeps only the low byte of a \u escape; invalid UTF-8 (a server's text) becomes U+FFFD.
std::string json_line(const nlohmann::ordered_json& value);
std::string json_line(const nlohmann::json& value);
