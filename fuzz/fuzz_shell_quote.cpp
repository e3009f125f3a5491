// shell_quote_into: the word stays inside its area (canary bytes behind it), is the exact word the
// quoting rule gives for that capacity, and /bin/sh turns it back into exactly the input, cut at
// the first byte that did not fit.
#include <string>

#include "fuzz_check.h"
#include "fuzz_shell.h"
#include "runner/tool_runner.h"

namespace {

struct quoted_word {
  std::string word;
  std::string kept;  // the source bytes the word carries
};

quoted_word model_quote(const std::string& source, std::size_t cap) {
  quoted_word q{"'", ""};
  std::size_t i = 1;
  for (char c : source) {
    if (c == '\'') {
      if (i + 5 >= cap) break;
      q.word += "'\\''";
      i += 4;
    } else {
      if (i + 2 >= cap) break;
      q.word += c;
      i += 1;
    }
    q.kept += c;
  }
  q.word += "'";
  return q;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  restart_interrupted_calls();
  // Capacities from 1 to 4096: the runner's 512-byte area and the finish action's 2112 among them.
  const std::size_t cap = 1 + ((static_cast<std::size_t>(data[0]) << 8 | data[1]) % 4096);
  const std::string source(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string text(source.c_str());  // the quoting sees a NUL-terminated text

  fenced_area area(cap);
  shell_quote_into(text.c_str(), area.data(), cap);
  FUZZ_CHECK(area.canary_intact());
  if (cap < 3) {  // no room for a word at all: at most an empty text
    FUZZ_CHECK(area.terminated());
    return 0;
  }
  FUZZ_CHECK(area.terminated());
  const std::string word = area.text();
  FUZZ_CHECK(word.size() <= cap - 1);

  const quoted_word expected = model_quote(text, cap);
  FUZZ_CHECK(word == expected.word);
  FUZZ_CHECK(text.compare(0, expected.kept.size(), expected.kept) == 0);

  // A null source is the empty word.
  fenced_area empty(cap);
  shell_quote_into(nullptr, empty.data(), cap);
  FUZZ_CHECK(empty.text() == "''" && empty.canary_intact());

  // The shell's reading of the word: one argument, the kept bytes exactly.
  const shell_result shell = run_shell("printf %s " + word);
  FUZZ_CHECK(shell.status == 0);
  FUZZ_CHECK(shell.output == expected.kept);
  return 0;
}
