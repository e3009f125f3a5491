// The status document, built from the state files and the login CLI's "--status" answer.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "harness.h"

namespace {

using expected::nothing;
using expected::signed_in;

std::string member_text(const std::string& out, const std::string& name) {
  std::string key = "\"" + name + "\":\"";
  std::size_t at = out.find(key);
  if (at == std::string::npos) return "<absent>";
  at += key.size();
  return out.substr(at, out.find('"', at) - at);
}

TEST(Status, NothingOnTheNode) {
  sandbox sb;
  sb.missing_login_cli();
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(nothing(sb)));
}

TEST(Status, AccountsFileChoosesSelectedAccountElseFirstWithEmail) {
  const std::string two = R"([{"email":"alpha"},{"email":"beta","refresh_token":"r"}])";
  struct row {
    const char* name;
    std::string accounts;
    std::optional<std::string> selected;
    std::string email;  // as written in the document
    bool refresh;
  };
  const row rows[] = {
      {"no selection: first with email", two, std::nullopt, "alpha", false},
      {"selected with line feed", two, "beta\n", "beta", true},
      {"selected with trailing white space", two, "beta \t\r\n", "beta", true},
      {"selection is case-sensitive", two, "Beta", "alpha", false},
      {"leading white space stays", two, " beta", "alpha", false},
      {"whole text is one name", two, "beta\nalpha", "alpha", false},
      {"selection matching nothing", two, "gamma", "alpha", false},
      {"empty selection file", two, "", "alpha", false},
      {"no email is never the fallback",
       R"([{"email":"","refresh_token":"r"},{"refresh_token":"r"},{"email":"delta"}])",
       std::nullopt, "delta", false},
      {"first occurrence of the selected address",
       R"([{"email":"s"},{"email":"s","refresh_token":"t"}])", "s", "s", false},
      {"selected account after the fallback",
       R"([{"email":"f","refresh_token":"t"},{"email":"s"}])", "s", "s", false},
      {"empty refresh token counts", R"([{"email":"e","refresh_token":""}])", std::nullopt, "e",
       true},
      {"null refresh token does not", R"([{"email":"e","refresh_token":null}])", std::nullopt, "e",
       false},
      {"refresh token in a nested object does not",
       R"([{"email":"e","extra":{"refresh_token":"r"}}])", std::nullopt, "e", false},
      {"accounts inside a member are not seen",
       R"({"accounts":[{"email":"a","refresh_token":"r"}]})", std::nullopt, "", false},
      {"nested object belongs to the outer one",
       R"({"email":"top","list":[{"email":"inner"}],"refresh_token":"r"})", "inner", "top", true},
      {"braces inside strings", R"([{"email":"a}b{","refresh_token":"t"}])", std::nullopt, "a}b{",
       true},
      {"escaped quote inside a string", R"([{"note":"x\"}{","email":"q","refresh_token":"t"}])",
       std::nullopt, "q", true},
      {"missing closing brace", R"({"email":"z","refresh_token":"t")", std::nullopt, "z", true},
      {"objects among other text", R"(junk {"email":"m"} more {"email":"n","refresh_token":"t"})",
       "n", "n", true},
      {"empty file", "", std::nullopt, "", false},
      {"number as email", R"([{"email":42,"refresh_token":"t"}])", std::nullopt, "42", true},
      {"escapes in the address", R"([{"email":"a\"b\\c\u0001\u00e9/","refresh_token":"t"}])",
       std::nullopt, "a\\\"b\\\\c\\u0001\xE9/", true},
      {"address cut at 255 bytes", "[{\"email\":\"" + std::string(300, 'm') + "\"}]", std::nullopt,
       std::string(255, 'm'), false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    sb.write_accounts(r.accounts);
    if (r.selected) sb.write_selected_account(*r.selected);
    expected::status s = nothing(sb);
    s.email = s.account = r.email;
    s.has_refresh = s.logged_in = r.refresh;
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
  }
}

