// status, start and cancel touch only local files; finish is the one network step.
#include "oauth/login_commands.h"

#include <cstdint>
#include <string>

#include "oauth/accounts_store.h"
#include "oauth/client_file.h"
#include "oauth/env_file.h"
#include "oauth/id_token.h"
#include "oauth/json_fields.h"
#include "oauth/pending_marker.h"
#include "oauth/pkce.h"
#include "oauth/server_checks.h"
#include "oauth/token_exchange.h"
#include "oauth/tool_output.h"
#include "oauth/url_text.h"
#include "platform/platform.h"
#include "state/account_choice.h"
#include "state/locations.h"
#include "text/json_reader.h"

namespace {

constexpr std::string_view base_scopes = "openid email";
constexpr std::string_view default_extra_scopes = "https://www.googleapis.com/auth/cloud-platform";

constexpr char start_hint[] =
    "Sign in and approve. The browser then lands on a localhost address that does not load: copy "
    "that whole address (or just the code) and paste it here.";

std::string scopes() {
  const char* extra = platform_env("LUMENHOLLOW_SCOPES");
  std::string text(base_scopes);
  text += ' ';
  text += extra != nullptr && extra[0] != '\0' ? std::string_view(extra) : default_extra_scopes;
  return text;
}

std::string authorization_address(const oauth_client& client, const pending_login& pending,
                                  std::string_view challenge) {
  std::string address = client.auth_uri;
  if (address.find('?') == std::string::npos) address += '?';  // else url_add_param adds '&'
  url_add_param(address, "client_id", client.client_id);
  url_add_param(address, "redirect_uri", pending.redirect_uri);
  url_add_param(address, "response_type", "code");
  url_add_param(address, "scope", scopes());
  url_add_param(address, "code_challenge", challenge);
  url_add_param(address, "code_challenge_method", "S256");
  url_add_param(address, "state", pending.state);
  url_add_param(address, "access_type", "offline");
  url_add_param(address, "prompt", "consent");
  return address;
}

// GOOGLE_ACCOUNT always; GOOGLE_PROJECT_ID only when the operator has not set one.
oauth_failure store_environment(std::string_view email, const oauth_client& client) {
  std::string text;
  if (!env_file_read(text)) return oauth_failure::env_unreadable;
  text = env_text_set(text, "GOOGLE_ACCOUNT", email);
  if (env_text_value(text, "GOOGLE_PROJECT_ID").empty() && !client.project_id.empty()) {
    text = env_text_set(text, "GOOGLE_PROJECT_ID", client.project_id);
  }
  return platform_replace_file(env_file_location(), text) ? oauth_failure::none
                                                          : oauth_failure::storage_failed;
}

// What a finish will write to must be readable and ours to replace before the code is spent.
oauth_failure check_storage(std::string& detail) {
  account_book book;
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    detail = accounts_path();
    return failure;
  }
  std::string env_text;
  if (!env_file_read(env_text)) {
    detail = env_file_location();
    return oauth_failure::env_unreadable;
  }
  return oauth_failure::none;
}

oauth_failure store_account(std::string_view email, const token_reply& reply,
                            const oauth_client& client, std::int64_t now, std::string& detail) {
  account_book book;
  detail = accounts_path();
  if (oauth_failure failure = account_book_read(book); failure != oauth_failure::none) {
    return failure;
  }
  account_book_put(book, {{"email", email},
                          {"refresh_token", reply.refresh_token},
                          {"access_token", reply.access_token},
                          {"expires_at", now + reply.expires_in},
                          {"scope", reply.scope}});
  if (!account_book_write(book) || !selected_account_write(email)) {
    return oauth_failure::storage_failed;
  }
  detail = env_file_location();
  return store_environment(email, client);
}

}  // namespace

// What the console shows, read the console's way: a file the tools refuse to act on is still
// reported as it is.
int login_cmd_status() {
  account_name selected;
  selected_account_read(selected);
  heap_text text = read_file(accounts_path().c_str());
  account_choice choice = account_choose(text ? text.get() : "", selected.view());
  std::int64_t expires_at = 0;
  if (choice.chosen) {
    const char* object = text.get() + choice.begin;
    expires_at = json_num_field(object, text.get() + choice.end, "expires_at");
  }
  pending_login pending;
  std::int64_t now = platform_now_seconds();
  bool pending_live = pending_marker_read(pending, now) == pending_found::live;
  bool has_refresh = choice.has_refresh != 0;
  tool_print({{"ok", true},
              {"identity", choice.email.c_str()},
              {"path", accounts_path()},
              {"logged_in", has_refresh},
              {"has_refresh", has_refresh},
              {"pending", pending_live},
              {"expires_at", expiry_clamp(expires_at, now)}});
  return tool_exit_ok;
}

