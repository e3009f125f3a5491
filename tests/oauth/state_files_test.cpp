// The tools' own state files: the pending marker's lapse and the choice of account, which must
// agree with the console's.
#include <gtest/gtest.h>

#include "../support/scoped_env.h"
#include "../support/temp_dir.h"
#include "oauth/accounts_store.h"
#include "oauth/pending_marker.h"
#include "state/locations.h"

namespace {

std::string content_of(const std::string& path) {
  heap_text text = read_file(path.c_str());
  return text ? text.get() : "<absent>";
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
      {"member repeated in another object",
       R"([{"email":"a","email":"b","refresh_token":"t"},{"email":"b","refresh_token":"r"}])", "b",
       none, oauth_failure::accounts_foreign, 0},
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
