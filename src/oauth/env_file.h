// The environment file: KEY=value lines, of which the console reads GOOGLE_PROJECT_ID and
// GOOGLE_ACCOUNT (the first non-empty value of each wins). Edits keep every other line as it was.
#pragma once

#include <string>
#include <string_view>

std::string env_file_location();

// The file's text; empty when there is no file. Returns 0 when a file is there but cannot be read
// (permissions, not a regular file, over the size limit): it must not be replaced.
int env_file_read(std::string& text);

// The first non-empty value of the key, read as the console reads it.
std::string env_text_value(std::string_view text, std::string_view key);

// The text with "KEY=value" in place of the key's first line, its later lines dropped, or added at
// the end when the key has no line.
std::string env_text_set(std::string_view text, std::string_view key, std::string_view value);

// The text without any line of the key.
std::string env_text_unset(std::string_view text, std::string_view key);
