// Routing: the page when the query names neither `action` nor `format`, else one action by name.
#include "cgi/dispatch.h"

#include <cstring>

#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "cgi/messages.h"
#include "cgi/query.h"
#include "page/page.h"
#include "text/fixed_text.h"

namespace {

struct action_route {
  const char* name;
  int (*run)(const char* query);
};

// An empty action (bare "action", "action=", or only `format`) asks for the status.
constexpr action_route action_routes[] = {
    {"", [](const char*) { return action_status(); }},
    {"status", [](const char*) { return action_status(); }},
    {"start", [](const char*) { return action_start(); }},
    {"cancel", [](const char*) { return action_cancel(); }},
    {"finish", [](const char* query) { return action_finish(query); }},
    {"refresh", [](const char*) { return action_refresh(); }},
};

}  // namespace

int handle_request(const char* query) {
  if (!query_has(query, "action") && !query_has(query, "format")) {
    deliver_page();
    return exit_ok;
  }

  fixed_text<64> action;
  get_query_val(query, "action", action);
  for (const action_route& route : action_routes) {
    if (std::strcmp(action.c_str(), route.name) == 0) return route.run(query);
  }
  emit_error(http_not_found, reason_not_found, error_unknown_action, action.c_str());
  return exit_failure;
}
