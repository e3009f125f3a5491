// Intake of a pasted authorization code: the raw text from the query or a JSON body, percent-
// decoded, the value after "code=" picked out of a pasted address, and refused when it holds a
// byte that could matter to a shell.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/fixed_text.h"

struct request;

using code_text = fixed_text<2048>;

// Request bodies of this size or more are not read.
inline constexpr std::size_t code_body_limit_bytes = 262144;

// The body length to read for a CONTENT_LENGTH value (nullptr when unset): 1 to
// code_body_limit_bytes - 1, or 0 when the body is not to be read.
std::size_t code_body_length(const char* content_length);

// The text after the first "\"code\"" and the ':' that follows it, leniently: leading tabs,
// spaces and quotes skipped, ending at a quote, ',' or '}'. Nothing is unescaped. 1 when found.
int code_from_body(const char* body, code_text& out);

// The raw code: the query's `code` value when the key is present (even when empty), else the
// `code` member of the body on standard input, read only as far as the request's CONTENT_LENGTH
// allows. Returns 0 when there is no code at all.
int code_take_raw(const request& req, code_text& out);

// Percent-decodes in place ("%hh" to its byte, '+' to a space); a decoded NUL ends the text.
void code_percent_decode(char* text);

// Keeps only the value after the first "code=" (up to '#' or '&') when that value is not empty.
void code_extract(code_text& code);

// 1 when the code is not empty and holds no byte that is significant to a shell.
int code_is_acceptable(std::string_view code);
