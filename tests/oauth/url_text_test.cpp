#include "oauth/url_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PastedCode, BareCodeOrWholeAddress) {
  struct paste_case {
    const char* pasted;
    const char* code;
    const char* state;  // nullptr: none
  };
  const paste_case cases[] = {
      {"4/0AbC-d_e", "4/0AbC-d_e", nullptr},
      {"  4/0AbC\r\n", "4/0AbC", nullptr},
      {"4%2F0AbC+x%25", "4/0AbC+x%", nullptr},  // decoded once, as the console passes it
      {"-starts-with-dash", "-starts-with-dash", nullptr},
      {"http://localhost/?code=4%2F0AbC&state=s1&iss=http%3A%2F%2F127.0.0.1", "4/0AbC", "s1"},
      {"http://localhost:8085/cb?state=s2&code=xyz#frag", "xyz", "s2"},
      {"code=abc&scope=openid+email", "abc", nullptr},
      {"http://localhost/?error=access_denied&state=s3", "", "s3"},
      {"http://localhost/?codec=no&code=yes", "yes", nullptr},
  };
  EXPECT_EQ(pasted_code_parse(cases[7].pasted).error, "access_denied");
  for (const paste_case& c : cases) {
    pasted_code parsed = pasted_code_parse(c.pasted);
    EXPECT_EQ(parsed.code, c.code) << c.pasted;
    EXPECT_EQ(parsed.state.value_or("<none>"), c.state != nullptr ? c.state : "<none>") << c.pasted;
  }
}

TEST(UrlHost, OnlyLoopbackHostsCountAsLoopback) {
  struct host_case {
    const char* address;
    bool loopback;
  };
  const host_case cases[] = {
      {"http://localhost", true},
      {"http://localhost:8080/cb", true},
      {"http://127.0.0.1:9/", true},
      {"http://127.10.20.30", true},
      {"http://[::1]:80/x", true},
      {"http://127.0.0.1.evil.example/", false},
      {"http://localhost.evil.example/", false},
      {"http://127.0.0.1@evil.example/", false},
      {"http://128.0.0.1/", false},
      {"http://127.0.0.256/", false},
      {"http://127.1/", false},
      {"http://[::2]/", false},
      {"ftp://localhost/", false},
  };
  for (const host_case& c : cases) {
    EXPECT_EQ(url_host_is_loopback(url_host(c.address)), c.loopback) << c.address;
  }
}

TEST(UrlEncode, KeepsOnlyUnreservedBytes) {
  std::string out;
  url_add_param(out, "scope", "openid email https://x/y?a=b&c");
  url_add_param(out, "e", "zo\xc3\xab~._-");
  EXPECT_EQ(out, "scope=openid%20email%20https%3A%2F%2Fx%2Fy%3Fa%3Db%26c&e=zo%C3%AB~._-");
  EXPECT_EQ(url_decode("zo%C3%ab+%2"), "zo\xc3\xab %2");
}

}  // namespace
