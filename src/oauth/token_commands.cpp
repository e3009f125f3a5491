#include "oauth/token_commands.h"

#include <cstdint>
#include <string>

#include "oauth/accounts_store.h"
#include "oauth/client_file.h"
#include "oauth/env_file.h"
#include "oauth/json_fields.h"
#include "oauth/server_checks.h"
#include "oauth/token_exchange.h"
#include "oauth/tool_output.h"
#include "platform/platform.h"
#include "state/locations.h"

namespace {

// A printed token must outlive the caller's use of it by a margin.
constexpr std::int64_t print_min_lifetime_seconds{5 * 60};

struct refreshed {
  std::string email;
  std::string access_token;
  std::int64_t expires_at = 0;
  std::string project_id;
  std::string detail;
};

std::string project_of(const oauth_client& client) {
  std::string text;
  env_file_read(text);  // only read: one that cannot be read is left alone
  std::string project = env_text_value(text, "GOOGLE_PROJECT_ID");
  return project.empty() ? client.project_id : project;
}

// Under the caller's lock: read, exchange, write. The refresh token is read afresh here, so a
// rotated one that an earlier holder of the lock stored is the one spent.
oauth_failure refresh_chosen(account_book& book, refreshed& out) {
  std::size_t chosen = 0;
  if (oauth_failure failure = account_book_in_use(book, chosen, out.detail);
      failure != oauth_failure::none) {
    return failure;
  }
  nlohmann::json& account = book.accounts[chosen];
  std::string refresh_token = json_text_member(account, "refresh_token");

  oauth_client client;
  if (oauth_failure failure = client_file_load(client); failure != oauth_failure::none) {
    out.detail = client.path;
    return failure;
  }
  token_reply reply;
  if (oauth_failure failure = token_refresh(client, refresh_token, reply);
      failure != oauth_failure::none) {
    out.detail = reply.detail;
    return failure;
  }
  out.email = json_text_member(account, "email");
  out.access_token = reply.access_token;
  out.expires_at = platform_now_seconds() + reply.expires_in;
  out.project_id = project_of(client);
  account["access_token"] = reply.access_token;
  account["expires_at"] = out.expires_at;
  if (!reply.refresh_token.empty()) account["refresh_token"] = reply.refresh_token;
  if (!account_book_write(book)) {
    out.detail = accounts_path();
    return oauth_failure::storage_failed;
  }
  return oauth_failure::none;
}

oauth_failure refresh_locked(refreshed& out) {
  locked_file lock;
  if (!accounts_lock(lock)) return oauth_failure::busy;
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    out.detail = accounts_path();
    return failure;
  }
  return refresh_chosen(book, out);
}

// The chosen account's access token when it still has the margin left and is fit to print, else
// empty.
std::string usable_token(const account_book& book) {
  std::size_t chosen = 0;
  std::string unused;
  if (account_book_in_use(book, chosen, unused) != oauth_failure::none) return {};
  const nlohmann::json& account = book.accounts[chosen];
  std::int64_t now = platform_now_seconds();
  if (expiry_clamp(json_int_member(account, "expires_at"), now) - now <
      print_min_lifetime_seconds) {
    return {};
  }
  std::string token = json_text_member(account, "access_token");
  return server_token_is_clean(token) ? token : std::string();
}

}  // namespace

int token_cmd_local() {
  refreshed out;
  if (oauth_failure failure = refresh_locked(out); failure != oauth_failure::none) {
    return tool_fail_with_sentence(failure, out.detail);
  }
  tool_print({{"ok", true},
              {"email", out.email},
              {"project_id", out.project_id},
              {"expires_at", out.expires_at}});
  return tool_exit_ok;
}

int token_cmd_print() {
  account_book book;
  std::string token =
      account_book_read(book) == oauth_failure::none ? usable_token(book) : std::string();
  if (token.empty()) {
    // Read again under the lock: another run may have refreshed while this one waited.
    locked_file lock;
    if (!accounts_lock(lock)) return tool_fail_with_sentence(oauth_failure::busy, "");
    if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
      return tool_fail_with_sentence(failure, accounts_path());
    }
    token = usable_token(book);
    refreshed out;
    if (token.empty()) {
      if (oauth_failure failure = refresh_chosen(book, out); failure != oauth_failure::none) {
        return tool_fail_with_sentence(failure, out.detail);
      }
      token = out.access_token;
    }
  }
  tool_print_text(token);
  return tool_exit_ok;
}
