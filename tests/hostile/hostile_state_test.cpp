// State files that are hostile or broken: binary junk, NUL bytes, unclosed and deeply nested
// objects, sizes at the 8 MiB limit, and paths that are directories, FIFOs, devices, dangling
// symlinks or unreadable. A file that cannot be read as a regular file counts as absent; nothing
// may hang, crash or reach standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "hostile.h"

namespace fs = std::filesystem;

namespace {

using namespace std::string_literals;

constexpr std::size_t state_limit = 8 * 1024 * 1024;

// Deterministic junk without '{' and '"', so it can hold no object and no member name.
std::string junk(std::size_t size, bool with_nul) {
  std::string s;
  std::uint32_t x = 2463534242u;
  while (s.size() < size) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const char c = static_cast<char>(x & 0xFF);
    if (c == '{' || c == '"' || (c == '\0' && !with_nul)) continue;
    s += c;
  }
  return s;
}

std::string repeat(const std::string& piece, std::size_t times) {
  std::string s;
  s.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) s += piece;
  return s;
}

std::string padded_front(const std::string& tail, std::size_t size) {
  return std::string(size - tail.size(), ' ') + tail;
}

// Ways to put something that is not a readable regular file at a path.
enum class broken { directory, dangling_symlink, fifo, device, unreadable };

void make_broken(const std::string& path, broken kind, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  fs::remove_all(path);
  switch (kind) {
    case broken::directory:
      fs::create_directory(path);
      break;
    case broken::dangling_symlink:
      fs::create_symlink(path + ".nowhere", path);
      break;
    case broken::fifo:
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      break;
    case broken::device:
      fs::create_symlink("/dev/zero", path);
      break;
    case broken::unreadable: {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fwrite(content.data(), 1, content.size(), f);
      std::fclose(f);
      ASSERT_EQ(::chmod(path.c_str(), 0), 0);
      break;
    }
  }
}

const char* broken_name(broken kind) {
  switch (kind) {
    case broken::directory:
      return "directory";
    case broken::dangling_symlink:
      return "dangling symlink";
    case broken::fifo:
      return "FIFO without a writer";
    case broken::device:
      return "symlink to /dev/zero";
    case broken::unreadable:
      return "mode 000";
  }
  return "?";
}

// Root reads a mode-000 file all the same: the program makes no access checks of its own, so the
// file's content counts exactly when the kernel lets it be read.
bool readable(broken kind) {
  return kind == broken::unreadable && hostile::running_as_root();
}

constexpr broken every_kind[] = {broken::directory, broken::dangling_symlink, broken::fifo,
                                 broken::device, broken::unreadable};

// The status answer of a node without a login CLI whose state file at `path` holds `content`.
reply status_over_file(sandbox& sb, const std::string& path, const std::string& content) {
  sb.missing_login_cli();
  sb.write_file(path, content);
  return sb.request("action=status");
}

// The same once `path` is made a `kind` of broken file, holding `content` where it is a file.
reply status_over_broken(sandbox& sb, const std::string& path, broken kind,
                         const std::string& content) {
  sb.missing_login_cli();
  make_broken(path, kind, content);
  return sb.request("action=status");
}

