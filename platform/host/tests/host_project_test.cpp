#include "platform/host/host_project.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/host/host_file.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

TEST(HostProjectTest, ReadsAndWritesWholeFilesOfAnySize) {
  ScratchDir dir;
  // Larger than 64 KiB, so no 16-bit length can cut it.
  std::string body = "%SYS\r\n";
  while (body.size() < 70000) body += "Watch Window=[1,2,3,4],1,0\r\n";
  body += "%END\r\n";
  const std::string path = dir.system_path() + "\\QQN80.QPJ";
  ASSERT_TRUE(project_write(path, body));
  EXPECT_EQ(dir.read("QQN80.QPJ"), body + "\x1A");

  std::string text;
  // Found without regard to case, as the system names it in upper case.
  ASSERT_EQ(project_read(dir.system_path() + "\\qqn80.qpj", text), ProjectReadStatus::ok);
  EXPECT_EQ(text, body + "\x1A");
  EXPECT_EQ(project_without_eof(text), body);
  EXPECT_EQ(host_file_open_count(), 0u);

  EXPECT_EQ(project_read(dir.system_path() + "\\missing.qpj", text), ProjectReadStatus::open_failed);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(project_read(dir.system_path(), text), ProjectReadStatus::open_failed);
}

TEST(HostProjectTest, SectionValueLines) {
  const std::string text = "%OPT\r\n-TAB8 -S\r\n%DIR\r\n%PRJ\r\nNAME\r\n%CPU\r\n(80)";
  struct Case {
    const char* name;
    const char* value;
  } cases[] = {
      {"%OPT", "-TAB8 -S"},
      {"%DIR", ""},  // the next section's name counts as an empty value
      {"%PRJ", "NAME"},
      {"%CPU", "(80)"},  // runs to the end of a text without a final CR LF
  };
  for (const Case& c : cases) {
    const std::size_t at = project_find(text, c.name);
    ASSERT_NE(at, std::string::npos) << c.name;
    EXPECT_EQ(project_line_after(text, at, std::string_view(c.name).size()), c.value) << c.name;
  }
  EXPECT_EQ(project_find(text, "%END"), std::string::npos);
  EXPECT_EQ(project_find(text, "%OPT", text.size() + 1), std::string::npos);
  // A name at the very end of the text has no value, and offsets out of the
  // text read nothing.
  EXPECT_EQ(project_line_after("%OPT", 0, 4), "");
  EXPECT_EQ(project_line_after("%OPT", 3, 4), "");
  EXPECT_EQ(project_line_after("%OPT", 9, 4), "");
}

TEST(HostProjectTest, WithoutEofDropsOnlyTrailingMarks) {
  EXPECT_EQ(project_without_eof("a\x1A" "b\x1A\x1A"), "a\x1A" "b");
  EXPECT_EQ(project_without_eof("\x1A"), "");
  EXPECT_EQ(project_without_eof("ab"), "ab");
}

}  // namespace
