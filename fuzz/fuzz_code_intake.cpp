// The finish action's intake, step by step against plain models, and as a whole: whatever arrives
// in the query or the body, a code that passes validation holds no byte a shell could act on.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cgi/code_intake.h"
#include "cgi/query.h"
#include "cgi/request.h"
#include "fuzz_check.h"
#include "text/json_reader.h"

namespace {

constexpr std::size_t code_max_bytes = 2047;
constexpr std::size_t pipe_bytes = 65536;

bool forbidden(unsigned char c) {
  return (c >= 0x01 && c <= 0x1F) || c == 0x7F || c == '"' || c == '$' || c == '&' || c == '\'' ||
         c == ';' || c == '<' || c == '>' || c == '\\' || c == '`' || c == '|';
}

std::size_t model_body_length(const char* text) {
  if (text == nullptr) return 0;
  const long long n = std::strtoll(text, nullptr, 10);  // saturates: huge values stay huge
  return n >= 1 && n < static_cast<long long>(code_body_limit_bytes) ? static_cast<std::size_t>(n)
                                                                     : 0;
}

int model_from_body(const std::string& body, std::string& out) {
  const std::string text(body.c_str());
  out.clear();
  const std::size_t key = text.find("\"code\"");
  if (key == std::string::npos) return 0;
  const std::size_t colon = text.find(':', key + 6);
  if (colon == std::string::npos) return 0;
  std::size_t p = colon + 1;
  while (p < text.size() && (text[p] == '\t' || text[p] == ' ' || text[p] == '"')) ++p;
  while (p < text.size() && out.size() < code_max_bytes && text[p] != '"' && text[p] != ',' &&
         text[p] != '}') {
    out += text[p++];
  }
  return 1;
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string model_decode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      const char byte = static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      if (byte == '\0') break;
      out += byte;
      i += 3;
    } else {
      out += text[i] == '+' ? ' ' : text[i];
      ++i;
    }
  }
  return out;
}

std::string model_extract(const std::string& code) {
  const std::size_t found = code.find("code=");
  if (found == std::string::npos) return code;
  const std::size_t start = found + 5;
  const std::size_t stop = code.find_first_of("#&", start);
  const std::string value =
      code.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
  return value.empty() ? code : value;
}

// Standard input becomes a pipe holding `body`, as a web server hands over a request body.
void feed_stdin(const std::string& body) {
  int fds[2];
  FUZZ_CHECK(::pipe(fds) == 0);
  const std::size_t n = std::min(body.size(), pipe_bytes);  // fits an empty pipe: no blocking
  FUZZ_CHECK(::write(fds[1], body.data(), n) == static_cast<ssize_t>(n));
  ::close(fds[1]);
  ::dup2(fds[0], STDIN_FILENO);
  ::close(fds[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  restart_interrupted_calls();
  const unsigned flags = data[0];
  std::vector<std::string> f = fuzz_fields(data + 1, size - 1, 3);
  const std::string query(f[0].c_str());
  const std::string content_length(f[1].c_str());
  const std::string& body = f[2];  // may hold NUL bytes

  // CONTENT_LENGTH, as text.
  FUZZ_CHECK(code_body_length(content_length.c_str()) == model_body_length(content_length.c_str()));
  FUZZ_CHECK(code_body_length(nullptr) == 0);

  // The lenient body reading.
  {
    std::string expected;
    const int found = model_from_body(body, expected);
    code_text out;
    std::memset(out.bytes, 0x5A, sizeof out.bytes);
    FUZZ_CHECK(code_from_body(std::string(body.c_str()).c_str(), out) == found);
    FUZZ_CHECK(std::memchr(out.bytes, 0, sizeof out.bytes) != nullptr);
    FUZZ_CHECK(out.view() == expected);
  }

  // The raw code, from the request and standard input.
  const bool length_set = flags & 1;
  request req;
  req.query = query.c_str();
  req.content_length = length_set ? content_length.c_str() : nullptr;
  feed_stdin(body);
  code_text raw;
  const int taken = code_take_raw(req, raw);
  {
    fixed_text<2048> probe;
    const bool in_query = get_query_val(query.c_str(), "code", probe) != 0;
    std::string expected;
    int expected_taken;
    if (in_query) {
      expected = probe.c_str();
      expected_taken = 1;
    } else {
      const std::size_t length = length_set ? model_body_length(content_length.c_str()) : 0;
      const std::string read = body.substr(0, std::min({length, body.size(), pipe_bytes}));
      if (length > 0) model_from_body(read, expected);
      expected_taken = expected.empty() ? 0 : 1;
    }
    FUZZ_CHECK(taken == expected_taken);
    FUZZ_CHECK(raw.view() == expected);
  }

  // Decoding, trimming, extraction, validation: the finish action's order.
  code_text code = raw;
  code_percent_decode(code.bytes);
  FUZZ_CHECK(code.view() == model_decode(raw.c_str()));
  FUZZ_CHECK(code.view().size() <= raw.view().size());
  trim_tail(code.bytes);
  const std::string before_extract(code.c_str());
  code_extract(code);
  FUZZ_CHECK(code.view() == model_extract(before_extract));
  FUZZ_CHECK(code.view().size() <= code_max_bytes);

  const int acceptable = code_is_acceptable(code.view());
  bool clean = !code.empty();
  for (unsigned char c : code.view()) clean = clean && !forbidden(c);
  FUZZ_CHECK(acceptable == (clean ? 1 : 0));
  if (!acceptable) return 0;

  for (unsigned char c : code.view()) FUZZ_CHECK(!forbidden(c) && c != 0);
  return 0;
}
