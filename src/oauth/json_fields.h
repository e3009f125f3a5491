// Reading members of parsed JSON without exceptions, and writing JSON as the state files and the
// tools' answers need it.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// The member's text, or empty when it is absent or not a string.
std::string json_text_member(const nlohmann::json& object, std::string_view name);
// The member's whole number, or 0 when it is absent or not a number.
std::int64_t json_int_member(const nlohmann::json& object, std::string_view name);

// One line ending in a line feed. Text outside ASCII stays raw UTF-8, because the program's reader
// keeps only the low byte of a \u escape; invalid UTF-8 (a server's text) becomes U+FFFD.
std::string json_line(const nlohmann::ordered_json& value);
std::string json_line(const nlohmann::json& value);
