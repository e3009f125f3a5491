// Helpers shared by the hostile-input suite: the environment's limits and the answers that recur
// across its tables.
#pragma once

#include <unistd.h>

#include <string>

#include "harness.h"

namespace hostile {

inline bool running_as_root() {
  return ::geteuid() == 0;
}

// Linux caps each environment string at 128 KiB including "NAME=" and the terminating NUL.
inline constexpr std::size_t env_string_max_bytes = 128 * 1024;
inline std::size_t longest_value(const std::string& name) {
  return env_string_max_bytes - name.size() - 2;
}

// A login CLI answer that refuses every code, so a finish run ends right after handing it over,
// and the program's answer to it.
inline constexpr char refusing_finish[] = "{\"ok\":false,\"error\":\"stop_here\"}\n";
inline const reply stopped = expected::tool_error("stop_here", expected::finish_rejected_detail);

inline const reply missing_code =
    expected::error_reply("400 Bad Request", "missing_code", expected::missing_code_detail);
inline const reply invalid_code =
    expected::error_reply("400 Bad Request", "invalid_code", expected::invalid_code_detail);
inline const reply login_cli_unavailable =
    expected::tool_error("cli_unavailable", expected::login_cli_missing_detail);
inline const reply token_cli_unavailable =
    expected::tool_error("cli_unavailable", expected::token_cli_missing_detail);

}  // namespace hostile
