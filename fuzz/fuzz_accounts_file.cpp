// The accounts file through both sides: the console's choice (account_choose) and the tools'
// reading (account_book_parse, account_book_in_use). Input: the selected account, a NUL, then the
// file's text. Properties: the tools act on an account only when the console shows it signed in,
// and then on exactly the object the console chose; a refused file is never acted on; and writing
// the book back, as a refresh does, leaves the console showing the same account.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "oauth/accounts_store.h"
#include "oauth/json_fields.h"
#include "state/account_choice.h"

namespace {

bool same_choice(const account_choice& a, const account_choice& b) {
  return a.chosen == b.chosen && a.email.view() == b.email.view() &&
         a.has_refresh == b.has_refresh && a.ordinal == b.ordinal && a.begin == b.begin &&
         a.end == b.end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> fields = fuzz_fields(data, size, 2);
  account_book book;
  book.selected.assign(fields[0]);
  const std::string& text = fields[1];
  oauth_failure read = account_book_parse(text, book);
  FUZZ_CHECK(read == oauth_failure::none || read == oauth_failure::accounts_broken ||
             read == oauth_failure::accounts_too_deep);

  const std::string content(text.c_str());  // the console's read ends at the first NUL too
  account_choice shown = account_choose(content.c_str(), book.selected.view());
  FUZZ_CHECK(same_choice(shown, book.choice));

  std::size_t index = 0;
  std::string detail;
  oauth_failure in_use = account_book_in_use(book, index, detail);
  if (!shown.chosen || !shown.has_refresh) FUZZ_CHECK(in_use == oauth_failure::no_account);
  if (in_use != oauth_failure::none) {
    FUZZ_CHECK(in_use == oauth_failure::no_account || in_use == oauth_failure::accounts_foreign);
    return 0;
  }
  FUZZ_CHECK(read == oauth_failure::none);
  FUZZ_CHECK(index == shown.ordinal && index < book.accounts.size());
  nlohmann::json object;
  FUZZ_CHECK(json_parse_state(content.substr(shown.begin, shown.end - shown.begin), object) ==
             state_json::parsed);
  FUZZ_CHECK(object == book.accounts[index]);
  FUZZ_CHECK(!json_text_member(object, "refresh_token").empty());

  std::string written = json_line(book.accounts);
  account_choice after = account_choose(written.c_str(), book.selected.view());
  FUZZ_CHECK(after.chosen && after.ordinal == index && after.email.view() == shown.email.view());
  return 0;
}
