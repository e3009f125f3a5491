// The actions, one file each. Every action writes exactly one response and returns the process
// exit status.
#pragma once

#include "text/fixed_text.h"

struct request;

// The `error` member of a tool's answer, as the actions keep it.
using tool_error_text = fixed_text<512>;

int action_status();
int action_start();
int action_cancel();
int action_finish(const request& req);
int action_refresh();
int action_accounts();
int action_logout(const request& req);
int action_select(const request& req);
