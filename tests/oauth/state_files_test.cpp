// The tools' own state files: private atomic writes, the lock, the pending marker's lapse and the
// choice of account, which must agree with the console's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "../support/scoped_env.h"
#include "../support/temp_dir.h"
#include "oauth/accounts_store.h"
#include "oauth/pending_marker.h"
#include "oauth/private_file.h"
#include "state/locations.h"

namespace {

unsigned mode_of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

std::string content_of(const std::string& path) {
  heap_text text = read_file(path.c_str());
  return text ? text.get() : "<absent>";
}

TEST(PrivateFile, CreatesPrivateDirectoriesAndReplacesWhole) {
  temp_dir dir("oauth-private");
  std::string path = dir.path() + "/a/b/state.json";
  ASSERT_EQ(private_file_write(path, "first\n"), 1);
  ASSERT_EQ(private_file_write(path, "second\n"), 1);
  EXPECT_EQ(content_of(path), "second\n");
  EXPECT_EQ(mode_of(path), 0600u);
  EXPECT_EQ(mode_of(dir.path() + "/a"), 0700u);
  EXPECT_EQ(mode_of(dir.path() + "/a/b"), 0700u);
  // Nothing but the file itself is left in its directory.
  auto entries = std::distance(std::filesystem::directory_iterator(dir.path() + "/a/b"), {});
  EXPECT_EQ(entries, 1);
}

TEST(PrivateFile, AFailedWriteLeavesNothingBehind) {
  temp_dir dir("oauth-private");
  std::string blocker = dir.write("file", "x");
  EXPECT_EQ(private_file_write(blocker + "/state.json", "new"), 0);
  // A directory standing where the file should be: the rename fails, the temporary file goes.
  std::filesystem::create_directories(dir.path() + "/d/state.json");
  EXPECT_EQ(private_file_write(dir.path() + "/d/state.json", "new"), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() + "/d"), {}), 1);
}

TEST(LockedFile, ASecondHolderWaitsBoundedlyThenGetsIt) {
  temp_dir dir("oauth-lock");
  std::string path = dir.path() + "/x.lock";
  auto first = std::make_unique<locked_file>();
  ASSERT_EQ(locked_file_acquire(*first, path, 0), 1);
  locked_file second;
  auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(locked_file_acquire(second, path, 200), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(200));
  first.reset();
  locked_file third;
  EXPECT_EQ(locked_file_acquire(third, path, 0), 1);
}

TEST(PendingMarker, LiveUntilItsExpiryAndNoneWhenUnusable) {
  temp_dir dir("oauth-pending");
  scoped_env where("LUMENHOLLOW_PENDING_PATH", dir.path() + "/p/marker.json");
  pending_login written{"st", "verifier", "http://localhost", 1000};
  ASSERT_EQ(pending_marker_write(written), 1);
  pending_login read;
  EXPECT_EQ(pending_marker_read(read, 999), pending_found::live);
  EXPECT_EQ(read.code_verifier, "verifier");
  EXPECT_EQ(pending_marker_read(read, 1000), pending_found::expired);
  dir.write("p/marker.json", R"({"state":"st","code_verifier":7,"expires_at":5000})");
  EXPECT_EQ(pending_marker_read(read, 1), pending_found::none);
  dir.write("p/marker.json", "");
  EXPECT_EQ(pending_marker_read(read, 1), pending_found::none);
  ASSERT_EQ(pending_marker_remove(), 1);
  EXPECT_EQ(pending_marker_read(read, 1), pending_found::none);
}

// The console's rules themselves, and the cases the tool tests cannot reach: the tool tests walk
// the accounts files through both sides.
TEST(AccountBook, ActsOnlyOnTheAccountTheConsoleShows) {
  struct choice_case {
    const char* name;
    std::string accounts;
    const char* selected;
    oauth_failure read;
    oauth_failure in_use;
    std::size_t index;
  };
  const oauth_failure none = oauth_failure::none;
  const std::string deep =
      std::string(20, '[') + R"({"email":"a","refresh_token":"r"})" + std::string(20, ']');
  const choice_case cases[] = {
      {"selected present", R"([{"email":"a"},{"email":"b","refresh_token":"r"}])", "b", none, none,
       1},
      {"selected absent", R"([{"email":"a","refresh_token":"r"},{"email":"b"}])", "c", none, none,
       0},
      {"case matters", R"([{"email":"a","refresh_token":"r"},{"email":"B"}])", "b", none, none, 0},
      {"first with an e-mail",
       R"([{"refresh_token":"r"},{"email":""},{"email":"c","refresh_token":"r"}])", "", none, none,
       2},
      {"no account", "[]", "a", none, oauth_failure::no_account, 0},
      {"empty file", "", "a", none, oauth_failure::no_account, 0},
      {"duplicate e-mail member", R"([{"email":"a","email":"b","refresh_token":"r"}])", "", none,
       oauth_failure::accounts_foreign, 0},
      {"too deep", deep, "", oauth_failure::accounts_too_deep, oauth_failure::accounts_foreign, 0},
  };
  for (const choice_case& c : cases) {
    SCOPED_TRACE(c.name);
    account_book book;
    book.selected.assign(c.selected);
    EXPECT_EQ(account_book_parse(c.accounts, book), c.read);
    std::size_t index = 99;
    std::string detail;
    EXPECT_EQ(account_book_in_use(book, index, detail), c.in_use);
    if (c.in_use == none) {
      EXPECT_EQ(index, c.index);
    }
  }
}

TEST(AccountBook, KeepsOtherAccountsAndRefusesAForeignFile) {
  temp_dir dir("oauth-book");
  scoped_env creds("LUMENHOLLOW_CREDS_PATH",
                   dir.write("accounts.json", R"([{"email":"a","x":1},{"email":"b"}])"));
  account_book book;
  ASSERT_EQ(account_book_read(book), oauth_failure::none);
  account_book_put(book, {{"email", "b"}, {"refresh_token", "r"}});
  account_book_put(book, {{"email", "c"}});
  ASSERT_EQ(account_book_write(book), 1);
  EXPECT_EQ(content_of(dir.path() + "/accounts.json"),
            R"([{"email":"a","x":1},{"email":"b","refresh_token":"r"},{"email":"c"}])"
            "\n");

  dir.write("accounts.json", R"({"accounts":[]})");
  EXPECT_EQ(account_book_read(book), oauth_failure::accounts_broken);
  dir.write("accounts.json", "[" + std::string(state_file_limit_bytes, ' ') + "]");
  EXPECT_EQ(account_book_read(book), oauth_failure::accounts_broken);
}

}  // namespace
