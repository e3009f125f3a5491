// Process entry: the hub's discovery switches first, then the node password gate, then one handler.
#include <cstring>

#include "cgi/dispatch.h"
#include "cgi/framing.h"
#include "cgi/gate.h"
#include "cgi/messages.h"
#include "cgi/request.h"
#include "platform/platform.h"

namespace {

int print_line(const char* line) {
  platform_write_stdout(line, std::strlen(line));
  return exit_ok;
}

// A web server may pass a query without '=' as command-line arguments (the CGI standard allows
// it); those words come from the client, so they must not reach the hub's switches.
bool arguments_from_query(const request& req) {
  return req.under_cgi && req.query[0] != '\0' && std::strchr(req.query, '=') == nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  platform_reset_child_signal();
  const request req = request_from_environment();
  const char* first = argc > 1 && !arguments_from_query(req) ? argv[1] : nullptr;
  if (first != nullptr && std::strcmp(first, "--meta") == 0) return print_line(discovery_line);
  // The variable's presence alone counts, and it wins over "--version".
  if (platform_env("QV_PLUGIN_META") != nullptr) return print_line(discovery_line);
  if (first != nullptr && (std::strcmp(first, "--version") == 0 || std::strcmp(first, "-v") == 0)) {
    return print_line(version_line);
  }

  if (!gate_admits(req)) {
    refusal_respond();
    return exit_ok;
  }
  return handle_request(req);
}