TEST(HostileState, AccountsFileContent) {
  const std::string account = R"({"email":"a@x","refresh_token":"r"})";
  struct row {
    const char* name;
    std::string content;
    std::string email;  // empty: no account at all
    bool refresh;
  };
  const row rows[] = {
      {"binary junk", junk(64 * 1024, false), "", false},
      {"binary junk with NUL bytes", junk(64 * 1024, true), "", false},
      {"a NUL before the accounts hides them", std::string(1, '\0') + "[" + account + "]", "",
       false},
      {"a NUL after them cuts off only the junk",
       "[" + account + "]" + std::string(1, '\0') + junk(4096, true), "a@x", true},
      {"junk between objects is skipped", junk(4096, false) + account + junk(4096, false), "a@x",
       true},
      {"missing closing brace", R"([{"email":"a@x","refresh_token":"r")", "a@x", true},
      {"string never closed", R"([{"email":"a@x","refresh_token":"r","note":"open)", "a@x", true},
      {"100,000 unclosed braces", repeat("{", 100000), "", false},
      {"100,000 levels closed, then an account",
       repeat("{", 100000) + repeat("}", 100000) + R"({"email":"b@x","refresh_token":"r"})", "b@x",
       true},
      {"100,000 brackets around an account",
       repeat("[", 100000) + R"({"email":"c@x"})" + repeat("]", 100000), "c@x", false},
      {"100,000 levels inside an account",
       R"({"email":"d@x","deep":)" + repeat("[", 100000) + repeat("]", 100000) +
           R"(,"refresh_token":"r"})",
       "d@x", true},
      {"100,000 nested accounts: only the outer one counts",
       repeat(R"({"email":"outer","x":)", 100000) + "1" + repeat("}", 100000), "outer", false},
      {"exactly 8 MiB is read", padded_front("[" + account + "]", state_limit), "a@x", true},
      {"8 MiB and one byte is not", padded_front("[" + account + "]", state_limit + 1), "", false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    expected::status s = expected::nothing(sb);
    s.email = s.account = r.email;
    s.logged_in = s.has_refresh = r.refresh;
    EXPECT_EQ(status_over_file(sb, sb.accounts_path(), r.content), expected::status_reply(s));
  }
}

TEST(HostileState, AccountsFileThatIsNotARegularFile) {
  for (broken kind : every_kind) {
    SCOPED_TRACE(broken_name(kind));
    sandbox sb;
    const expected::status s =
        readable(kind) ? expected::signed_in(sb, "a@x") : expected::nothing(sb);
    EXPECT_EQ(status_over_broken(sb, sb.accounts_path(), kind,
                                 R"([{"email":"a@x","refresh_token":"r"}])"),
              expected::status_reply(s));
  }
  // A symlink to a regular file is that file.
  sandbox sb;
  sb.missing_login_cli();
  const std::string real =
      sb.write_file("elsewhere.json", R"([{"email":"l@x","refresh_token":"r"}])");
  fs::create_directories(fs::path(sb.accounts_path()).parent_path());
  fs::create_symlink(real, sb.accounts_path());
  EXPECT_EQ(sb.request("action=status"), expected::status_reply(expected::signed_in(sb, "l@x")));
}

TEST(HostileState, SelectedAccountFileThatIsNotARegularFile) {
  // The selection names beta; when it cannot be read, the first account with an email wins.
  for (broken kind : every_kind) {
    SCOPED_TRACE(broken_name(kind));
    sandbox sb;
    sb.write_accounts(R"([{"email":"alpha"},{"email":"beta","refresh_token":"r"}])");
    expected::status s = expected::nothing(sb);
    s.email = s.account = "alpha";
    if (readable(kind)) s = expected::signed_in(sb, "beta");
    EXPECT_EQ(status_over_broken(sb, sb.selected_account_path(), kind, "beta\n"),
              expected::status_reply(s));
  }
}

TEST(HostileState, EnvironmentFileThatIsNotARegularFile) {
  for (broken kind : every_kind) {
    SCOPED_TRACE(broken_name(kind));
    sandbox sb;
    expected::status s = expected::nothing(sb);
    if (readable(kind)) {
      s.project_id = "p-1";
      s.profile = "lumenhollow";
    }
    EXPECT_EQ(status_over_broken(sb, sb.env_file_path(), kind, "GOOGLE_PROJECT_ID=p-1\n"),
              expected::status_reply(s));
  }
}

TEST(HostileState, EnvironmentFileContent) {
  struct row {
    const char* name;
    std::string content;
    std::string project;
    std::string account;
  };
  const row rows[] = {
      {"a NUL ends the text", "GOOGLE_PROJECT_ID=p\0-1\nGOOGLE_ACCOUNT=ops\n"s, "p", ""},
      {"binary junk", junk(64 * 1024, true), "", ""},
      {"an over-long line is skipped whole, the next one counts",
       "GOOGLE_PROJECT_ID=" + std::string(600, 'x') + "\nGOOGLE_PROJECT_ID=p-2\n", "p-2", ""},
      {"a value longer than its field is cut to 255 bytes",
       "GOOGLE_ACCOUNT=" + std::string(400, 'o') + "\n", "", std::string(255, 'o')},
      {"100,000 empty lines, then a value", std::string(100000, '\n') + "GOOGLE_PROJECT_ID=p-3",
       "p-3", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    sandbox sb;
    expected::status s = expected::nothing(sb);
    s.project_id = r.project;
    s.email = s.account = r.account;
    s.profile = "lumenhollow";
    EXPECT_EQ(status_over_file(sb, sb.env_file_path(), r.content), expected::status_reply(s));
  }
}

TEST(HostileState, PendingMarkerOfEveryKind) {
  // The marker counts when the path exists and is not a directory; its content is never read.
  struct row {
    broken kind;
    bool pending;
  };
  const row rows[] = {{broken::directory, false},
                      {broken::dangling_symlink, false},
                      {broken::fifo, true},
                      {broken::device, true},
                      {broken::unreadable, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(broken_name(r.kind));
    sandbox sb;
    expected::status s = expected::nothing(sb);
    s.pending = r.pending;
    EXPECT_EQ(status_over_broken(sb, sb.pending_marker_path(), r.kind, "{}"),
              expected::status_reply(s));
  }
}

}  // namespace
