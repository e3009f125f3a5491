// The actions that drive the login and token CLIs. Each writes exactly one response and returns
// the process exit status.
#pragma once

int action_start();
int action_cancel();
int action_finish(const char* query);
int action_refresh();
