// Response framing, the one place where header blocks are written: every success document leaves
// through json_respond, every failure through emit_error, the console page through page_respond
// and the gate's refusal through refusal_respond. Nothing reaches standard output before a body
// is complete.
#pragma once

#include "text/buf.h"

// One complete error response: Status: line, JSON headers, {"ok":false,"error":...[,"detail":...]}.
// An empty detail leaves the detail member out; `allow`, when given, becomes an Allow: line.
void emit_error(int status, const char* reason, const char* code, const char* detail,
                const char* allow = nullptr);

// The success writing sequence: JSON header block, then the body already complete in `body`.
void json_respond(const buf& body);

// The HTML header block, then the console page.
void page_respond();

// The node password gate's fixed 401 answer.
void refusal_respond();

// Exit statuses of the process.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;
