// No code that the finish action accepts can add an argument or run anything: for a large set of
// generated codes (every byte, UTF-8, spaces, shell syntax, random mixes, whole redirect
// addresses), sent percent-encoded in the query or in a JSON body, the login CLI receives exactly
// two arguments, "--finish" and the decoded, extracted code; every other code is refused before
// any tool runs. The expected code comes from a plain model of the intake rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostile.h"

namespace {

constexpr std::size_t code_max_bytes = 2047;

bool forbidden(unsigned char c) {
  return (c >= 0x01 && c <= 0x1F) || c == 0x7F ||
         std::string_view("\"$&';<>\\`|").find(static_cast<char>(c)) != std::string_view::npos;
}

int hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code the login CLI must receive for this raw value, or nothing when it must be refused.
std::optional<std::string> model_code(std::string raw) {
  raw = raw.substr(0, code_max_bytes);
  std::string code;
  for (std::size_t i = 0; i < raw.size();) {
    if (raw[i] == '%' && i + 2 < raw.size() && hex(raw[i + 1]) >= 0 && hex(raw[i + 2]) >= 0) {
      const char byte = static_cast<char>(hex(raw[i + 1]) * 16 + hex(raw[i + 2]));
      if (byte == '\0') break;
      code += byte;
      i += 3;
    } else {
      code += raw[i] == '+' ? ' ' : raw[i];
      ++i;
    }
  }
  while (!code.empty() && std::string_view(" \t\r\n").find(code.back()) != std::string_view::npos) {
    code.pop_back();
  }
  const std::size_t found = code.find("code=");
  if (found != std::string::npos) {
    const std::string value =
        code.substr(found + 5, code.find_first_of("#&", found + 5) - found - 5);
    if (!value.empty()) code = value;
  }
  if (code.empty()) return std::nullopt;
  for (unsigned char c : code) {
    if (forbidden(c)) return std::nullopt;
  }
  return code;
}

// Checks the answer to one finish request against the model's verdict on its code; an accepted
// code is added to the runs the login CLI must have made. Returns whether it was accepted.
bool expect_verdict(const reply& answer, const std::optional<std::string>& code,
                    calls& expected_calls) {
  if (!code) {
    EXPECT_EQ(answer, hostile::invalid_code);
    return false;
  }
  EXPECT_EQ(answer, hostile::stopped);
  expected_calls.push_back({"--finish", *code});
  return true;
}

struct rng {
  std::uint64_t state;
  std::uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  }
  std::size_t below(std::size_t n) { return next() % n; }
};

