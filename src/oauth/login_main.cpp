// lumenhollow-login: signs this node in to a Google account with OAuth 2.0 and PKCE, in two steps
// that a person completes in a browser anywhere, and reports the sign-in.
#include <string>
#include <string_view>

#include "oauth/account_commands.h"
#include "oauth/interactive_login.h"
#include "oauth/login_commands.h"
#include "oauth/state_guard.h"
#include "oauth/tool_output.h"

namespace {

constexpr char help_text[] =
    "usage: lumenhollow-login --status | --start | --finish CODE | --cancel | --interactive\n"
    "       lumenhollow-login --list | --select EMAIL | --logout [EMAIL]\n"
    "\n"
    "  --status          the selected account and whether a sign-in is pending\n"
    "  --start           begin a sign-in: prints the address to open in a browser\n"
    "  --finish CODE     complete it with the code, or the whole localhost address the browser\n"
    "                    landed on after approval\n"
    "  --cancel          forget a started sign-in\n"
    "  --interactive     a whole sign-in at a terminal: prints the address, reads the pasted\n"
    "                    answer; Ctrl-C or end of input cancels\n"
    "  --list            the stored accounts and the selected one (never a token)\n"
    "  --select EMAIL    make the node use another stored account\n"
    "  --logout [EMAIL]  revoke the account's refresh token and remove the account (by default\n"
    "                    the selected one), and the credentials file --write-adc wrote for it\n"
    "  --help, --version\n"
    "\n"
    "Each command but --interactive prints one JSON line; messages go to standard error. Exit\n"
    "status 0 on success, 1 on failure. The OAuth client (a Desktop app client's JSON) is read "
    "from\n"
    "lumenhollow_client.json beside the accounts file, or from LUMENHOLLOW_CLIENT_PATH.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string_view command = argc > 1 ? argv[1] : "";
  if (tool_answer_help_or_version(command, "lumenhollow-login", help_text)) return tool_exit_ok;
  std::string detail;
  if (oauth_failure unsafe = state_guard_check(detail); unsafe != oauth_failure::none) {
    return tool_fail_with_code(unsafe, detail);
  }
  if (command == "--finish") {
    // The code is whatever follows, even when it begins with '-'.
    return argc == 3 ? login_cmd_finish(argv[2])
                     : tool_fail_with_code(
                           argc < 3 ? oauth_failure::missing_code : oauth_failure::usage, "");
  }
  if (argc == 2 && command == "--status") return login_cmd_status();
  if (argc == 2 && command == "--start") return login_cmd_start();
  if (argc == 2 && command == "--cancel") return login_cmd_cancel();
  if (argc == 2 && command == "--interactive") return login_cmd_interactive();
  if (argc == 2 && command == "--list") return login_cmd_list();
  if (argc == 3 && command == "--select") return login_cmd_select(argv[2]);
  if (argc <= 3 && command == "--logout") return login_cmd_logout(argc == 3 ? argv[2] : "");
  return tool_fail_with_code(oauth_failure::usage, "");
}
