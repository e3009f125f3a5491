#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "../support/scoped_env.h"
#include "../support/temp_dir.h"
#include "status/login_status.h"

namespace {

using namespace std::literals;
namespace fs = std::filesystem;

constexpr std::string_view none{};  // a file that is not there
constexpr std::int64_t now = 1700000000;

constexpr char accounts_file[] = ".config/google-accounts/lumenhollow_accounts.json";
constexpr char selected_file[] = ".config/google-accounts/selected_account.txt";
constexpr char env_file[] = ".veltrane/veltrane-env/lumenhollow.txt";
constexpr char pending_file[] = ".veltrane/.login-pending/lumenhollow-default.json";

// A home directory of our own with the standard layout, and a login CLI that is not there until a
// test writes one.
class CollectStatus : public testing::Test {
 protected:
  void put(const char* relative, std::string_view content) {
    if (content.data() != nullptr) dir.write(relative, content);
  }
  void fake_cli(std::string_view output, int exit_code = 0) {
    const std::string cli = dir.write_script(
        "cli", "cat <<'OUT'\n" + std::string(output) + "\nOUT\nexit " + std::to_string(exit_code));
    setenv("LUMENHOLLOW_LOGIN_BIN", cli.c_str(), 1);
  }
  login_status collect() {
    login_status status;
    collect_status_at(status, now);
    return status;
  }
  // The fields that are set, e.g. "in refresh email=a account=a".
  static std::string describe(const login_status& s) {
    std::string out;
    auto flag = [&](const char* name, int value) { out += value != 0 ? name : ""; };
    auto text = [&](const char* name, const auto& value) {
      if (!value.empty()) out += std::string(" ") + name + "=" + value.c_str();
    };
    flag(" in", s.logged_in);
    flag(" refresh", s.has_refresh);
    flag(" pending", s.pending);
    flag(" cli", s.cli_present);
    text("email", s.email);
    text("account", s.account);
    text("project", s.project_id);
    text("profile", s.profile);
    return out.empty() ? out : out.substr(1);
  }