int login_cmd_start() {
  oauth_client client;
  if (oauth_failure failure = client_file_load(client); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, client.path);
  }
  // Under the lock, so that a finish running meanwhile never removes this start's marker.
  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_code(oauth_failure::busy, "");
  pending_login pending;
  pending.state = pkce_random_text(state_bytes);
  pending.code_verifier = pkce_random_text(pkce_verifier_bytes);
  pending.redirect_uri = client.redirect_uri;
  pending.expires_at = platform_now_seconds() + pending_lifetime_seconds;
  if (pending.state.empty() || pending.code_verifier.empty()) {
    return tool_fail_with_code(oauth_failure::storage_failed, "the random source failed");
  }
  if (!pending_marker_write(pending)) {
    return tool_fail_with_code(oauth_failure::storage_failed, pending_marker_path());
  }
  tool_print(
      {{"ok", true},
       {"flow", "paste_code"},
       {"auth_url", authorization_address(client, pending, pkce_challenge(pending.code_verifier))},
       {"expires_in", pending_lifetime_seconds},
       {"hint", start_hint}});
  return tool_exit_ok;
}

int login_cmd_finish(std::string_view pasted_text) {
  pasted_code pasted = pasted_code_parse(pasted_text);
  if (pasted.code.empty()) {
    return tool_fail_with_code(pasted.error == "access_denied" ? oauth_failure::access_denied
                                                               : oauth_failure::missing_code,
                               pasted.error);
  }

  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_code(oauth_failure::busy, "");
  std::int64_t now = platform_now_seconds();
  pending_login pending;
  switch (pending_marker_read(pending, now)) {
    case pending_found::none:
      return tool_fail_with_code(oauth_failure::no_pending_login, "");
    case pending_found::too_deep:
      return tool_fail_with_code(oauth_failure::no_pending_login,
                                 pending_marker_path() + " is nested too deeply to be read");
    case pending_found::expired:
      pending_marker_remove();
      return tool_fail_with_code(oauth_failure::login_expired, "");
    case pending_found::live:
      break;
  }
  if (pasted.state && *pasted.state != pending.state) {
    return tool_fail_with_code(oauth_failure::state_mismatch, "");
  }

  oauth_client client;
  if (oauth_failure failure = client_file_load(client); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, client.path);
  }
  std::string detail;
  if (oauth_failure failure = check_storage(detail); failure != oauth_failure::none) {
    return tool_fail_with_code(failure, detail);
  }
  token_reply reply;
  oauth_failure failure =
      token_redeem_code(client, pasted.code, pending.code_verifier, pending.redirect_uri, reply);
  if (failure != oauth_failure::none) return tool_fail_with_code(failure, reply.detail);
  if (reply.refresh_token.empty()) return tool_fail_with_code(oauth_failure::no_refresh_token, "");
  std::string email = id_token_email(reply.id_token);
  if (email.empty()) return tool_fail_with_code(oauth_failure::no_email, "");
  if (std::string_view fault = server_email_fault(email); !fault.empty()) {
    return tool_fail_with_code(oauth_failure::no_email, fault);
  }

  now = platform_now_seconds();
  if (oauth_failure stored = store_account(email, reply, client, now, detail);
      stored != oauth_failure::none) {
    return tool_fail_with_code(stored, detail);
  }
  pending_marker_remove();  // the one redeemed: starts wait for the lock this finish holds
  tool_print({{"ok", true}, {"email", email}});
  return tool_exit_ok;
}

int login_cmd_cancel() {
  locked_file lock;
  if (!accounts_lock(lock)) return tool_fail_with_code(oauth_failure::busy, "");
  if (!pending_marker_remove()) {
    return tool_fail_with_code(oauth_failure::storage_failed, pending_marker_path());
  }
  tool_print({{"ok", true}, {"pending", false}});
  return tool_exit_ok;
}
