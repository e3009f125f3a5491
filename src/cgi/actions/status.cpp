// The status action: the status record as a document of its own.
#include "cgi/actions/actions.h"
#include "cgi/framing.h"
#include "product.h"
#include "status/login_status.h"

namespace {

constexpr char status_opening[] =
    "{\"ok\":true,\"plugin\":\"" PRODUCT_NAME "\",\"version\":\"" PRODUCT_VERSION "\",";

}  // namespace

int action_status() {
  login_status status;
  collect_status(status);
  buf body;
  buf_adds(body, status_opening);
  emit_status(body, status);
  buf_adds(body, "}\n");
  json_respond(body);
  return exit_ok;
}
