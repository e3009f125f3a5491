// Routing: the page when the query names neither `action` nor `format`, else one action by name.
#include "cgi/dispatch.h"

#include <cstring>

#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "cgi/query.h"
#include "cgi/request.h"
#include "text/fixed_text.h"

namespace {

struct action_route {
  const char* name;
  int (*run)(const request& req);
};

// An empty action (bare "action", "action=", or only `format`) asks for the status.
constexpr action_route action_routes[] = {
    {"", [](const request&) { return action_status(); }},
    {"status", [](const request&) { return action_status(); }},
    {"start", [](const request&) { return action_start(); }},
    {"cancel", [](const request&) { return action_cancel(); }},
    {"finish", [](const request& req) { return action_finish(req); }},
    {"refresh", [](const request&) { return action_refresh(); }},
    {"accounts", [](const request&) { return action_accounts(); }},
    {"logout", [](const request& req) { return action_logout(req); }},
    {"select", [](const request& req) { return action_select(req); }},
};

}  // namespace

int handle_request(const request& req) {
  if (!query_has(req.query, "action") && !query_has(req.query, "format")) {
    page_respond();
    return exit_ok;
  }

  fixed_text<64> action;
  get_query_val(req.query, "action", action);
  for (const action_route& route : action_routes) {
    if (std::strcmp(action.c_str(), route.name) == 0) return route.run(req);
  }
  emit_error(http_not_found, reason_not_found, error_unknown_action, action.c_str());
  return exit_failure;
}
