// lumenhollow-token: the signed-in account's access token, for the console and for other programs
// on the node.
#include <string>
#include <string_view>

#include "oauth/adc_command.h"
#include "oauth/state_guard.h"
#include "oauth/token_commands.h"
#include "oauth/tool_output.h"

namespace {

constexpr char help_text[] =
    "usage: lumenhollow-token [-local | --write-adc [PATH]]\n"
    "\n"
    "  (no argument)      print a valid access token, bare, refreshing it first when less than\n"
    "                     five minutes are left\n"
    "  -local             refresh the access token now; prints one JSON line\n"
    "  --write-adc [PATH] write Google's application default credentials for the account, by\n"
    "                     default to ~/.config/gcloud/application_default_credentials.json;\n"
    "                     prints one JSON line\n"
    "  --help, --version\n"
    "\n"
    "Exit status 0 on success, 1 on failure, with a JSON line {\"ok\":false,\"error\":...} on\n"
    "standard output and the reason on standard error.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string_view command = argc > 1 ? argv[1] : "";
  if (tool_answer_help_or_version(command, "lumenhollow-token", help_text)) return tool_exit_ok;
  std::string detail;
  if (oauth_failure unsafe = state_guard_check(detail); unsafe != oauth_failure::none) {
    return tool_fail_with_sentence(unsafe, detail);
  }
  if (argc == 1) return token_cmd_print();
  if (argc == 2 && command == "-local") return token_cmd_local();
  if (argc <= 3 && command == "--write-adc") return token_cmd_write_adc(argc == 3 ? argv[2] : "");
  return tool_fail_with_sentence(oauth_failure::usage, "");
}
