#include "cgi/framing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "cgi/dispatch.h"

namespace {

// Runs `body` with standard output redirected to a temporary file and returns what it wrote.
template <typename F>
std::string capture_stdout(F body) {
  std::fflush(stdout);
  FILE* sink = std::tmpfile();
  int saved = dup(STDOUT_FILENO);
  dup2(fileno(sink), STDOUT_FILENO);
  body();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string out;
  std::rewind(sink);
  char piece[4096];
  for (std::size_t n; (n = std::fread(piece, 1, sizeof piece, sink)) > 0;) out.append(piece, n);
  std::fclose(sink);
  return out;
}

const std::string json_head =
    "Content-Type: application/json; charset=utf-8\r\nCache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n\r\n";

TEST(Framing, ErrorWithoutDetailLeavesMemberOut) {
  std::string out = capture_stdout([] { emit_error(200, "OK", "start_failed", ""); });
  EXPECT_EQ(out, "Status: 200 OK\r\n" + json_head + "{\"ok\":false,\"error\":\"start_failed\"}\n");
}

TEST(Framing, SuccessHasNoStatusLine) {
  std::string out = capture_stdout([] {
    buf body;
    buf_adds(body, "{\"ok\":true}\n");
    json_respond(body);
  });
  EXPECT_EQ(json_head.size(), 107u);
  EXPECT_EQ(out, json_head + "{\"ok\":true}\n");
  EXPECT_EQ(capture_stdout([] { json_respond(buf{}); }), json_head);
}

TEST(Dispatch, UnknownActionEchoesEscapedCutValue) {
  struct {
    std::string query, detail;
  } cases[] = {
      {"action=STATUS", "STATUS"},
      {"action=st%61tus&format=json", "st%61tus"},
      {"action=a\"b\\c\xc3\xa9", "a\\\"b\\\\c\xc3\xa9"},
      {"action=" + std::string(100, 'z'), std::string(63, 'z')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    int status = 0;
    std::string out = capture_stdout([&] { status = handle_request(c.query.c_str()); });
    EXPECT_EQ(status, exit_failure);
    EXPECT_EQ(out, "Status: 404 Not Found\r\n" + json_head +
                       "{\"ok\":false,\"error\":\"unknown_action\",\"detail\":\"" + c.detail +
                       "\"}\n");
  }
}

}  // namespace
