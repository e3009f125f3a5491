// Routing of an admitted request to the console page or to exactly one action.
#pragma once

// Handles the request named by the environment; returns the process exit status.
int handle_request(const char* query);
