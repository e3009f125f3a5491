// The query accessors and the node password gate against plain models of their rules. Output
// areas are fenced by canary bytes.
#include <string>
#include <vector>

#include "cgi/gate.h"
#include "cgi/query.h"
#include "cgi/request.h"
#include "fuzz_check.h"

namespace {

const char* const query_keys[] = {"action", "format", "pwd", "code", "node", "a"};

// Starts of the segments the scan visits: 0, then after each '&', stopping at the end.
std::vector<std::size_t> segment_starts(const std::string& q) {
  std::vector<std::size_t> starts;
  std::size_t s = 0;
  while (s < q.size()) {
    starts.push_back(s);
    const std::size_t amp = q.find('&', s);
    if (amp == std::string::npos) break;
    s = amp + 1;
  }
  return starts;
}

int model_has(const std::string& q, const std::string& key) {
  for (std::size_t s : segment_starts(q)) {
    if (q.compare(s, key.size(), key) != 0) continue;
    const std::size_t after = s + key.size();
    if (after == q.size() || q[after] == '=' || q[after] == '&') return 1;
  }
  return 0;
}

// The value of the first "key=" segment, or nothing.
int model_value(const std::string& q, const std::string& key, std::string& value) {
  for (std::size_t s : segment_starts(q)) {
    const std::size_t after = s + key.size();
    if (q.compare(s, key.size(), key) != 0 || after >= q.size() || q[after] != '=') continue;
    const std::size_t amp = q.find('&', after + 1);
    value = q.substr(after + 1, amp == std::string::npos ? std::string::npos : amp - after - 1);
    return 1;
  }
  return 0;
}

std::string model_bearer_token(const std::string& header, bool& found) {
  std::size_t p = 0;
  while (p < header.size() && header[p] == ' ') ++p;
  static const char scheme[] = "bearer ";
  found = false;
  if (header.size() - p < 7) return "";
  for (std::size_t i = 0; i < 7; ++i) {
    char c = header[p + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != scheme[i]) return "";
  }
  p += 7;
  while (p < header.size() && header[p] == ' ') ++p;
  found = true;
  return header.substr(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned flags = data[0];
  const unsigned cap_seed = data[1];
  // Environment strings cannot hold a NUL, so NUL separates the fields.
  std::vector<std::string> f = fuzz_fields(data + 2, size - 2, 4);
  for (std::string& field : f) field = std::string(field.c_str());
  const std::string& query = f[0];
  const std::string& password = f[1];
  const std::string& header = f[2];
  const std::string& authorization = f[3];

  // Query accessors, for every key the program reads.
  for (const char* key : query_keys) {
    const int has = query_has(query.c_str(), key);
    FUZZ_CHECK(has == model_has(query, key));
    std::string expected;
    const int found = model_value(query, key, expected);
    const std::size_t caps[] = {1, 2, 32, 64, 256, 2048, (cap_seed % 300) + 1};
    for (std::size_t cap : caps) {
      fenced_area area(cap);
      FUZZ_CHECK(get_query_val(query.c_str(), key, area.data(), cap) == found);
      FUZZ_CHECK(area.canary_intact() && area.terminated());
      FUZZ_CHECK(area.text() == (found ? expected.substr(0, cap - 1) : std::string()));
      FUZZ_CHECK(!found || has);  // a "key=" segment is also a presence
    }
  }
  FUZZ_CHECK(query_has(nullptr, "action") == 0);
  fenced_area absent(16);
  FUZZ_CHECK(get_query_val(nullptr, "action", absent.data(), absent.cap) == 0 &&
             absent.text().empty());

  // The gate.
  const bool password_set = flags & 1;
  const bool header_set = flags & 2;
  const bool authorization_set = flags & 4;
  const bool query_set = flags & 8;
  request req;
  req.password = password_set ? password.c_str() : nullptr;
  req.password_header = header_set ? header.c_str() : nullptr;
  req.authorization = authorization_set ? authorization.c_str() : nullptr;
  if (query_set) req.query = query.c_str();

  bool admit = !password_set || password.empty();
  if (!admit && header_set && header == password) admit = true;
  bool bearer = false;
  const std::string token = authorization_set ? model_bearer_token(authorization, bearer) : "";
  if (!admit && bearer && token == password) admit = true;
  std::string pwd;
  if (!admit && query_set && model_value(query, "pwd", pwd) && pwd.substr(0, 255) == password) {
    admit = true;
  }
  FUZZ_CHECK(gate_admits(req) == (admit ? 1 : 0));

  FUZZ_CHECK(secret_equals(header, password) == (header == password ? 1 : 0));
  FUZZ_CHECK(secret_equals(password, header) == (header == password ? 1 : 0));
  return 0;
}
