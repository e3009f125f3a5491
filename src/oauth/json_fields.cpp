#include "oauth/json_fields.h"

#include <algorithm>

namespace {

// The deepest nesting of arrays and objects, counted up to limit + 1; strings are stepped over. For
// any JSON text, or any prefix of one, this is the depth the parser reaches.
std::size_t nesting_depth(std::string_view text, std::size_t limit) {
  std::size_t depth = 0;
  std::size_t deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size() && deepest <= limit; ++i) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

state_json json_parse_state(std::string_view text, nlohmann::json& out) {
  text = text.substr(0, text.find('\0'));
  if (nesting_depth(text, state_json_depth_limit) > state_json_depth_limit) {
    return state_json::too_deep;
  }
  out = nlohmann::json::parse(text, nullptr, false);
  return out.is_discarded() ? state_json::not_json : state_json::parsed;
}

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
