// JSON string writing of 64 KiB into a fresh buffer, as a status or error document would write a
// long value: mostly plain text, with quotes, line breaks, control bytes and UTF-8 sprinkled in.
#include <benchmark/benchmark.h>

#include <string>

#include "text/buf.h"

namespace {

constexpr std::size_t text_bytes = 64 * 1024;

std::string mixed_text() {
  const std::string pattern =
      "Signed in as operator@example.com for project p-1 \"main\"\n"
      "path C:\\Users\\op\\.config\tcaf\xc3\xa9 \x01\x1b done. ";
  std::string text;
  while (text.size() < text_bytes) text += pattern;
  text.resize(text_bytes);
  return text;
}

std::string plain_text() {
  return std::string(text_bytes, 'a');
}

void buf_json_text(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    buf out;
    int written = buf_json(out, text.c_str());
    benchmark::DoNotOptimize(written);
    benchmark::DoNotOptimize(out.data);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void buf_json_64k_mixed(benchmark::State& state) {
  buf_json_text(state, mixed_text());
}
BENCHMARK(buf_json_64k_mixed);

void buf_json_64k_plain(benchmark::State& state) {
  buf_json_text(state, plain_text());
}
BENCHMARK(buf_json_64k_plain);

}  // namespace