TEST(Status, EnvironmentFileGivesProjectAndAccount) {
  const std::string x493(493, 'x');
  struct row {
    const char* name;
    std::string content;
    std::string project_id;  // as written in the document
    std::string account;
  };
  const row rows[] = {
      {"CR LF lines, empty value skipped",
       "GOOGLE_PROJECT_ID=\r\nGOOGLE_PROJECT_ID=p-1\r\nGOOGLE_ACCOUNT=ops\r\n", "p-1", "ops"},
      {"empty file", "", "", ""},
      {"quotes stay", "GOOGLE_PROJECT_ID=\"q\"\n", "\\\"q\\\"", ""},
      {"leading space in the value stays", "GOOGLE_PROJECT_ID= p\n", " p", ""},
      {"key must start the line", " GOOGLE_PROJECT_ID=p\n\tGOOGLE_ACCOUNT=a\n", "", ""},
      {"key is case-sensitive", "google_project_id=p\nGoogle_Account=a\n", "", ""},
      {"first non-empty value wins", "GOOGLE_PROJECT_ID=a\nGOOGLE_PROJECT_ID=b\n", "a", ""},
      {"trailing white space removed", "GOOGLE_PROJECT_ID=p \t\r\nGOOGLE_ACCOUNT=o  \n", "p", "o"},
      {"inner carriage return becomes a space", "GOOGLE_PROJECT_ID=a\rb\n", "a b", ""},
      {"last line without line feed", "GOOGLE_ACCOUNT=acc", "", "acc"},
      {"comments and other keys", "# GOOGLE_PROJECT_ID=x\nOTHER=1\n\nGOOGLE_PROJECT_ID=y\n", "y",
       ""},
      {"equals sign in the value", "GOOGLE_PROJECT_ID=a=b\n", "a=b", ""},
      {"backslash in the value", "GOOGLE_PROJECT_ID=a\\b\n", "a\\\\b", ""},
      {"511-byte line is read, value cut at 255", "GOOGLE_PROJECT_ID=" + x493 + "\n",
       std::string(255, 'x'), ""},
      {"512-byte line is skipped whole", "GOOGLE_PROJECT_ID=" + x493 + "x\nGOOGLE_PROJECT_ID=p2\n",
       "p2", ""},
      {"carriage return counts toward the 512 bytes",
       "GOOGLE_PROJECT_ID=" + x493 + "\r\nGOOGLE_PROJECT_ID=p3\r\n", "p3", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    sb.write_env_file(r.content);
    expected::status s = nothing(sb);
    s.project_id = r.project_id;
    s.account = s.email = r.account;  // without an accounts file the names fill each other
    s.profile = "lumenhollow";
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
  }
}

TEST(Status, AccountsAddressAndEnvironmentAccountAreKeptApart) {
  sandbox sb;
  sb.missing_login_cli();
  sb.write_accounts(R"([{"email":"alpha@example.com","refresh_token":"r"}])");
  sb.write_env_file("GOOGLE_ACCOUNT=ops\n");
  expected::status s = signed_in(sb, "alpha@example.com");
  s.account = "ops";
  s.profile = "lumenhollow";
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, PendingMarkerIsAnyNonDirectory) {
  for (const bool directory : {false, true}) {
    SCOPED_TRACE(directory ? "directory" : "empty file");
    sandbox sb;
    sb.missing_login_cli();
    if (directory) {
      sb.make_dir(sb.pending_marker_path());
    } else {
      sb.write_pending_marker();
    }
    expected::status s = nothing(sb);
    s.pending = !directory;
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
  }
}

TEST(Status, LoginCliAnswerRaisesFlagsAndFillsNames) {
  struct row {
    const char* name;
    std::string cli_output;
    std::function<void(sandbox&)> files;
    std::function<void(expected::status&)> want;  // applied to the fresh record
  };
  const auto none = [](sandbox&) {};
  const auto signed_in_alpha = [](sandbox& sb) {
    sb.write_accounts(R"([{"email":"alpha","refresh_token":"r"}])");
  };
  const row rows[] = {
      {"no output", "", none, [](expected::status&) {}},
      {"plain text only", "status: fine\nlogged_in true\n", none, [](expected::status&) {}},
      {"brace after a space does not start a line", "  {\"has_refresh\":true}\n", none,
       [](expected::status&) {}},
      {"empty object", "{}", none, [](expected::status& s) { s.cli_present = true; }},
      {"has_refresh alone signs in", "{\"has_refresh\":true}\n", none,
       [](expected::status& s) { s.cli_present = s.logged_in = s.has_refresh = true; }},
      {"logged_in alone", "{\"logged_in\":true}\n", none,
       [](expected::status& s) { s.cli_present = s.logged_in = true; }},
      {"pending", "{\"pending\":true}\n", none,
       [](expected::status& s) { s.cli_present = s.pending = true; }},
      {"flags spelled as 1 and quoted true", "{\"logged_in\":1,\"pending\":\"true\"}\n", none,
       [](expected::status& s) { s.cli_present = s.logged_in = s.pending = true; }},
      {"other spellings are false", "{\"logged_in\":\"yes\",\"has_refresh\":2,\"pending\":null}\n",
       none, [](expected::status& s) { s.cli_present = true; }},
      {"nested flags are not read", "{\"session\":{\"logged_in\":true,\"pending\":true}}\n", none,
       [](expected::status& s) { s.cli_present = true; }},
      {"false never clears the files' flags",
       "{\"logged_in\":false,\"has_refresh\":false,\"pending\":false}\n",
       [](sandbox& sb) {
         sb.write_accounts(R"([{"email":"alpha","refresh_token":"r"}])");
         sb.write_pending_marker("{}");
       },
       [](expected::status& s) {
         s.cli_present = s.logged_in = s.has_refresh = s.pending = true;
         s.email = s.account = "alpha";
       }},
      {"identity fills both names", "{\"identity\":\"id@example.com\"}\n", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.email = s.account = "id@example.com";
       }},
      {"identity does not replace the environment account", "{\"identity\":\"id@example.com\"}\n",
       [](sandbox& sb) { sb.write_env_file("GOOGLE_ACCOUNT=ops\n"); },
       [](expected::status& s) {
         s.cli_present = true;
         s.email = s.account = "ops";
         s.profile = "lumenhollow";
       }},
      {"identity does not replace the accounts address", "{\"identity\":\"id@example.com\"}\n",
       signed_in_alpha,
       [](expected::status& s) {
         s.cli_present = s.logged_in = s.has_refresh = true;
         s.email = s.account = "alpha";
       }},
      {"identity escaped", "{\"identity\":\"q\\\"\\t\"}", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.email = s.account = "q\\\"\\t";
       }},
      {"path replaces the credentials path", "{\"path\":\"/srv/creds.json\"}\n", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.credentials_path = "/srv/creds.json";
       }},
      {"empty path empties it", "{\"path\":\"\"}\n", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.credentials_path = "";
       }},
      {"null path keeps it", "{\"path\":null}\n", none,
       [](expected::status& s) { s.cli_present = true; }},
      {"last JSON line decides",
       "{\"identity\":\"old\",\"pending\":true}\nworking\n{\"identity\":\"new\"}\nbye\n", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.email = s.account = "new";
       }},
      // The indented object belongs to the line before; its members still count once the
      // first object has closed, but the first "identity" wins.
      {"indented object is read with the line before",
       "{\"identity\":\"a\"}\n  {\"identity\":\"b\",\"pending\":true}\n", none,
       [](expected::status& s) {
         s.cli_present = s.pending = true;
         s.email = s.account = "a";
       }},
      {"brace after CR LF starts a line", "noise\r\n{\"pending\":true}\r\n", none,
       [](expected::status& s) { s.cli_present = s.pending = true; }},
      {"far-future expiry, clamped remaining time",
       "{\"logged_in\":true,\"expires_at\":99999999999}\n", none,
       [](expected::status& s) {
         s.cli_present = s.logged_in = true;
         s.expires_at = 99999999999;
         s.expires_in_sec = 2147483647;
       }},
      {"milliseconds are divided", "{\"logged_in\":true,\"expires_at\":99999999999999}\n", none,
       [](expected::status& s) {
         s.cli_present = s.logged_in = true;
         s.expires_at = 99999999999;
         s.expires_in_sec = 2147483647;
       }},
      {"quoted expiry", "{\"logged_in\":true,\"expires_at\":\"99999999999.9\"}\n", none,
       [](expected::status& s) {
         s.cli_present = s.logged_in = true;
         s.expires_at = 99999999999;
         s.expires_in_sec = 2147483647;
       }},
      {"negative expiry ignored", "{\"logged_in\":true,\"expires_at\":-5}\n", none,
       [](expected::status& s) { s.cli_present = s.logged_in = true; }},
      {"zero expiry ignored", "{\"logged_in\":true,\"expires_at\":0}\n", none,
       [](expected::status& s) { s.cli_present = s.logged_in = true; }},
      {"past expiry while signed out keeps only expires_at", "{\"expires_at\":1000000000}\n", none,
       [](expected::status& s) {
         s.cli_present = true;
         s.expires_at = 1000000000;
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--status", r.cli_output, 3).otherwise("{\"logged_in\":true}");
    r.files(sb);
    expected::status s = nothing(sb);
    r.want(s);
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
    EXPECT_EQ(sb.login_cli().calls(), (calls{{"--status"}}));
  }
}

