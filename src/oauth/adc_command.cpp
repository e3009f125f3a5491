#include "oauth/adc_command.h"

#include <string>

#include "oauth/accounts_store.h"
#include "oauth/adc_file.h"
#include "oauth/client_file.h"
#include "oauth/env_file.h"
#include "oauth/json_fields.h"
#include "oauth/tool_output.h"
#include "platform/private_files.h"
#include "state/locations.h"

namespace {

std::string quota_project() {
  heap_text text = read_file(env_file_location().c_str());
  return text ? env_text_value(text.get(), "GOOGLE_PROJECT_ID") : std::string();
}

}  // namespace

int token_cmd_write_adc(std::string_view path_arg) {
  std::string path = path_arg.empty() ? adc_default_path() : std::string(path_arg);
  // The record must find the file again from wherever a later sign-out runs.
  if (!platform_path_is_absolute(path)) {
    return tool_fail_with_sentence(
        oauth_failure::usage,
        path.empty() ? "no home directory: give the file's path" : "the path must be absolute");
  }
  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_sentence(oauth_failure::busy, "");
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    return tool_fail_with_sentence(failure, accounts_path());
  }
  std::size_t chosen = 0;
  std::string detail;
  if (oauth_failure failure = account_book_in_use(book, chosen, detail);
      failure != oauth_failure::none) {
    return tool_fail_with_sentence(failure, detail);
  }
  const nlohmann::json& account = book.accounts[chosen];
  std::string email = json_text_member(account, "email");
  std::string refresh_token = json_text_member(account, "refresh_token");

  oauth_client client;
  if (oauth_failure failure = client_file_load(client); failure != oauth_failure::none) {
    return tool_fail_with_sentence(failure, client.path);
  }
  if (!adc_write(path, email, adc_document(client, refresh_token, quota_project()))) {
    return tool_fail_with_sentence(oauth_failure::storage_failed, path);
  }
  tool_print({{"ok", true}, {"path", path}, {"email", email}});
  return tool_exit_ok;
}
