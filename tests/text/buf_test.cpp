#include "text/buf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../support/scoped_resize.h"

namespace {

std::vector<std::size_t> resize_requests;
void* recording_resize(void* block, std::size_t bytes) {
  resize_requests.push_back(bytes);
  return std::realloc(block, bytes);
}

std::string content(const buf& b) {
  return std::string(b.text(), b.len);
}

}  // namespace

TEST(Buf, FirstAppendTakesOneBlockOf1024) {
  buf b;
  ASSERT_EQ(buf_add(b, "x", 1), 1);
  EXPECT_EQ(b.cap, 1024u);
  EXPECT_EQ(b.len, 1u);
  EXPECT_STREQ(b.data, "x");
}

TEST(Buf, EmptyAppendMakesDataTheEmptyText) {
  buf b;
  EXPECT_STREQ(b.text(), "");
  ASSERT_EQ(buf_add(b, nullptr, 0), 1);
  ASSERT_NE(b.data, nullptr);
  EXPECT_EQ(b.cap, 1024u);
  EXPECT_EQ(b.len, 0u);
  EXPECT_STREQ(b.data, "");
}

TEST(Buf, NeedEqualToCapFitsAndOneMoreDoubles) {
  scoped_resize recording(recording_resize);
  resize_requests.clear();
  buf b;
  const std::string bytes(1023, 'a');
  ASSERT_EQ(buf_add(b, bytes.data(), 1000), 1);
  // Needs 1024 bytes in a 1024-byte block: no resize.
  ASSERT_EQ(buf_add(b, bytes.data() + 1000, 23), 1);
  EXPECT_EQ(b.cap, 1024u);
  EXPECT_EQ(b.data[1023], '\0');
  ASSERT_EQ(buf_add(b, "b", 1), 1);
  EXPECT_EQ(b.cap, 2048u);
  EXPECT_EQ(content(b), bytes + "b");
  EXPECT_EQ(resize_requests, (std::vector<std::size_t>{1024, 2048}));
}

TEST(Buf, AppendsBeyondTheLimitAreRefusedWithoutAllocating) {
  scoped_resize recording(recording_resize);
  resize_requests.clear();
  const std::uint64_t refused[] = {buf_limit_bytes, buf_limit_bytes + 1, UINT64_MAX - 1,
                                   UINT64_MAX};
  for (std::uint64_t n : refused) {
    SCOPED_TRACE(n);
    buf b;
    ASSERT_EQ(buf_add(b, "x", 1), 1);
    char* const data = b.data;
    // The byte count alone is refused; the source is never read.
    EXPECT_EQ(buf_add(b, "", n), 0);
    EXPECT_EQ(b.data, data);
    EXPECT_EQ(b.len, 1u);
    EXPECT_EQ(b.cap, 1024u);
  }
  EXPECT_EQ(resize_requests.size(), std::size(refused));  // only each first block
}

TEST(Buf, HoldsUpTo64MiBLessTheTerminator) {
  const std::vector<char> bytes(buf_limit_bytes - 1, 'z');
  buf b;
  ASSERT_EQ(buf_add(b, bytes.data(), bytes.size()), 1);
  EXPECT_EQ(b.cap, buf_limit_bytes);
  EXPECT_EQ(b.len, buf_limit_bytes - 1);
  EXPECT_EQ(b.data[b.len], '\0');
  EXPECT_EQ(buf_add(b, "z", 1), 0);
  EXPECT_EQ(b.len, buf_limit_bytes - 1);
  EXPECT_EQ(b.cap, buf_limit_bytes);
}

TEST(Buf, FailedResizeChangesNothingAndSmallerAppendStillWorks) {
  buf b;
  ASSERT_EQ(buf_adds(b, "kept"), 1);
  char* const data = b.data;
  {
    scoped_resize failing(refuse_resize);
    const std::string big(2000, 'x');
    EXPECT_EQ(buf_add(b, big.data(), big.size()), 0);
    EXPECT_EQ(b.data, data);
    EXPECT_EQ(b.len, 4u);
    EXPECT_EQ(b.cap, 1024u);
    EXPECT_STREQ(b.data, "kept");
    // Fits the block it already has, so no resize is asked for.
    EXPECT_EQ(buf_adds(b, " more"), 1);
  }
  EXPECT_STREQ(b.data, "kept more");
}

TEST(BufAddf, LocalAreaBoundary) {
  // A failing resize proves where the text came from: the buffer is already large enough, so
  // only the second pass would ask the heap for anything.
  const std::size_t lengths[] = {2047, 2048};
  for (std::size_t length : lengths) {
    SCOPED_TRACE(length);
    const std::string text(length, 'q');
    const std::string head(5000, 'h');
    buf b;
    ASSERT_EQ(buf_add(b, head.data(), head.size()), 1);
    {
      scoped_resize failing(refuse_resize);
      const int appended = buf_addf(b, "%s", text.c_str());
      EXPECT_EQ(appended, length < buf_addf_local_bytes ? 1 : 0);
      EXPECT_EQ(b.len, head.size() + (length < buf_addf_local_bytes ? length : 0));
    }
    EXPECT_EQ(buf_addf(b, "%s|", text.c_str()), 1);
    EXPECT_EQ(content(b), head + (length < buf_addf_local_bytes ? text : "") + text + "|");
  }
}

TEST(BufAddf, LongResultIsFormattedCompletely) {
  const std::string word(70000, 'w');
  buf b;
  ASSERT_EQ(buf_adds(b, "<"), 1);
  ASSERT_EQ(buf_addf(b, "%s%d%s", word.c_str(), 42, word.c_str()), 1);
  EXPECT_EQ(content(b), "<" + word + "42" + word);
}
