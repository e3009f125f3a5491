#include "state/locations.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "../support/scoped_env.h"
#include "../support/temp_dir.h"

namespace {

// Stands in for the platform's lookup, so that "no home directory" can be arranged.
const char* test_home = nullptr;
int test_home_lookup(home_text& out) {
  out.assign(test_home != nullptr ? test_home : "");
  return test_home != nullptr ? 1 : 0;
}

struct location_case {
  const char* name;
  const char* home;  // nullptr: no home directory at all
  std::string creds_var, env_dir_var, pending_var;
  std::string creds, selected, env_dir, env_file, pending;
};

std::string path_of(int (*resolve)(path_1024&)) {
  path_1024 out;
  resolve(out);
  return out.c_str();
}

const std::string dir_1003 = "/" + std::string(1001, 'd') + "/";
const std::string dir_1004 = "/" + std::string(1002, 'd') + "/";
const std::string dir_1007 = "/" + std::string(1005, 'd') + "/";
const std::string dir_1008 = "/" + std::string(1006, 'd') + "/";

const std::string home_creds = "/home/op/.config/google-accounts/lumenhollow_accounts.json";
const std::string home_selected = "/home/op/.config/google-accounts/selected_account.txt";
const std::string home_env = "/home/op/.veltrane/veltrane-env";
const std::string home_pending = "/home/op/.veltrane/.login-pending/lumenhollow-default.json";

TEST(Locations, RulesInOrder) {
  const location_case cases[] = {
      {"home only", "/home/op", "", "", "", home_creds, home_selected, home_env,
       home_env + "/lumenhollow.txt", home_pending},
      {"no home", nullptr, "", "", "", "lumenhollow_accounts.json", "selected_account.txt", ".",
       "./lumenhollow.txt", "lumenhollow-default.json"},
      {"home ending in slash", "/h/", "", "", "",
       "/h//.config/google-accounts/lumenhollow_accounts.json",
       "/h//.config/google-accounts/selected_account.txt", "/h//.veltrane/veltrane-env",
       "/h//.veltrane/veltrane-env/lumenhollow.txt",
       "/h//.veltrane/.login-pending/lumenhollow-default.json"},
      {"creds with slashes", "/home/op", "/srv/acc/a.json", "", "", "/srv/acc/a.json",
       "/srv/acc/selected_account.txt", "/srv/acc/veltrane-env",
       "/srv/acc/veltrane-env/lumenhollow.txt", home_pending},
      {"bare creds, home", "/home/op", "a.json", "", "", "a.json", "selected_account.txt", home_env,
       home_env + "/lumenhollow.txt", home_pending},
      {"bare creds, no home", nullptr, "a.json", "", "", "a.json", "selected_account.txt", ".",
       "./lumenhollow.txt", "lumenhollow-default.json"},
      {"backslash is no separator", "/home/op", "C:\\acc\\a.json", "", "", "C:\\acc\\a.json",
       "selected_account.txt", home_env, home_env + "/lumenhollow.txt", home_pending},
      {"env dir wins over creds", "/home/op", "/srv/a.json", "/e/", "/p/x.json", "/srv/a.json",
       "/srv/selected_account.txt", "/e/", "/e//lumenhollow.txt", "/p/x.json"},
      {"dir part of 1003", nullptr, dir_1003 + "a", "", "", dir_1003 + "a",
       dir_1003 + "selected_account.txt", dir_1003 + "veltrane-env",
       dir_1003 + "veltrane-env/lumenhollow.txt", "lumenhollow-default.json"},
      {"dir part of 1004", nullptr, dir_1004 + "a", "", "", dir_1004 + "a", "selected_account.txt",
       dir_1004 + "veltrane-env", dir_1004 + "veltrane-env/lumenhollow.txt",
       "lumenhollow-default.json"},
      {"dir part of 1007", nullptr, dir_1007 + "a", "", "", dir_1007 + "a", "selected_account.txt",
       dir_1007 + "veltrane-env", dir_1007 + "veltrane-env/lumenhollow.txt",
       "lumenhollow-default.json"},
      {"dir part of 1008", "/home/op", dir_1008 + "a", "", "", dir_1008 + "a",
       "selected_account.txt", home_env, home_env + "/lumenhollow.txt", home_pending},
  };
  // A variable set to the empty string must behave exactly like one that is not set.
  for (bool unset : {true, false}) {
    auto var = [&](const std::string& v) { return v.empty() && unset ? nullptr : v.c_str(); };
    for (const location_case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (unset ? "" : ", empty variables"));
      scoped_env creds("LUMENHOLLOW_CREDS_PATH", var(c.creds_var));
      scoped_env env_dir("LUMENHOLLOW_ENV_DIR", var(c.env_dir_var));
      scoped_env pending("LUMENHOLLOW_PENDING_PATH", var(c.pending_var));
      test_home = c.home;
      home_dir_set_lookup_for_testing(test_home_lookup);

      EXPECT_EQ(path_of(creds_path), c.creds);
      EXPECT_EQ(path_of(selected_account_path), c.selected);
      EXPECT_EQ(path_of(env_dir_path), c.env_dir);
      env_file_text env_file;
      env_file_path(env_file);
      EXPECT_EQ(std::string(env_file.c_str()), c.env_file);
      EXPECT_EQ(path_of(pending_path), c.pending);
      home_dir_set_lookup_for_testing(nullptr);
    }
  }
}

class ReadFile : public testing::Test {
 protected:
  std::string write(const char* name, std::size_t size) {
    return files.write(name, std::string(size, 'x'));
  }
  temp_dir files{"state_read_file"};
  const std::string& dir = files.path();
};

TEST_F(ReadFile, LimitIsEightMebibytesInclusive) {
  heap_text whole = read_file(write("limit", state_file_limit_bytes).c_str());
  ASSERT_TRUE(whole);
  EXPECT_EQ(std::strlen(whole.get()), state_file_limit_bytes);
  EXPECT_FALSE(read_file(write("over", state_file_limit_bytes + 1).c_str()));
}

TEST_F(ReadFile, EmptyFileIsEmptyTextButNonFilesAreNone) {
  heap_text empty = read_file(write("empty", 0).c_str());
  ASSERT_TRUE(empty);
  EXPECT_STREQ(empty.get(), "");

  EXPECT_FALSE(read_file(dir.c_str()));
  EXPECT_FALSE(read_file((dir + "/missing").c_str()));
  std::string link = dir + "/dangling";
  ASSERT_EQ(symlink((dir + "/missing").c_str(), link.c_str()), 0);
  EXPECT_FALSE(read_file(link.c_str()));
}

}  // namespace
