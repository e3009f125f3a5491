// The node password gate. With BOT_PASSWORD set and not empty, a request is admitted only when it
// carries that password in X-Bot-Password, in an "Authorization: Bearer" token, or in the `pwd`
// query key.
#pragma once

#include <string_view>

struct request;

// 1 admitted, 0 refused. Reads only the request's password carriers and its query.
int gate_admits(const request& req);

// Byte-for-byte equality whose running time does not depend on where the first difference is.
int secret_equals(std::string_view given, std::string_view secret);
