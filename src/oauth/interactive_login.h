// The login tool's --interactive: a whole sign-in for an operator at a terminal, in words.
#pragma once

// Returns the exit status: 0 when an account was signed in.
int login_cmd_interactive();
