#include "platform/host/host_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/tests/scratch_dir.h"

namespace {

// Keeps the process's current directory across a test.
class HostDirTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    saved = std::filesystem::current_path();
  }
  void TearDown() override { std::filesystem::current_path(saved); }
  ScratchDir dir;
  std::filesystem::path saved;
};

TEST(HostWildcardTest, MatchesAsTheSystemDoes) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "readme", true},      // no dot: still every name
      {"*.*", "a.b.c", true},       {"*.*", ".hidden", true},
      {"*", "anything.x", true},    {"*.C", "main.c", true},
      {"*.c", "main.cpp", false},   {"*.c", "main.c.bak", false},
      {"m?in.*", "MAIN.C", true},   {"m?in.*", "min.c", false},
      {"prog.*", "prog", true},     // a missing extension matches ".*"
      {"prog.*", "program", false}, {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},   {"", "", true},
      {"", "a", false},             {"QQN80.CFG", "qqn80.cfg", true},
      {"?", "\x83\x41", true},      // one double-byte character is one character
      {"??", "\x83\x41", false},
      {"\x83\x41", "\x83\x61", false},  // second bytes that look like letters compare exactly
      {"*\x83\x41", "x\x83\x41", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pattern << " ~ " << c.name);
    EXPECT_EQ(host_wildcard_match(c.pattern, c.name), c.match);
  }
}

TEST_F(HostDirTest, ListingIsSortedFilteredAndMarksFolders) {
  dir.write("b.C", "");
  dir.write("A.c", "");
  dir.write("noext", "");
  dir.write(".dot", "");
  dir.write("Sub/inner.c", "");
  std::filesystem::create_symlink(dir.path() + "/Sub", dir.path() + "/link");
  std::vector<HostDirEntry> out;
  const auto names = [&] {
    std::vector<std::string> n;
    for (const HostDirEntry& e : out) n.push_back(e.name + (e.is_directory ? "/" : ""));
    return n;
  };
  const struct {
    std::string pattern;
    std::vector<std::string> names;
  } cases[] = {
      {dir.system_path() + "\\*.*", {"./", "../", ".dot", "A.c", "b.C", "link/", "noext", "Sub/"}},
      {dir.system_path() + "\\*.c", {"A.c", "b.C"}},
      {dir.system_path() + "\\SUB\\*.C", {"inner.c"}},  // the folder is found in any case
      {dir.system_path() + "\\sub", {"Sub/"}},
      {dir.system_path() + "\\zzz*", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    ASSERT_TRUE(host_list_directory(c.pattern, out));
    EXPECT_EQ(names(), c.names);
  }
  // What each entry is itself: the link to a folder is a link, not a file.
  ASSERT_TRUE(host_list_directory(dir.system_path() + "\\*", out));
  for (const HostDirEntry& e : out) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(e.is_link, e.name == "link");
    EXPECT_EQ(e.is_regular, !e.is_directory);
  }
  ASSERT_TRUE(host_set_current_dir(dir.system_path() + "\\Sub"));
  ASSERT_TRUE(host_list_directory("*.c", out));  // no folder: the current one
  EXPECT_EQ(names(), std::vector<std::string>{"inner.c"});
  EXPECT_FALSE(host_list_directory(dir.system_path() + "\\missing\\*.*", out));
  EXPECT_TRUE(out.empty());
}

TEST_F(HostDirTest, CurrentDirectoryInTheSystemsForm) {
  dir.write("Work/file.txt", "");
  ASSERT_TRUE(host_set_current_dir(dir.system_path() + "\\work"));
  const std::string real = std::filesystem::canonical(dir.path() + "/Work").string();
  std::string expected = real;
  for (char& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(host_current_dir(), expected);
  EXPECT_FALSE(host_set_current_dir("file.txt"));  // a file is no folder
  EXPECT_FALSE(host_set_current_dir("nothere"));
  EXPECT_EQ(host_current_dir(), expected);  // unchanged by the failures

  EXPECT_TRUE(host_is_directory("."));
  EXPECT_TRUE(host_is_directory(".."));
  EXPECT_TRUE(host_is_directory(dir.system_path() + "\\WORK"));
  EXPECT_FALSE(host_is_directory("FILE.TXT"));
  EXPECT_FALSE(host_is_directory("nothere"));
  EXPECT_FALSE(host_is_directory(""));

  EXPECT_TRUE(host_make_directory("New"));
  EXPECT_TRUE(host_is_directory("new"));
  EXPECT_FALSE(host_make_directory("New"));
}

TEST_F(HostDirTest, FullPathIsLexicalAgainstTheCurrentDirectory) {
  ASSERT_TRUE(host_set_current_dir(dir.system_path()));
  const std::string cwd = host_current_dir();
  const struct {
    std::string in, out;
  } cases[] = {
      {"a.c", cwd + "\\a.c"},
      {"x\\..\\y\\.\\z", cwd + "\\y\\z"},
      {"x/y", cwd + "\\x\\y"},  // either separator
      {"", cwd},
      {"\\abs\\\\path\\", "\\abs\\path"},
      {"C:\\abs", "\\abs"},  // a drive is dropped
      {"\\..\\..", "\\"},    // the root's parent is the root
      {"\\", "\\"},
      {"\\\x95\x5C\\..\\b", "\\b"},  // a 0x5C second byte is no separator
      {"\\\x95\x5C", "\\\x95\x5C"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(host_full_path(c.in), c.out);
  }
}

}  // namespace
