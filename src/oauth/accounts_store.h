// The accounts file (a JSON array of account objects: email, refresh_token, access_token,
// expires_at, ...) and the selected-account file beside it, read and chosen by the same rules as
// the console's status, and the lock that serialises every read-exchange-write on them.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "oauth/private_file.h"

// A holder of the lock waits this long: longer than one network exchange may take.
inline constexpr int accounts_lock_wait_ms = 45 * 1000;

struct account_book {
  nlohmann::json accounts = nlohmann::json::array();
  std::string selected;
};

std::string accounts_path();

// Takes the lock beside the accounts file. Returns 0 when it stays busy.
int accounts_lock(locked_file& lock);

// An absent or empty accounts file is an empty book. Returns 0 when the file cannot be read as a
// JSON array: it is not ours to overwrite.
int account_book_read(account_book& book);

// The account the node uses: the selected one when present, else the first with an e-mail.
// Returns its index, or -1.
int account_book_chosen(const account_book& book);

// Puts the account in place of the one with the same e-mail, or at the end.
void account_book_put(account_book& book, nlohmann::json account);

int account_book_write(const account_book& book);
int selected_account_write(std::string_view email);
