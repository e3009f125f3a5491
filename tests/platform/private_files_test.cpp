// Owner-only files replaced whole, and the bounded wait for the lock.
#include "platform/private_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "../support/temp_dir.h"
#include "platform/platform.h"

namespace {

unsigned mode_of(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

std::string content_of(const std::string& path) {
  heap_text text = platform_read_file(path.c_str(), 1 << 20);
  return text ? text.get() : "<absent>";
}

long entries_in(const std::string& dir) {
  return std::distance(std::filesystem::directory_iterator(dir), {});
}

TEST(PrivateFiles, CreatesPrivateDirectoriesAndReplacesWhole) {
  temp_dir dir("platform-private");
  std::string path = dir.path() + "/a/b/state.json";
  ASSERT_EQ(platform_replace_file(path, "first\n"), 1);
  ASSERT_EQ(platform_replace_file(path, "second\n"), 1);
  EXPECT_EQ(content_of(path), "second\n");
  EXPECT_EQ(mode_of(path), 0600u);
  EXPECT_EQ(mode_of(dir.path() + "/a"), 0700u);
  EXPECT_EQ(mode_of(dir.path() + "/a/b"), 0700u);
  // Nothing but the file itself is left in its directory.
  EXPECT_EQ(entries_in(dir.path() + "/a/b"), 1);
}

TEST(PrivateFiles, AFailedReplaceLeavesNothingBehind) {
  temp_dir dir("platform-private");
  std::string blocker = dir.write("file", "x");
  EXPECT_EQ(platform_replace_file(blocker + "/state.json", "new"), 0);
  // A directory standing where the file should be: the rename fails, the temporary file goes.
  std::filesystem::create_directories(dir.path() + "/d/state.json");
  EXPECT_EQ(platform_replace_file(dir.path() + "/d/state.json", "new"), 0);
  EXPECT_EQ(entries_in(dir.path() + "/d"), 1);
}

// A write cut short (here by a file size limit, as a full disk would) must not reach the old file.
TEST(PrivateFiles, AWriteCutShortLeavesTheOldContentWhole) {
  temp_dir dir("platform-private");
  std::string path = dir.write("state.json", "old\n");
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  int replaced = platform_replace_file(path, std::string(8192, 'n'));
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(replaced, 0);
  EXPECT_EQ(content_of(path), "old\n");
  EXPECT_EQ(entries_in(dir.path()), 1);
}

TEST(LockedFile, ASecondHolderWaitsBoundedlyThenGetsIt) {
  temp_dir dir("platform-lock");
  std::string path = dir.path() + "/x.lock";
  auto first = std::make_unique<locked_file>();
  ASSERT_EQ(locked_file_acquire(*first, path, 0), 1);
  locked_file second;
  auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(locked_file_acquire(second, path, 200), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(200));
  first.reset();
  locked_file third;
  EXPECT_EQ(locked_file_acquire(third, path, 0), 1);
}

}  // namespace
