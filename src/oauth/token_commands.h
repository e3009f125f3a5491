// The token tool's commands. Each returns the exit status.
#pragma once

// Refreshes the selected account's access token now; prints {"ok":true,"project_id",...}.
int token_cmd_local();
// Prints a valid access token, bare, refreshing it first when it is about to run out.
int token_cmd_print();
