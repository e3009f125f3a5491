// Status collection with an 8 MiB accounts file whose selected account is the last object, against
// the same collection with an empty accounts file; the difference is the cost of reading and
// scanning the file. The login CLI points at a missing program, so each collection also pays one
// shell start that reports "not found".
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_files.h"
#include "status/login_status.h"

namespace {

constexpr std::int64_t bench_now = 1796671800;

// Points every state location at `home` and the login CLI at a program that does not exist.
void use_home(const scratch_dir& home) {
  for (const char* name : {"LUMENHOLLOW_CREDS_PATH", "LUMENHOLLOW_ENV_DIR",
                           "LUMENHOLLOW_PENDING_PATH", "USERPROFILE", "HOMEDRIVE", "HOMEPATH"}) {
    ::unsetenv(name);
  }
  ::setenv("HOME", home.path.c_str(), 1);
  ::setenv("LUMENHOLLOW_LOGIN_BIN", (home.path + "/missing-login-cli").c_str(), 1);
}

std::string accounts_dir(const scratch_dir& home) {
  return home.path + "/.config/google-accounts/";
}

void collect_status_accounts(benchmark::State& state, std::size_t accounts_bytes) {
  scratch_dir home;
  std::string dir = accounts_dir(home);
  std::string accounts = accounts_bytes > 0 ? accounts_text(accounts_bytes, selected_email) : "";
  if (home.path.empty() || !write_file(dir + "lumenhollow_accounts.json", accounts) ||
      !write_file(dir + "selected_account.txt", std::string(selected_email) + "\n")) {
    state.SkipWithError("could not write the state files");
    return;
  }
  use_home(home);

  login_status status;
  collect_status_at(status, bench_now);
  const bool want_account = accounts_bytes > 0;
  if ((std::strcmp(status.email.c_str(), selected_email) == 0) != want_account ||
      status.has_refresh != (want_account ? 1 : 0)) {
    state.SkipWithError("the selected account was not chosen as expected");
    return;
  }
  for (auto _ : state) {
    int logged_in = collect_status_at(status, bench_now);
    benchmark::DoNotOptimize(logged_in);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(accounts.size()));
}

void collect_status_accounts_8mib(benchmark::State& state) {
  collect_status_accounts(state, accounts_file_bytes);
}
BENCHMARK(collect_status_accounts_8mib)->Unit(benchmark::kMillisecond)->UseRealTime();

void collect_status_accounts_empty(benchmark::State& state) {
  collect_status_accounts(state, 0);
}
BENCHMARK(collect_status_accounts_empty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