  temp_dir dir{"state_collect"};
  const std::string& home = dir.path();
  scoped_env home_var{"HOME", home};
  scoped_env creds_var{"LUMENHOLLOW_CREDS_PATH", ""};
  scoped_env env_dir_var{"LUMENHOLLOW_ENV_DIR", ""};
  scoped_env pending_var{"LUMENHOLLOW_PENDING_PATH", ""};
  scoped_env bin_var{"LUMENHOLLOW_LOGIN_BIN", home + "/no-such-cli"};
};

TEST_F(CollectStatus, NothingThereGivesZeroRecord) {
  login_status status = collect();
  EXPECT_EQ(describe(status), "");
  EXPECT_EQ(status.expires_at, 0);
  EXPECT_EQ(std::string(status.credentials_path.c_str()), home + "/" + accounts_file);
}

struct local_case {
  const char* name;
  std::string_view accounts, selected, env;
  const char* expect;
};

TEST_F(CollectStatus, LocalFiles) {
  constexpr auto two = R"([{"email":"alpha"},{"email":"beta","refresh_token":"r"}])"sv;
  const local_case cases[] = {
      {"first account", two, none, none, "email=alpha account=alpha"},
      {"selected account", two, "beta\n", none, "in refresh email=beta account=beta"},
      {"selection is case-sensitive", two, "Beta", none, "email=alpha account=alpha"},
      {"leading space is kept", two, " beta", none, "email=alpha account=alpha"},
      {"first occurrence of the selection counts",
       R"([{"email":"b"},{"email":"b","refresh_token":"r"}])", "b", none, "email=b account=b"},
      {"objects without email are never the fallback",
       R"([{"refresh_token":"r"},{"email":"","refresh_token":"r"},{"email":"g"},{"email":"d","refresh_token":"r"}])",
       "zeta", none, "email=g account=g"},
      {"empty refresh token counts", R"({"email":"a","refresh_token":""})", none, none,
       "in refresh email=a account=a"},
      {"null refresh token does not", R"({"email":"a","refresh_token":null})", none, none,
       "email=a account=a"},
      {"accounts inside one object", R"({"accounts":[{"email":"a","refresh_token":"r"}]})", none,
       none, ""},
      {"nested email is not an account",
       R"([{"meta":{"email":"inner","refresh_token":"r"}},{"email":"outer"}])", none, none,
       "email=outer account=outer"},
      {"braces and quotes in strings", R"([{"note":"}{\"}","email":"q","refresh_token":"r"}])",
       none, none, "in refresh email=q account=q"},
      {"missing closing brace", R"([{"email":"a"},{"email":"b","refresh_token":"r")", "b", none,
       "in refresh email=b account=b"},
      {"unterminated string", R"({"email":"a","x":"{{{)", none, none, "email=a account=a"},
      {"NUL ends the text", "{\"email\":\"a\"}\0{\"email\":\"b\",\"refresh_token\":\"r\"}"sv, "b",
       none, "email=a account=a"},
      {"CRLF environment file", none, none,
       "GOOGLE_PROJECT_ID=\r\nGOOGLE_PROJECT_ID=p-1\r\nGOOGLE_ACCOUNT=ops\r\n",
       "email=ops account=ops project=p-1 profile=lumenhollow"},
      {"empty environment file", none, none, "", "profile=lumenhollow"},
      {"values verbatim, keys exact, first wins", none, none,
       "GOOGLE_PROJECT_ID=\"q\"\n# GOOGLE_ACCOUNT=c\n GOOGLE_ACCOUNT=s\ngoogle_account=l\n\n"
       "GOOGLE_ACCOUNT= a\rb \t\nGOOGLE_ACCOUNT=later",
       "email= a b account= a b project=\"q\" profile=lumenhollow"},
      {"names from both sources", two, none, "GOOGLE_ACCOUNT=ops",
       "email=alpha account=ops profile=lumenhollow"},
  };
  for (const local_case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(fs::path(home) / ".config");
    fs::remove_all(fs::path(home) / ".veltrane");
    put(accounts_file, c.accounts);
    put(selected_file, c.selected);
    put(env_file, c.env);
    EXPECT_EQ(describe(collect()), c.expect);
  }
}

TEST_F(CollectStatus, EnvironmentLinesOf512BytesAreSkipped) {
  std::string skipped = "GOOGLE_ACCOUNT=" + std::string(512 - 15, 's');
  std::string kept = "GOOGLE_ACCOUNT=" + std::string(511 - 15, 'k');
  put(env_file, skipped + "\n" + kept + "\n");
  EXPECT_EQ(std::string(collect().account.c_str()), std::string(255, 'k'));
}

TEST_F(CollectStatus, MarkerAndEnvironmentFileMustNotBeDirectories) {
  fs::create_directories(fs::path(home) / pending_file);
  fs::create_directories(fs::path(home) / env_file);
  login_status status = collect();
  EXPECT_EQ(status.pending, 0);
  EXPECT_STREQ(status.profile.c_str(), "");

  fs::remove(fs::path(home) / pending_file);
  put(pending_file, "");
  EXPECT_EQ(collect().pending, 1);
}

TEST_F(CollectStatus, HostileAccountsFilesAreScannedSafely) {
  constexpr std::size_t deep = 100000;
  put(accounts_file, "{\"email\":\"top\",\"x\":" + std::string(deep, '{') + std::string(deep, '}') +
                         "}" + std::string(deep, '{'));
  EXPECT_STREQ(collect().email.c_str(), "top");

  std::mt19937 random(7);
  std::string junk(1 << 20, '\0');
  const char alphabet[] = "{}\"\\[]:,e\x01\xff";
  for (char& c : junk) c = alphabet[random() % (sizeof alphabet - 1)];
  put(accounts_file, junk);
  collect();
}

struct cli_case {
  const char* name;
  std::string_view accounts, output;
  int exit_code;
  const char* expect;
};

TEST_F(CollectStatus, LoginCliOnlyAddsToLocalFiles) {
  constexpr auto signed_in = R"({"email":"alpha","refresh_token":"r"})"sv;
  const cli_case cases[] = {
      {"has_refresh raises both", none, R"({"has_refresh":true})", 0, "in refresh cli"},
      {"false never clears", signed_in,
       R"({"logged_in":false,"has_refresh":false,"identity":"other"})", 0,
       "in refresh cli email=alpha account=alpha"},
      {"identity fills empty names", none, R"({"identity":"id@x","pending":true})", 1,
       "pending cli email=id@x account=id@x"},
      {"only the last JSON line", none,
       "{\"logged_in\":true}\nnoise\n  {\"has_refresh\":true}\n{\"pending\":true}", 0,
       "pending cli"},
      {"no JSON line", none, "logged_in: true", 0, ""},
      {"exit code 127 means absent", none, R"({"logged_in":true})", 127, ""},
  };
  for (const cli_case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(fs::path(home) / ".config");
    put(accounts_file, c.accounts);
    fake_cli(c.output, c.exit_code);
    EXPECT_EQ(describe(collect()), c.expect);
  }
}

TEST_F(CollectStatus, LoginCliPathReplacesCredentialsPath) {
  const std::string home_path = home + "/" + accounts_file;
  const std::pair<const char*, std::string> cases[] = {
      {R"({"path":""})", ""},
      {R"({"path":"/x/a.json"})", "/x/a.json"},
      {R"({"path":null})", home_path},
      {R"({"logged_in":true})", home_path},
  };
  for (const auto& [output, expect] : cases) {
    SCOPED_TRACE(output);
    fake_cli(output);
    EXPECT_EQ(std::string(collect().credentials_path.c_str()), expect);
  }
}

struct expiry_case {
  const char* output;
  std::int64_t expires_at;
  std::int32_t in;
  int expired;
};

TEST_F(CollectStatus, ExpiryIsComputedFromTheClock) {
  const expiry_case cases[] = {
      {R"({"has_refresh":true,"expires_at":1700003600})", 1700003600, 3600, 0},
      {R"({"has_refresh":true,"expires_at":1700003600123})", 1700003600, 3600, 0},
      {R"({"has_refresh":true,"expires_at":99999999999})", 99999999999, INT32_MAX, 0},
      {R"({"has_refresh":true,"expires_at":100000000000})", 100000000, -1600000000, 1},
      {R"({"has_refresh":true,"expires_at":1700000000})", 1700000000, 0, 1},
      {R"({"has_refresh":true,"expires_at":1699999880})", 1699999880, -120, 1},
      {R"({"has_refresh":true,"expires_at":0})", 0, 0, 0},
      {R"({"has_refresh":true,"expires_at":-5})", 0, 0, 0},
      {R"({"has_refresh":true,"expires_at":9223372036854775807})", 9223372036854775, INT32_MAX, 0},
      {R"({"logged_in":false,"expires_at":1600000000})", 1600000000, 0, 0},
  };
  for (const expiry_case& c : cases) {
    SCOPED_TRACE(c.output);
    fake_cli(c.output);
    login_status status = collect();
    EXPECT_EQ(status.expires_at, c.expires_at);
    EXPECT_EQ(status.expires_in_sec, c.in);
    EXPECT_EQ(status.expired, c.expired);
  }
}

TEST_F(CollectStatus, LifetimeIsClampedWhateverTheClock) {
  fake_cli(R"({"has_refresh":true,"expires_at":1700000000})");
  login_status status;
  collect_status_at(status, INT64_MIN);
  EXPECT_EQ(status.expires_in_sec, INT32_MAX);
  collect_status_at(status, INT64_MAX);
  EXPECT_EQ(status.expires_in_sec, INT32_MIN);
  EXPECT_EQ(status.expired, 1);
}

}  // namespace
