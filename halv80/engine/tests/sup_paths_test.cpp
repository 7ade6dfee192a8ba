#include "halv80/engine/sup_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

class SupPathsTest : public EngineTest {
 protected:
  void TearDown() override {
    unsetenv("QNSRC");
    unsetenv("HALV80_PATHS");
    EngineTest::TearDown();
  }
  // Every element of the list in `variable`, up to the end.
  static std::vector<std::string> walk(const char* variable) {
    std::vector<std::string> elements;
    if (!sup_path_list_begin(variable)) return elements;
    char out[kPathElementSize];
    while (sup_path_list_next(out)) elements.push_back(out);
    EXPECT_STREQ(out, "");  // exhausted: an empty result
    EXPECT_FALSE(sup_path_list_next(out));
    return elements;
  }
  static void set_current_directory(const char* dir) {
    std::strncpy(Sw.CurrentDirectory, dir, sizeof Sw.CurrentDirectory - 1);
  }
};

TEST_F(SupPathsTest, PathListElements) {
  const std::string long_element(300, 'L');
  // The environment holds UTF-8; "\xE8\xA1\xA8" is a character whose CP932
  // form is 0x95 0x5C.
  const std::string kanji_at_cut = std::string(255, 'K') + "\xE8\xA1\xA8";  // the 256th byte starts a character
  const struct {
    std::string value;
    std::vector<std::string> elements;
  } cases[] = {
      // a leading blank, a folder ending in "\", a drive
      {" \\src\\app;\\inc\\;D:", {"\\src\\app\\", "\\inc\\", "D:"}},
      {"\\a ;b", {"\\a \\", "b\\"}},             // blanks before ";" stay, "\" after them
      {"\\a;;  ;\\b;", {"\\a\\", "\\b\\"}},      // empty elements are passed over
      {"   ", {}},
      {"", {}},
      {"\\\xE8\xA1\xA8", {"\\\x95\x5C\\"}},      // a second byte 0x5C is no "\"
      {long_element + ";next", {std::string(256, 'L') + "\\", "next\\"}},  // cut to 256; the rest dropped
      {kanji_at_cut, {std::string(255, 'K') + "\\"}},  // a character is never cut in two
      {std::string(256, 'M') + "\\", {std::string(256, 'M') + "\\"}},  // the 257th byte was the "\": appended again
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.substr(0, 40));
    setenv("HALV80_PATHS", c.value.c_str(), 1);
    EXPECT_EQ(walk("halv80_paths"), c.elements);
  }
  unsetenv("HALV80_PATHS");
  EXPECT_FALSE(sup_path_list_begin("HALV80_PATHS"));
  char out[kPathElementSize] = "stale";
  EXPECT_FALSE(sup_path_list_next(out));
  EXPECT_STREQ(out, "");
}

TEST_F(SupPathsTest, ListValueIsCutToThePathBuffer) {
  setenv("HALV80_PATHS", (std::string(100, 'a') + ";" + std::string(2000, 'b')).c_str(), 1);
  ASSERT_TRUE(sup_path_list_begin("HALV80_PATHS"));
  EXPECT_EQ(std::strlen(SupPath.PathBuffer), kPathBufferSize - 1);
}

TEST_F(SupPathsTest, SourceDirectoryOverrideAnswersQnsrc) {
  setenv("QNSRC", "\\env\\one;\\env\\two", 1);
  EXPECT_EQ(walk("QNSRC"), (std::vector<std::string>{"\\env\\one\\", "\\env\\two\\"}));
  Sw.SourceDirectoryOverride = "\\sd dir";
  Sw.HasSourceDirectoryOverride = true;
  EXPECT_EQ(walk("QnSrc"), std::vector<std::string>{"\\sd dir\\"});
  EXPECT_STREQ(sup_env_lookup("qnsrc"), "\\sd dir");
  unsetenv("QNSRC");
  EXPECT_EQ(walk("QNSRC"), std::vector<std::string>{"\\sd dir\\"});  // with no variable at all
}

