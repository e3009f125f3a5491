// Simulated token CLI for demos and tests: "-local" pretends to trade the stored refresh token for
// a fresh access token, moving the chosen account's expiry forward.
//
//   sim-token -local
#include <cstdio>
#include <string>
#include <string_view>

#include "sim_state.h"

int main(int argc, char** argv) {
  std::string_view command = argc > 1 ? argv[1] : "";
  sim_object answer;
  if (command != "-local") {
    std::fprintf(stderr, "usage: %s -local\n", argv[0]);
    sim_json_set(answer, "ok", "false");
    sim_json_set_text(answer, "error", "usage");
    sim_print(answer);
    return 2;
  }

  sim_paths paths = sim_locate();
  std::vector<sim_object> accounts = sim_load_accounts(paths);
  int chosen = sim_chosen_account(accounts, sim_load_selected(paths));
  if (chosen < 0 || !sim_has_refresh(accounts[chosen])) {
    sim_json_set(answer, "ok", "false");
    sim_json_set_text(answer, "error", "no stored refresh token on this node; sign in first");
    sim_print(answer);
    return 1;
  }

  long long ttl = sim_token_ttl_seconds();
  sim_json_set_text(accounts[chosen], "access_token", "sim." + sim_random_token(64));
  sim_json_set(accounts[chosen], "expires_at", std::to_string(sim_now() + ttl));
  if (!sim_write(paths.accounts, sim_json_write(accounts))) {
    sim_json_set(answer, "ok", "false");
    sim_json_set_text(answer, "error", "cannot write the accounts file");
    sim_print(answer);
    return 1;
  }

  std::string project = sim_env_value(paths, "GOOGLE_PROJECT_ID");
  sim_json_set(answer, "ok", "true");
  sim_json_set_text(answer, "project_id", project.empty() ? sim_project() : project);
  sim_json_set(answer, "expires_in", std::to_string(ttl));
  sim_print(answer);
  return 0;
}
