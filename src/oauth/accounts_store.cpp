#include "oauth/accounts_store.h"

#include "oauth/json_fields.h"
#include "platform/platform.h"
#include "state/locations.h"

namespace {

std::string selected_path() {
  path_1024 path;
  selected_account_path(path);
  return path.c_str();
}

bool only_white_space(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The form the tools write: every element an object whose e-mail, when present, is text. Then the
// objects the console finds by brace are exactly the elements, in order.
bool in_tools_form(const nlohmann::json& accounts) {
  for (const nlohmann::json& account : accounts) {
    if (!account.is_object()) return false;
    auto email = account.find("email");
    if (email != account.end() && !email->is_string()) return false;
  }
  return true;
}

std::string account_place(std::size_t ordinal) {
  return "object " + std::to_string(ordinal + 1) + " of the accounts file";
}

}  // namespace

std::string accounts_path() {
  path_1024 path;
  creds_path(path);
  return path.c_str();
}

int accounts_lock(locked_file& lock) {
  return locked_file_acquire(lock, accounts_path() + ".lock", accounts_lock_wait_ms);
}

oauth_failure account_book_read(account_book& book) {
  selected_account_read(book.selected);
  std::string path = accounts_path();
  heap_text text = read_file(path.c_str());
  if (text) return account_book_parse(text.get(), book);
  book.accounts = nlohmann::json::array();
  book.choice = account_choice{};
  // One that exists but cannot be read (too large, say) must not be replaced by an empty book.
  return platform_exists_not_dir(path.c_str()) ? oauth_failure::accounts_broken
                                               : oauth_failure::none;
}

oauth_failure account_book_parse(std::string_view text, account_book& book) {
  std::string content(text.substr(0, text.find('\0')));
  book.choice = account_choose(content.c_str(), book.selected.view());
  book.accounts = nlohmann::json::array();
  if (only_white_space(content)) return oauth_failure::none;
  nlohmann::json parsed;
  switch (json_parse_state(content, parsed)) {
    case state_json::too_deep:
      return oauth_failure::accounts_too_deep;
    case state_json::not_json:
      return oauth_failure::accounts_broken;
    case state_json::parsed:
      break;
  }
  if (!parsed.is_array()) return oauth_failure::accounts_broken;
  book.accounts = std::move(parsed);
  return oauth_failure::none;
}

oauth_failure account_book_in_use(const account_book& book, std::size_t& index,
                                  std::string& detail) {
  const account_choice& choice = book.choice;
  if (!choice.chosen || !choice.has_refresh) return oauth_failure::no_account;
  if (!in_tools_form(book.accounts) || choice.ordinal >= book.accounts.size()) {
    detail = account_place(choice.ordinal) + " is not an element of an array of accounts";
    return oauth_failure::accounts_foreign;
  }
  const nlohmann::json& account = book.accounts[choice.ordinal];
  account_name email;
  email.assign(json_text_member(account, "email"));
  if (email.view() != choice.email.view()) {
    detail = account_place(choice.ordinal) + " has an e-mail that reads differently to the tools";
    return oauth_failure::accounts_foreign;
  }
  if (json_text_member(account, "refresh_token").empty()) {
    detail = account_place(choice.ordinal) + " has a refresh token that is empty or not text";
    return oauth_failure::accounts_foreign;
  }
  // A member repeated in another object reads as its first copy to the console and as its last
  // to the tools; once the tools write the book back, the console would show another account.
  std::string written = json_line(book.accounts);
  account_choice after = account_choose(written.c_str(), book.selected.view());
  if (!after.chosen || after.ordinal != choice.ordinal ||
      after.email.view() != choice.email.view()) {
    detail = "the accounts file would show another account once written back (a repeated member?)";
    return oauth_failure::accounts_foreign;
  }
  index = choice.ordinal;
  return oauth_failure::none;
}

void account_book_put(account_book& book, nlohmann::json account) {
  std::string email = json_text_member(account, "email");
  for (nlohmann::json& existing : book.accounts) {
    if (json_text_member(existing, "email") == email) {
      existing = std::move(account);
      return;
    }
  }
  book.accounts.push_back(std::move(account));
}

int account_book_write(const account_book& book) {
  return platform_replace_file(accounts_path(), json_line(book.accounts));
}

int selected_account_write(std::string_view email) {
  return platform_replace_file(selected_path(), std::string(email) + "\n");
}