TEST(Status, RemainingTimeFollowsTheClock) {
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  struct row {
    const char* name;
    std::int64_t tool_value;  // expires_at as the tool prints it
    std::int64_t expires_at;  // as stored
    bool expired;
  };
  const row rows[] = {
      {"an hour ahead", now + 3600, now + 3600, false},
      {"an hour ahead in milliseconds", (now + 3600) * 1000 + 999, now + 3600, false},
      {"two minutes ago", now - 120, now - 120, true},
      {"long ago", 1000000000, 1000000000, true},
      {"smallest millisecond value", 100000000000, 100000000, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.login_cli().on("--status",
                      "{\"has_refresh\":true,\"expires_at\":" + std::to_string(r.tool_value) + "}");
    reply got = sb.request("action=status");
    expected::status s = nothing(sb);
    s.cli_present = s.logged_in = s.has_refresh = true;
    s.expires_at = r.expires_at;
    s.expires_in_sec = r.expires_at - got.started_at;
    s.expired = r.expired;
    EXPECT_EQ(settle_expires_in(got, r.expires_at), expected::status_reply(s));
  }
}

TEST(Status, ExpiryAtTheCurrentSecondHasExpired) {
  sandbox sb;
  const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
  sb.login_cli().on("--status", "{\"logged_in\":true,\"expires_at\":" + std::to_string(now) + "}");
  reply got = sb.request("action=status");
  expected::status s = nothing(sb);
  s.cli_present = s.logged_in = s.expired = true;
  s.expires_at = now;
  s.expires_in_sec = now - got.started_at;
  EXPECT_EQ(settle_expires_in(got, now), expected::status_reply(s));
}

TEST(Status, LoginCliFoundByDefaultNameOnThePath) {
  for (const char* variable : {"unset", "empty"}) {
    SCOPED_TRACE(variable);
    sandbox sb;
    fake_tool& cli = sb.tool_named("veltrane-lumenhollow-login");
    cli.on("--status", "{\"identity\":\"path@example.com\"}");
    sb.set_env("PATH", sb.root() + "/bin:/usr/bin:/bin");
    if (std::string(variable) == "empty") sb.set_env("LUMENHOLLOW_LOGIN_BIN", "");
    expected::status s = nothing(sb);
    s.cli_present = true;
    s.email = s.account = "path@example.com";
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
    EXPECT_EQ(cli.calls().size(), 1u);
  }
}

TEST(Status, LocationsFollowTheirVariables) {
  sandbox sb;
  sb.missing_login_cli();
  // Files at the home locations must be ignored once the variables move them.
  sb.write_accounts(R"([{"email":"home","refresh_token":"r"}])");
  sb.write_env_file("GOOGLE_PROJECT_ID=home-project\n");
  const std::string creds =
      sb.write_file("custom/acc.json", R"([{"email":"a"},{"email":"chosen","refresh_token":"r"}])");
  sb.write_file("custom/selected_account.txt", "chosen\n");
  sb.write_file("custom/veltrane-env/lumenhollow.txt", "GOOGLE_PROJECT_ID=beside-creds\n");
  sb.write_file("marker", "");
  sb.set_env("LUMENHOLLOW_CREDS_PATH", creds);
  sb.set_env("LUMENHOLLOW_PENDING_PATH", sb.root() + "/marker");
  expected::status s = signed_in(sb, "chosen");
  s.credentials_path = creds;
  s.project_id = "beside-creds";
  s.profile = "lumenhollow";
  s.pending = true;
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));

  // An explicit environment directory wins over the one beside the accounts file; a final slash
  // only doubles the separator.
  sb.write_file("envdir/lumenhollow.txt", "GOOGLE_PROJECT_ID=env-dir\n");
  sb.set_env("LUMENHOLLOW_ENV_DIR", sb.root() + "/envdir/");
  s.project_id = "env-dir";
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, EmptyLocationVariablesCountAsUnset) {
  sandbox sb;
  sb.missing_login_cli();
  sb.write_accounts(R"([{"email":"home","refresh_token":"r"}])");
  sb.write_env_file("GOOGLE_PROJECT_ID=home-project\n");
  sb.write_pending_marker();
  sb.set_env("LUMENHOLLOW_CREDS_PATH", "");
  sb.set_env("LUMENHOLLOW_ENV_DIR", "");
  sb.set_env("LUMENHOLLOW_PENDING_PATH", "");
  expected::status s = signed_in(sb, "home");
  s.project_id = "home-project";
  s.profile = "lumenhollow";
  s.pending = true;
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, BareAccountsFileNameResolvesInTheWorkingDirectory) {
  sandbox sb;  // the harness runs the program inside root()
  sb.missing_login_cli();
  sb.write_file("acc.json", R"([{"email":"a"},{"email":"cwd","refresh_token":"r"}])");
  sb.write_file("selected_account.txt", "cwd");
  sb.write_env_file("GOOGLE_PROJECT_ID=from-home\n");  // the environment directory stays in home
  sb.set_env("LUMENHOLLOW_CREDS_PATH", "acc.json");
  expected::status s = signed_in(sb, "cwd");
  s.credentials_path = "acc.json";
  s.project_id = "from-home";
  s.profile = "lumenhollow";
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, FilesBesideALongAccountsPathFallBackPastTheirLimits) {
  struct row {
    std::size_t dir_length;  // of the accounts file's directory, final slash included
    const char* email;       // the selected account read beside it, or in the working directory
    const char* project_id;  // the environment file beside it, or in home
  };
  const row rows[] = {
      {1003, "beside", "beside"},
      {1004, "cwd", "beside"},
      {1007, "cwd", "beside"},
      {1008, "cwd", "home"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE("directory of " + std::to_string(r.dir_length) + " bytes");
    sandbox sb;
    sb.missing_login_cli();
    const std::string dir = sb.make_dir_of_length(r.dir_length);
    ASSERT_EQ(dir.size(), r.dir_length);
    const std::string creds = sb.write_file(
        dir + "acc.json",
        R"([{"email":"first"},{"email":"beside","refresh_token":"r"},{"email":"cwd","refresh_token":"r"}])");
    sb.write_file(dir + "selected_account.txt", "beside");
    sb.write_file("selected_account.txt", "cwd");
    sb.write_file(dir + "veltrane-env/lumenhollow.txt", "GOOGLE_PROJECT_ID=beside\n");
    sb.write_env_file("GOOGLE_PROJECT_ID=home\n");
    sb.set_env("LUMENHOLLOW_CREDS_PATH", creds);
    expected::status s = signed_in(sb, r.email);
    s.credentials_path = creds;
    s.project_id = r.project_id;
    s.profile = "lumenhollow";
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
  }
}

TEST(Status, StateFilesUpTo8MiBAreRead) {
  const std::size_t limit = 8 * 1024 * 1024;
  const std::string line = "GOOGLE_PROJECT_ID=big\n";
  for (std::size_t size : {limit, limit + 1}) {
    SCOPED_TRACE(std::to_string(size) + " bytes");
    sandbox sb;
    sb.missing_login_cli();
    sb.write_env_file(line + std::string(size - line.size(), '\n'));
    expected::status s = nothing(sb);
    if (size <= limit) {
      s.project_id = "big";
      s.profile = "lumenhollow";
    }
    EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
  }
}

TEST(Status, HomeEndingInASlashGetsAnotherOne) {
  sandbox sb;
  sb.missing_login_cli();
  sb.write_accounts(R"([{"email":"slash","refresh_token":"r"}])");
  sb.set_env("HOME", sb.home() + "/");
  expected::status s = signed_in(sb, "slash");
  s.credentials_path = sb.home() + "//.config/google-accounts/lumenhollow_accounts.json";
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, CredentialsPathIsCutAt1023Bytes) {
  sandbox sb;
  sb.missing_login_cli();
  const std::string long_path = "/" + std::string(1100, 'c');
  sb.set_env("LUMENHOLLOW_CREDS_PATH", long_path);
  expected::status s = nothing(sb);
  s.credentials_path = long_path.substr(0, 1023);
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(s));
}

