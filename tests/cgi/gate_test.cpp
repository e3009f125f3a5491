#include "cgi/gate.h"

#include <gtest/gtest.h>

#include <string>

#include "cgi/request.h"

namespace {

TEST(SecretEquals, MatchesExactBytesOnly) {
  struct {
    std::string given, secret;
    int equal;
  } cases[] = {
      {"s3cret", "s3cret", 1},
      {"s3cre", "s3cret", 0},
      {"s3crett", "s3cret", 0},
      {"S3cret", "s3cret", 0},
      {"s3creT", "s3cret", 0},
      {"", "s3cret", 0},
      {"", "", 1},
      {"x", "", 0},
      {"s3crets3cret", "s3cret", 0},
      {"\xc3\xa9", "\xc3\xa9", 1},
      {std::string("a\0b", 3), "a", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("given=" + c.given + " secret=" + c.secret);
    EXPECT_EQ(secret_equals(c.given, c.secret), c.equal);
  }
}

struct gate_case {
  const char* name;
  const char* password;
  const char* header;
  const char* authorization;
  const char* query;
  int admitted;
};

TEST(Gate, CarriersAdmitInOrder) {
  const std::string long_password(300, 'k');
  const std::string long_query = "pwd=" + long_password;
  const std::string long_bearer = "Bearer " + long_password;
  const gate_case cases[] = {
      {"open when unset", nullptr, nullptr, nullptr, nullptr, 1},
      {"open when empty", "", "wrong", nullptr, "pwd=wrong", 1},
      {"no carrier", "pw", nullptr, nullptr, nullptr, 0},
      {"header", "pw", "pw", nullptr, nullptr, 1},
      {"header is case-sensitive", "pw", "PW", nullptr, nullptr, 0},
      {"header not trimmed", "pw", "pw ", nullptr, nullptr, 0},
      {"empty header", "pw", "", nullptr, nullptr, 0},
      {"wrong header, right pwd", "pw", "nope", nullptr, "a=1&pwd=pw", 1},
      {"bearer", "pw", nullptr, "Bearer pw", nullptr, 1},
      {"bearer, mixed case and spaces", "pw", nullptr, "  bEARER    pw", nullptr, 1},
      {"bearer after tab", "pw", nullptr, "\tBearer pw", nullptr, 0},
      {"bearer trailing space", "pw", nullptr, "Bearer pw ", nullptr, 0},
      {"bearer without space", "pw", nullptr, "Bearerpw", nullptr, 0},
      {"other scheme", "pw", nullptr, "Basic pw", nullptr, 0},
      {"no scheme", "pw", nullptr, "pw", nullptr, 0},
      {"wrong bearer, right pwd", "pw", nullptr, "Bearer x", "pwd=pw", 1},
      {"pwd not decoded", "p&w", nullptr, nullptr, "pwd=p%26w", 0},
      {"pwd stops at &", "p&w", nullptr, nullptr, "pwd=p&w", 0},
      {"pwd first match wins", "pw", nullptr, nullptr, "pwd=x&pwd=pw", 0},
      {"pwd bare key", "pw", nullptr, nullptr, "pwd&pwd=pw", 1},
      {"long password via pwd", long_password.c_str(), nullptr, nullptr, long_query.c_str(), 0},
      {"long password via bearer", long_password.c_str(), nullptr, long_bearer.c_str(), nullptr, 1},
  };
  for (const gate_case& c : cases) {
    SCOPED_TRACE(c.name);
    request req;
    req.password = c.password;
    req.password_header = c.header;
    req.authorization = c.authorization;
    if (c.query != nullptr) req.query = c.query;
    EXPECT_EQ(gate_admits(req), c.admitted);
  }
}

}  // namespace
