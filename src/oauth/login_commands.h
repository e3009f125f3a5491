// The login tool's commands. Each prints one JSON line and returns the exit status.
#pragma once

#include <string_view>

int login_cmd_status();
int login_cmd_start();
int login_cmd_finish(std::string_view pasted);
int login_cmd_cancel();
