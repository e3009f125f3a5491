// Member lookup over the largest tool output the runner keeps (256 KiB): the wanted member is last
// at the top level, behind nested objects and strings full of brackets, so every lookup is one
// whole forward pass.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "runner/tool_runner.h"
#include "text/buf.h"
#include "text/json_reader.h"

namespace {

// A capture as the runner leaves it: a line of chatter, then one JSON line of about `bytes` bytes.
void fill_capture(buf& capture, std::size_t bytes) {
  std::string text = "Checking the session...\n{";
  char member[160];
  for (unsigned i = 0; text.size() + 200 < bytes; ++i) {
    std::snprintf(member, sizeof member,
                  "\"note%05u\":\"scope [x] {y} \\\"z\\\"\",\"n%05u\":{\"identity\":\"inner\","
                  "\"list\":[1,2,{\"path\":\"/a\"}]},",
                  i, i);
    text += member;
  }
  text += "\"expires_at\":1796671800000,\"identity\":\"operator@example.com\"}";
  buf_add(capture, text.data(), text.size());
}

void json_str_field_last_member(benchmark::State& state) {
  buf capture;
  fill_capture(capture, capture_limit_bytes);
  const char* line = last_json_line(capture);
  const char* end = capture.data + capture.len;
  char identity[256];
  if (line == nullptr || json_str_field(line, end, "identity", identity, sizeof identity) != 1 ||
      std::string(identity) != "operator@example.com") {
    state.SkipWithError("the top-level identity member was not found");
    return;
  }
  for (auto _ : state) {
    int found = json_str_field(line, end, "identity", identity, sizeof identity);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(identity);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (end - line));
}
BENCHMARK(json_str_field_last_member);

void json_find_key_absent_member(benchmark::State& state) {
  buf capture;
  fill_capture(capture, capture_limit_bytes);
  const char* line = last_json_line(capture);
  const char* end = capture.data + capture.len;
  if (line == nullptr || json_find_key(line, end, "pending") != nullptr) {
    state.SkipWithError("the capture is not shaped as intended");
    return;
  }
  for (auto _ : state) {
    const char* value = json_find_key(line, end, "pending");
    benchmark::DoNotOptimize(value);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (end - line));
}
BENCHMARK(json_find_key_absent_member);

}  // namespace