TEST(Status, HomeOfUpTo511BytesElseThePasswordDatabase) {
  const passwd* entry = ::getpwuid(::geteuid());
  ASSERT_NE(entry, nullptr);
  const std::string db_home = entry->pw_dir;
  const std::string suffix = "/.config/google-accounts/lumenhollow_accounts.json";
  const std::string home511 = "/" + std::string(510, 'h');
  struct row {
    const char* name;
    std::optional<std::string> home;
    std::string base;
  };
  const row rows[] = {
      {"511 bytes", home511, home511},
      {"512 bytes", home511 + "h", db_home},
      {"empty", "", db_home},
      {"unset", std::nullopt, db_home},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    sb.missing_login_cli();
    if (r.home)
      sb.set_env("HOME", *r.home);
    else
      sb.unset_env("HOME");
    reply got = sb.request("action=status");
    EXPECT_EQ(member_text(got.out, "credentials_path"), r.base + suffix);
    EXPECT_EQ(got.exit_code, 0);
  }
}

TEST(Status, FormatKeyAndEmptyActionGiveTheSameDocument) {
  for (const char* query : {"format=json", "action=", "action", "action=status&format=html"}) {
    SCOPED_TRACE(query);
    sandbox sb;
    sb.login_cli().on("--status", "{\"has_refresh\":true,\"identity\":\"o@example.com\"}");
    sb.write_env_file("GOOGLE_PROJECT_ID=p-9\n");
    expected::status s = signed_in(sb, "o@example.com");
    s.cli_present = true;
    s.project_id = "p-9";
    s.profile = "lumenhollow";
    EXPECT_EQ(sb.request(query), expected::status_reply(s));
  }
}

}  // namespace
