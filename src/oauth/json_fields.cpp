#include "oauth/json_fields.h"

std::string json_text_member(const nlohmann::json& object, std::string_view name) {
  if (!object.is_object()) return {};
  auto found = object.find(name);
  return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::int64_t json_int_member(const nlohmann::json& object, std::string_view name) {
  if (!object.is_object()) return 0;
  auto found = object.find(name);
  if (found == object.end()) return 0;
  if (found->is_number_integer()) return found->get<std::int64_t>();
  if (found->is_number_float()) {
    double value = found->get<double>();
    // Out of range would be undefined behaviour; such a value means nothing here.
    return value > -9e15 && value < 9e15 ? static_cast<std::int64_t>(value) : 0;
  }
  return 0;
}

std::string json_line(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string json_line(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