std::vector<std::string> generated_codes() {
  std::vector<std::string> codes;
  for (int c = 0x20; c <= 0x7E; ++c) codes.push_back(std::string(1, static_cast<char>(c)));
  for (int c = 0x01; c <= 0xFF; ++c)
    codes.push_back("x" + std::string(1, static_cast<char>(c)) + "y");
  const char* const fixed[] = {
      "4/0AbC-x_y.z~1",
      "c\xc3\xb3\x64igo",
      "\xe8\xaa\x8d\xe8\xa8\xbc",
      "\xf0\x9f\x94\x91 key",
      "\x80\xc0\xaf\xff\xfe",
      "  leading spaces stay",
      "trailing spaces go   ",
      "a  b   c",
      "--status",
      "-x --help",
      "* ? [a] ~root {a,b} #no-comment ! ( ) a=b",
      "$(touch PWNED)",
      "`touch PWNED`",
      "a'b",
      "a;touch PWNED",
      "a|touch PWNED",
      "a&touch PWNED",
      "a\ntouch PWNED",
      "x\" \"touch PWNED",
      "x\\ y",
      "%2541",
      "http://localhost/?state=s&code=4/0Ab&scope=x",
      "http://localhost/?code=4/0Ab#frag",
      "http://localhost/?code=&x",
      "code=",
      "authcode=zz",
      "http://localhost/?code=$(touch PWNED)",
      "http://localhost/?code=ok&evil=$(touch PWNED)",
  };
  for (const char* f : fixed) codes.push_back(f);
  codes.push_back(std::string(code_max_bytes, 'k'));
  codes.push_back(std::string(3000, 'l'));

  // Random mixes: half from bytes a code may hold (shell syntax among them), half with the
  // forbidden ones thrown in.
  const std::string_view allowed[] = {"a",     "Z",   "9",        "/",    "-",        "_",  ".",
                                      "~",     " ",   "  ",       "+",    "%",        "%2", "=",
                                      "?",     "#",   "code=",    "(",    ")",        "*",  "!",
                                      "{a,b}", "[x]", "\xc3\xa9", "\xff", "--finish", "-n", "%25"};
  const std::string_view refused[] = {"&", "'", "\"", "$",  "`",    "\\",    ";",     "|",
                                      "<", ">", "\t", "\n", "\x7f", "$(id)", "'\\''", "${IFS}"};
  rng r{20260101};
  for (int i = 0; i < 1500; ++i) {
    std::string code;
    const std::size_t n = 1 + r.below(24);
    for (std::size_t k = 0; k < n; ++k) {
      code += i % 2 == 0 || r.below(3) != 0 ? allowed[r.below(std::size(allowed))]
                                            : refused[r.below(std::size(refused))];
    }
    if (r.below(4) == 0) code = "http://localhost/?state=s&code=" + code + "&scope=x";
    codes.push_back(code);
  }
  return codes;
}

TEST(CodeInjection, AcceptedCodesReachTheCliAsExactlyOneArgument) {
  sandbox sb;
  sb.login_cli().on("--finish", hostile::refusing_finish).otherwise("");
  calls expected_calls;
  const std::vector<std::string> codes = generated_codes();
  std::size_t accepted = 0;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const std::string encoded = percent_encode_all(codes[i]);
    const std::optional<std::string> code = model_code(encoded);
    SCOPED_TRACE("code " + printable(codes[i]));
    // Every fourth code travels in a JSON body, the rest in the query.
    const bool in_body = i % 4 == 3;
    reply answer;
    if (in_body) {
      const std::string body = "{\"code\": \"" + encoded + "\"}";
      sb.set_env("CONTENT_LENGTH", std::to_string(body.size()));
      answer = sb.request("action=finish", body);
      sb.unset_env("CONTENT_LENGTH");
    } else {
      answer = sb.request("action=finish&code=" + encoded);
    }
    if (expect_verdict(answer, code, expected_calls)) ++accepted;
  }
  EXPECT_EQ(sb.login_cli().calls(), expected_calls);
  EXPECT_FALSE(std::filesystem::exists(sb.root() + "/PWNED"));
  // The set must exercise both sides, or it proves nothing.
  EXPECT_GT(accepted, codes.size() / 4);
  EXPECT_LT(accepted, codes.size() - codes.size() / 4);
}

// The same codes unencoded, as a careless client would send them: the query's own "&" and "+"
// then change the raw value, and the model follows the same rules on what the program sees.
TEST(CodeInjection, UnencodedCodesFollowTheSameRules) {
  sandbox sb;
  sb.login_cli().on("--finish", hostile::refusing_finish).otherwise("");
  calls expected_calls;
  for (const std::string& c : generated_codes()) {
    if (c.find('\0') != std::string::npos) continue;  // an environment string cannot hold one
    SCOPED_TRACE("code " + printable(c));
    const std::string raw = c.substr(0, c.find('&'));
    if (raw.empty()) continue;
    const std::optional<std::string> code = model_code(raw);
    const reply answer = sb.request("action=finish&code=" + c);
    expect_verdict(answer, code, expected_calls);
  }
  EXPECT_EQ(sb.login_cli().calls(), expected_calls);
  EXPECT_FALSE(std::filesystem::exists(sb.root() + "/PWNED"));
}

}  // namespace
