// Routing of an admitted request to the console page or to exactly one action.
#pragma once

struct request;

// Handles an admitted request; returns the process exit status.
int handle_request(const request& req);
