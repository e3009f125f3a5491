#include "oauth/account_commands.h"

#include <string>
#include <vector>

#include "oauth/accounts_store.h"
#include "oauth/adc_file.h"
#include "oauth/client_file.h"
#include "oauth/env_file.h"
#include "oauth/json_fields.h"
#include "oauth/revocation.h"
#include "oauth/tool_output.h"
#include "platform/platform.h"
#include "state/locations.h"

namespace {

constexpr char third_party_access_page[] = "https://myaccount.google.com/connections";

int account_find(const account_book& book, std::string_view email) {
  for (std::size_t i = 0; i < book.accounts.size(); ++i) {
    if (json_text_member(book.accounts[i], "email") == email) return static_cast<int>(i);
  }
  return -1;
}

// The account the console shows, by the shared rules.
std::string chosen_email(const account_book& book) {
  return book.choice.chosen ? std::string(book.choice.email.view()) : std::string();
}

// The account the console will show once the book is written as it stands now.
std::string chosen_after_write(const account_book& book) {
  std::string text = json_line(book.accounts);
  account_choice choice = account_choose(text.c_str(), book.selected.view());
  return choice.chosen ? std::string(choice.email.view()) : std::string();
}

// Present and not null, as the console counts a refresh token.
bool holds_refresh_token(const nlohmann::json& account) {
  auto found = account.find("refresh_token");
  return found != account.end() && !found->is_null();
}

// The selected-account file and the environment file's GOOGLE_ACCOUNT name the account, or are
// cleared when email is empty. Returns the file that could not be written, or empty.
std::string selection_write(std::string_view email) {
  std::string env_path = env_file_location();
  heap_text env = read_file(env_path.c_str());
  // An environment file that exists but cannot be read is not ours to replace.
  if (!env && platform_exists_not_dir(env_path.c_str())) return env_path;
  std::string text = env ? std::string(env.get()) : std::string();
  text = email.empty() ? env_text_unset(text, "GOOGLE_ACCOUNT")
                       : env_text_set(text, "GOOGLE_ACCOUNT", email);
  path_1024 selected;
  selected_account_path(selected);
  bool selected_written =
      email.empty() ? platform_remove_file(selected.c_str()) : selected_account_write(email);
  if (!selected_written) return selected.c_str();
  if ((env || !email.empty()) && !platform_replace_file(env_path, text)) return env_path;
  return {};
}

revocation_result revoke_account(const nlohmann::json& account) {
  std::string refresh_token = json_text_member(account, "refresh_token");
  if (refresh_token.empty()) return {false, "no refresh token was stored"};
  oauth_client client;
  if (oauth_failure failure = client_file_load(client); failure != oauth_failure::none) {
    return {false, std::string(failure_describe(failure).sentence) + ": " + client.path};
  }
  return token_revoke(client, refresh_token);
}

}  // namespace

int login_cmd_list() {
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, accounts_path());
  }
  nlohmann::ordered_json accounts = nlohmann::ordered_json::array();
  for (const nlohmann::json& account : book.accounts) {
    std::string email = json_text_member(account, "email");
    if (email.empty()) continue;  // never chosen, so not an account to show
    accounts.push_back({{"email", email},
                        {"has_refresh", holds_refresh_token(account)},
                        {"expires_at", json_int_member(account, "expires_at")},
                        {"scope", json_text_member(account, "scope")}});
  }
  tool_print({{"ok", true}, {"selected", chosen_email(book)}, {"accounts", accounts}});
  return tool_exit_ok;
}

int login_cmd_select(std::string_view email) {
  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_code(oauth_failure::busy, "");
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, accounts_path());
  }
  if (email.empty() || account_find(book, email) < 0) {
    return tool_fail_with_code(oauth_failure::unknown_account, email);
  }
  if (std::string failed = selection_write(email); !failed.empty()) {
    return tool_fail_with_code(oauth_failure::storage_failed, failed);
  }
  tool_print({{"ok", true}, {"selected", email}});
  return tool_exit_ok;
}

int login_cmd_logout(std::string_view email) {
  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_code(oauth_failure::busy, "");
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, accounts_path());
  }
  // Never another account than the one named, or the one the console shows.
  int index = account_find(book, email.empty() ? chosen_email(book) : std::string(email));
  if (index < 0) {
    return tool_fail_with_code(
        email.empty() ? oauth_failure::no_account : oauth_failure::unknown_account, email);
  }
  auto position = book.accounts.begin() + index;
  std::string removed = json_text_member(*position, "email");

  // The server is asked first; the node forgets the account whatever it answers.
  revocation_result revocation = revoke_account(*position);
  book.accounts.erase(position);
  if (!account_book_write(book)) {
    return tool_fail_with_code(oauth_failure::storage_failed, accounts_path());
  }
  std::string selected = chosen_after_write(book);
  if (std::string failed = selection_write(selected); !failed.empty()) {
    return tool_fail_with_code(oauth_failure::storage_failed, failed);
  }
  std::vector<std::string> adc_removed = adc_remove_for(removed);

  if (!revocation.confirmed) {
    tool_say("signed out of " + removed + " on this node, but the revocation was not confirmed (" +
             revocation.detail + "); remove the node's access by hand on the account's " +
             "third-party access page: " + third_party_access_page);
  }
  tool_print({{"ok", true},
              {"email", removed},
              {"revoked", revocation.confirmed},
              {"selected", selected},
              {"adc_removed", adc_removed}});
  return tool_exit_ok;
}
