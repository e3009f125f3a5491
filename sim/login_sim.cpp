// Simulated login CLI for demos and tests. It honours the command lines the plugin uses and keeps
// real state files where the plugin reads them, but talks to no one: the authorization address it
// issues points to the simulated consent page on the same web server.
//
//   sim-login --status | --start | --finish CODE | --cancel
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim_state.h"

namespace {

constexpr std::string_view client_id = "sim-client.apps.example";
constexpr std::string_view scopes =
    "openid https://www.googleapis.com/auth/userinfo.email "
    "https://www.googleapis.com/auth/cloud-platform";

std::string env_or(const char* name, std::string_view fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0' ? std::string(value) : std::string(fallback);
}

// Where the browser lands after approval. Nothing listens there, as with the real loopback flow:
// the operator copies the address from the browser's address bar.
std::string loopback_uri() {
  return "http://localhost:" + env_or("LUMENHOLLOW_SIM_LOOPBACK_PORT", "8085") + "/";
}

sim_object failure(std::string_view error) {
  sim_object answer;
  sim_json_set(answer, "ok", "false");
  sim_json_set_text(answer, "error", error);
  return answer;
}

int status(const sim_paths& paths) {
  std::vector<sim_object> accounts = sim_load_accounts(paths);
  int chosen = sim_chosen_account(accounts, sim_load_selected(paths));
  bool has_refresh = chosen >= 0 && sim_has_refresh(accounts[chosen]);
  std::string pending_text;
  bool pending = sim_read(paths.pending, pending_text);

  sim_object answer;
  sim_json_set_text(answer, "identity",
                    chosen >= 0 ? sim_json_text(accounts[chosen], "email") : "");
  sim_json_set_text(answer, "path", paths.accounts);
  sim_json_set(answer, "logged_in", has_refresh ? "true" : "false");
  sim_json_set(answer, "has_refresh", has_refresh ? "true" : "false");
  sim_json_set(answer, "pending", pending ? "true" : "false");
  long long expires_at = has_refresh ? sim_json_number(accounts[chosen], "expires_at") : 0;
  sim_json_set(answer, "expires_at", std::to_string(expires_at));
  sim_print(answer);
  return 0;
}

int start(const sim_paths& paths) {
  std::string state = sim_random_token(24);
  std::string challenge = sim_random_token(43);
  std::string redirect = loopback_uri();

  sim_object marker;
  sim_json_set_text(marker, "state", state);
  // Shaped like a real authorization code, '/' included, so the plugin's extraction is exercised.
  sim_json_set_text(marker, "code", "4/0AS" + sim_random_token(40));
  sim_json_set_text(marker, "email", sim_email());
  sim_json_set_text(marker, "redirect_uri", redirect);
  sim_json_set_text(marker, "scope", scopes);
  sim_json_set(marker, "created_at", std::to_string(sim_now()));
  sim_json_set(marker, "expires_at", std::to_string(sim_now() + sim_pending_ttl_seconds));
  if (!sim_write(paths.pending, sim_json_write(marker) + "\n")) {
    sim_print(failure("cannot_write_pending"));
    return 1;
  }

  std::string auth_url = env_or("LUMENHOLLOW_SIM_ORIGIN", "") + "/sim/consent" +
                         "?response_type=code&client_id=" + sim_percent_encode(client_id) +
                         "&redirect_uri=" + sim_percent_encode(redirect) +
                         "&scope=" + sim_percent_encode(scopes) + "&state=" + state +
                         "&code_challenge=" + challenge +
                         "&code_challenge_method=S256&access_type=offline&prompt=consent";
  sim_object answer;
  sim_json_set(answer, "ok", "true");
  sim_json_set_text(answer, "auth_url", auth_url);
  sim_json_set_text(answer, "flow", "paste_code");
  sim_json_set_text(answer, "hint",
                    "Approve on the consent page. The browser then lands on localhost, which does "
                    "not load - copy the whole address (or just the code) and paste it here.");
  sim_json_set(answer, "expires_in", std::to_string(sim_pending_ttl_seconds));
  sim_print(answer);
  return 0;
}

void save_account(const sim_paths& paths, const std::string& email) {
  std::vector<sim_object> accounts = sim_load_accounts(paths);
  sim_object* entry = nullptr;
  for (sim_object& account : accounts)
    if (sim_json_text(account, "email") == email) entry = &account;
  if (entry == nullptr) {
    accounts.emplace_back();
    entry = &accounts.back();
    sim_json_set_text(*entry, "email", email);
  }
  sim_json_set_text(*entry, "refresh_token", "1//0sim" + sim_random_token(48));
  sim_json_set_text(*entry, "access_token", "sim." + sim_random_token(64));
  sim_json_set(*entry, "expires_at", std::to_string(sim_now() + sim_token_ttl_seconds()));
  sim_write(paths.accounts, sim_json_write(accounts));
  sim_write(paths.selected, email + "\n");
}

int finish(const sim_paths& paths, std::string_view code) {
  std::string text;
  sim_object marker;
  if (!sim_read(paths.pending, text) || !sim_json_parse_object(text, marker) ||
      sim_json_text(marker, "code") != code) {
    sim_print(failure("invalid_grant"));
    return 1;
  }
  if (sim_json_number(marker, "expires_at") < sim_now()) {
    sim_remove(paths.pending);
    sim_print(failure("invalid_grant"));
    return 1;
  }

  std::string email = sim_json_text(marker, "email");
  if (email.empty()) email = sim_email();
  std::string project = sim_project();
  save_account(paths, email);
  sim_write(paths.env_file, "GOOGLE_PROJECT_ID=" + project + "\nGOOGLE_ACCOUNT=" + email + "\n");
  sim_remove(paths.pending);

  sim_object answer;
  sim_json_set(answer, "ok", "true");
  sim_json_set_text(answer, "email", email);
  sim_json_set_text(answer, "project_id", project);
  sim_print(answer);
  return 0;
}

int cancel(const sim_paths& paths) {
  std::string text;
  bool had = sim_read(paths.pending, text);
  sim_remove(paths.pending);
  sim_object answer;
  sim_json_set(answer, "ok", "true");
  sim_json_set(answer, "cancelled", had ? "true" : "false");
  sim_print(answer);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string_view command = argc > 1 ? argv[1] : "";
  sim_paths paths = sim_locate();
  if (command == "--status") return status(paths);
  if (command == "--start") return start(paths);
  if (command == "--cancel") return cancel(paths);
  if (command == "--finish") {
    if (argc < 3) {
      sim_print(failure("missing_code"));
      return 1;
    }
    return finish(paths, argv[2]);
  }
  std::fprintf(stderr, "usage: %s --status | --start | --finish CODE | --cancel\n", argv[0]);
  sim_print(failure("usage"));
  return 2;
}
