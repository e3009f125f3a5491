// Process entry: the hub's discovery switches first, then the node password gate, then one handler.
#include <cstring>

#include "cgi/dispatch.h"
#include "cgi/framing.h"
#include "cgi/gate.h"
#include "cgi/messages.h"
#include "cgi/query.h"
#include "platform/platform.h"

namespace {

int print_line(const char* line) {
  platform_write_stdout(line, std::strlen(line));
  return exit_ok;
}

}  // namespace

int main(int argc, char** argv) {
  const char* first = argc > 1 ? argv[1] : nullptr;
  if (first != nullptr && std::strcmp(first, "--meta") == 0) return print_line(discovery_line);
  // The variable's presence alone counts, and it wins over "--version".
  if (platform_env("QV_PLUGIN_META") != nullptr) return print_line(discovery_line);
  if (first != nullptr && (std::strcmp(first, "--version") == 0 || std::strcmp(first, "-v") == 0)) {
    return print_line(version_line);
  }

  if (!gate_admits()) {
    gate_refuse();
    return exit_ok;
  }
  return handle_request(request_query());
}
