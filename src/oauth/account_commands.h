// The login tool's commands over the stored accounts: list them, switch the node to another, and
// sign one out. Each prints one JSON line and returns the exit status.
#pragma once

#include <string_view>

int login_cmd_list();
int login_cmd_select(std::string_view email);
// email empty: the account the node uses.
int login_cmd_logout(std::string_view email);
