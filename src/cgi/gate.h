// The node password gate. With BOT_PASSWORD set and not empty, a request is admitted only when it
// carries that password in X-Bot-Password, in an "Authorization: Bearer" token, or in the `pwd`
// query key.
#pragma once

#include <string_view>

// 1 admitted, 0 refused. Reads only the environment.
int gate_admits();

// Writes the fixed 401 refusal.
void gate_refuse();

// Byte-for-byte equality whose running time does not depend on where the first difference is.
int secret_equals(std::string_view given, std::string_view secret);
