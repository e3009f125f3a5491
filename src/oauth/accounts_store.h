// The accounts file (a JSON array of account objects: email, refresh_token, access_token,
// expires_at, ...) and the selected-account file beside it, and the lock that serialises every
// read-exchange-write on them. The account in use is the one the console shows: account_choose
// decides it for both.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "oauth/failure.h"
#include "platform/private_files.h"
#include "state/account_choice.h"

// A holder of the lock waits this long: longer than one network exchange may take.
inline constexpr int accounts_lock_wait_ms = 45 * 1000;

struct account_book {
  nlohmann::json accounts = nlohmann::json::array();
  account_name selected;
  account_choice choice;  // made on the file's text as the console reads it
};

std::string accounts_path();

// Takes the lock beside the accounts file. Returns 0 when it stays busy.
int accounts_lock(locked_file& lock);

// An absent or empty accounts file is an empty book. Returns accounts_broken when the file cannot
// be read as a JSON array, or accounts_too_deep: it is not ours to overwrite. The choice is made
// whenever the text could be read, also when the book is refused.
oauth_failure account_book_read(account_book& book);
// The parsing half, on the file's text (up to its first NUL), with the selected account given.
oauth_failure account_book_parse(std::string_view text, account_book& book);

// The account in use when the tools can act on it: none, with its index in book.accounts. Else
// no_account (nothing chosen, or no refresh token: the console shows no sign-in), or
// accounts_foreign (the book is not in the tools' form, or the chosen object's e-mail or refresh
// token is not the text the console read); the detail then says what is wrong.
oauth_failure account_book_in_use(const account_book& book, std::size_t& index,
                                  std::string& detail);

// Puts the account in place of the one with the same e-mail, or at the end.
void account_book_put(account_book& book, nlohmann::json account);

int account_book_write(const account_book& book);
int selected_account_write(std::string_view email);
