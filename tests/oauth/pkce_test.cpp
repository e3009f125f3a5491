#include "oauth/pkce.h"

#include <gtest/gtest.h>

#include "oauth/base64url.h"
#include "oauth/id_token.h"

namespace {

// SHA-256("abc") is the standard test vector; its encoding holds both bytes that base64url maps.
TEST(Pkce, ChallengeIsUnpaddedBase64urlOfSha256) {
  EXPECT_EQ(pkce_challenge("abc"), "ungWv48Bz-pBQUDeXa4iI7ADYaOWF3qctBD_YfIAFa0");
}

TEST(Pkce, VerifiersAreFreshAndUrlSafe) {
  std::string a = pkce_random_text(pkce_verifier_bytes);
  std::string b = pkce_random_text(pkce_verifier_bytes);
  EXPECT_EQ(a.size(), 43u);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
}

TEST(Base64url, DecodesEveryPaddingLengthAndRefusesForeignBytes) {
  for (std::string text : {"", "f", "fo", "foo", "foob", "\xff\xfe\xfd"}) {
    auto bytes = reinterpret_cast<const unsigned char*>(text.data());
    EXPECT_EQ(base64url_decode(base64url_encode(bytes, text.size())), text) << text;
  }
  EXPECT_EQ(base64url_decode("_-8"), "\xff\xef");
  EXPECT_FALSE(base64url_decode("ab+c"));
  EXPECT_FALSE(base64url_decode("abc="));
  EXPECT_FALSE(base64url_decode("abcde"));
}

TEST(IdToken, EmailClaim) {
  auto part = [](std::string_view json) {
    return base64url_encode(reinterpret_cast<const unsigned char*>(json.data()), json.size());
  };
  std::string header = part(R"({"alg":"RS256"})");
  EXPECT_EQ(id_token_email(header + "." + part(R"({"email":"zo\u00eb@x.test"})") + ".sig"),
            "zo\xc3\xab@x.test");
  EXPECT_EQ(id_token_email(header + "." + part(R"({"email":5})") + ".sig"), "");
  EXPECT_EQ(id_token_email(header + "." + part("not json") + ".sig"), "");
  EXPECT_EQ(id_token_email("no-dots-at-all"), "");
}

}  // namespace
