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

std::string read_selected() {
  heap_text text = read_file(selected_path().c_str());
  if (!text) return {};
  std::string selected = text.get();
  selected.erase(selected.find_last_not_of(" \t\r\n") + 1);
  return selected;
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

int account_book_read(account_book& book) {
  book.selected = read_selected();
  book.accounts = nlohmann::json::array();
  std::string path = accounts_path();
  heap_text text = read_file(path.c_str());
  // One that exists but cannot be read (too large, say) must not be replaced by an empty book.
  if (!text) return platform_exists_not_dir(path.c_str()) ? 0 : 1;
  if (std::string_view(text.get()).find_first_not_of(" \t\r\n") == std::string_view::npos) return 1;
  nlohmann::json parsed = nlohmann::json::parse(text.get(), nullptr, false);
  if (!parsed.is_array()) return 0;
  book.accounts = std::move(parsed);
  return 1;
}

int account_book_chosen(const account_book& book) {
  int fallback = -1;
  for (std::size_t i = 0; i < book.accounts.size(); ++i) {
    std::string email = json_text_member(book.accounts[i], "email");
    if (email.empty()) continue;
    if (!book.selected.empty() && email == book.selected) return static_cast<int>(i);
    if (fallback < 0) fallback = static_cast<int>(i);
  }
  return fallback;
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
  return private_file_write(accounts_path(), json_line(book.accounts));
}

int selected_account_write(std::string_view email) {
  return private_file_write(selected_path(), std::string(email) + "\n");
}
