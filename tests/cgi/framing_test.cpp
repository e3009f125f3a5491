#include "cgi/framing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "page/page.h"

namespace {

// Runs `respond` with standard output redirected to a temporary file; returns what it wrote.
template <typename Respond>
std::string captured(Respond respond) {
  std::fflush(stdout);
  FILE* sink = std::tmpfile();
  int saved = dup(STDOUT_FILENO);
  dup2(fileno(sink), STDOUT_FILENO);
  respond();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string out;
  std::rewind(sink);
  char piece[4096];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, sink)) > 0;) out.append(piece, n);
  std::fclose(sink);
  return out;
}

constexpr std::string_view html_headers =
    "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
    "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; style-src "
    "'unsafe-inline'; img-src data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors *\r\n\r\n";

TEST(Framing, PageFollowsItsExactHeaderBlock) {
  std::string page;
  for (std::string_view part : page_body().part) page.append(part);
  EXPECT_EQ(html_headers.size(), 321u);
  EXPECT_EQ(captured(page_respond), std::string(html_headers) + page);
}

}  // namespace
