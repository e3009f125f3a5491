// Just enough JSON for the simulated tools' own files: flat objects whose member values are kept as
// raw JSON text, so members the simulators do not know survive a rewrite unchanged.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct sim_member {
  std::string key;
  std::string raw;  // the value exactly as JSON text: "\"a\"", "12", "true", "{...}"
};
using sim_object = std::vector<sim_member>;

// Both return false on malformed input and leave `out` in an unspecified but valid state.
bool sim_json_parse_object(std::string_view text, sim_object& out);
bool sim_json_parse_objects(std::string_view text, std::vector<sim_object>& out);  // [ {..}, .. ]

std::string sim_json_quote(std::string_view text);

const sim_member* sim_json_get(const sim_object& object, std::string_view key);
// The value of a string member, unescaped; empty when absent or not a string.
std::string sim_json_text(const sim_object& object, std::string_view key);
// The value of an integer member; 0 when absent or not a number.
long long sim_json_number(const sim_object& object, std::string_view key);
void sim_json_set(sim_object& object, std::string_view key, std::string raw);
void sim_json_set_text(sim_object& object, std::string_view key, std::string_view text);
void sim_json_erase(sim_object& object, std::string_view key);

std::string sim_json_write(const sim_object& object);                // one line, no line feed
std::string sim_json_write(const std::vector<sim_object>& objects);  // pretty enough to read
