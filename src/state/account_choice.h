// Which account the node uses, decided in one place for the console's status and for the login
// and token tools, so that the two never name different accounts.
//
// The accounts file is read leniently: every JSON object found by its opening brace is a
// candidate, whatever stands around it. The selected account wins at its first occurrence;
// otherwise the first object with a non-empty `email` does. The chosen account is signed in
// exactly when it has a `refresh_token` member that is not null.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/fixed_text.h"

using account_name = fixed_text<256>;

struct account_choice {
  int chosen = 0;  // 1 when an object was chosen; the members below describe it
  account_name email;
  int has_refresh = 0;
  std::size_t ordinal = 0;  // its place among the objects found by brace, from 0
  std::size_t begin = 0;    // its bytes in the text: [begin, end)
  std::size_t end = 0;
};

// The content of the selected-account file without trailing white space, cut at 255 bytes;
// empty when the file cannot be read.
void selected_account_read(account_name& selected);

// `text` is the accounts file's content, NUL-terminated; the scan ends at its first NUL.
account_choice account_choose(const char* text, std::string_view selected);