TEST_F(SupPathsTest, EnvLookupSkipsLeadingBlanksAndControls) {
  setenv("HALV80_PATHS", " \t\x01 OFF  ", 1);
  EXPECT_STREQ(sup_env_lookup("Halv80_Paths"), "OFF  ");
  setenv("HALV80_PATHS", "", 1);
  EXPECT_STREQ(sup_env_lookup("HALV80_PATHS"), "");
  unsetenv("HALV80_PATHS");
  EXPECT_EQ(sup_env_lookup("HALV80_PATHS"), nullptr);
}

TEST_F(SupPathsTest, StrchrFindsCharactersNotBytes) {
  const char text[] = "a\x95\x5C" "b\\c:";
  const struct {
    char c;
    long at;  // -1: not found
  } cases[] = {
      {'a', 0}, {'\\', 4},  // the 0x5C after 0x95 belongs to a character
      {'b', 3}, {':', 6},   {'\0', 7}, {'z', -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.c));
    const char* p = sup_strchr(text, c.c);
    EXPECT_EQ(p ? p - text : -1, c.at);
  }
  const char lone[] = "\x95";  // a lead byte with no second byte
  EXPECT_EQ(sup_strchr(lone, '\0'), lone + 1);
  EXPECT_EQ(sup_strchr(lone, 'x'), nullptr);
}

TEST_F(SupPathsTest, MakeAbsolutePrefixesRelativeNamesWithinTheBuffer) {
  const struct {
    const char* dir;
    const char* name;
    std::size_t size;
    int result;
    const char* out;
  } cases[] = {
      {"\\work", "prog.abs", 64, 1, "\\work\\prog.abs"},
      {"\\work\\", "sub\\a.c", 64, 1, "\\work\\sub\\a.c"},
      {"\\\x95\x5C", "a.c", 64, 1, "\\\x95\x5C\\a.c"},  // that 0x5C is no separator
      {"\\work", ".\\a.c", 64, 0, ".\\a.c"},
      {"\\work", "\\abs.c", 64, 0, "\\abs.c"},
      {"\\work", "/abs.c", 64, 0, "/abs.c"},
      {"\\work", "C:a.c", 64, 0, "C:a.c"},
      {"", "a.c", 64, 0, "a.c"},        // no current directory yet
      {"\\work", "", 64, 0, ""},
      {"\\work", "a.c", 10, 1, "\\work\\a.c"},  // exactly fills 10 bytes
      {"\\work", "ab.c", 10, -1, "ab.c"},       // one byte short: unchanged
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dir << " + " << c.name << " in " << c.size);
    reset_engine_state();
    set_current_directory(c.dir);
    std::vector<char> buffer(c.size, '#');
    std::strcpy(buffer.data(), c.name);
    EXPECT_EQ(sup_path_make_absolute(buffer), c.result);
    EXPECT_STREQ(buffer.data(), c.out);
  }
  set_current_directory("\\work");
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(sup_path_make_absolute(unterminated), -1);
}

TEST_F(SupPathsTest, CanonicalDirStoresTheHostsSpellingAndRestores) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() + "/Proj/Src");
  const std::filesystem::path before = std::filesystem::current_path();
  std::string expected = std::filesystem::canonical(dir.path() + "/Proj/Src").string();
  for (char& ch : expected)
    if (ch == '/') ch = '\\';

  EXPECT_TRUE(sup_canonical_dir(dir.system_path() + "\\proj\\.\\SRC\\..\\src"));
  EXPECT_EQ(Sw.CurrentDirectory, expected);
  EXPECT_EQ(std::filesystem::current_path(), before);

  EXPECT_FALSE(sup_canonical_dir(dir.system_path() + "\\missing"));
  EXPECT_EQ(Sw.CurrentDirectory, expected);  // unchanged
  EXPECT_EQ(std::filesystem::current_path(), before);
}

}  // namespace
