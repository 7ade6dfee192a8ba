#include "platform/host/host_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/host/tests/file_size_limit.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

class HostFileTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path().empty()); }
  void TearDown() override { EXPECT_EQ(host_file_open_count(), 0u); }
  // A name inside the scratch folder, in the system's form.
  std::string sys(std::string_view name) const { return dir.system_path() + "\\" + std::string(name); }
  // What the system name `name` (inside the scratch folder) opens for reading;
  // "<not opened>" when it opens nothing.
  std::string opened_contents(std::string_view name) const;
  ScratchDir dir;
};

std::string read_all(int h) {
  std::string s;
  char buffer[64];
  for (i32 n; (n = host_file_read(h, buffer, sizeof buffer)) > 0;) s.append(buffer, std::size_t(n));
  return s;
}

std::string HostFileTest::opened_contents(std::string_view name) const {
  const int h = host_file_open(sys(name), kFileModeRead);
  if (h <= 0) return "<not opened>";
  std::string contents = read_all(h);
  host_file_close(h);
  return contents;
}

TEST_F(HostFileTest, OpenModesGiveTheirAccessOnly) {
  dir.write("data.bin", "abc");
  const struct {
    int mode;
    bool opens, reads, writes;
  } cases[] = {
      {kFileModeRead, true, true, false},
      {kFileModeWrite, true, false, true},
      {kFileModeReadWrite, true, true, true},
      {kFileModeAppend, true, false, true},
      {4, false, false, false},  // no such mode, even for an existing file
      {-1, false, false, false},
      {0x100, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    const int h = host_file_open(sys("data.bin"), c.mode);
    if (!c.opens) {
      EXPECT_EQ(h, kNoFile);
      continue;
    }
    ASSERT_GT(h, 0);  // a handle is never 0
    char b[4];
    EXPECT_EQ(host_file_read(h, b, 1), c.reads ? 1 : -1);
    EXPECT_EQ(host_file_write(h, "Z", 1), c.writes ? 1 : -1);
    EXPECT_EQ(host_file_close(h), 0);
  }
  EXPECT_EQ(dir.read("data.bin"), "ZZcZ");  // mode 1 wrote at 0, mode 2 after its read, mode 3 at the end
}

TEST_F(HostFileTest, OpenRefusesMissingFilesAndFolders) {
  std::filesystem::create_directory(dir.path() + "/sub");
  for (const char* name : {"missing.txt", "sub", "nofolder\\x.txt"}) {
    SCOPED_TRACE(name);
    for (int mode = 0; mode <= 3; ++mode) EXPECT_EQ(host_file_open(sys(name), mode), kNoFile);
  }
  EXPECT_EQ(host_file_create(sys("sub")), kNoFile);
  EXPECT_EQ(host_file_create(sys("nofolder\\x.txt")), kNoFile);
}

TEST_F(HostFileTest, CreateEmptiesAndRoundTripsWithSeek) {
  dir.write("f.txt", "old contents");
  const int h = host_file_create(sys("f.txt"));
  ASSERT_GT(h, 0);
  EXPECT_EQ(host_file_write(h, "0123456789", 10), 10);
  const struct {
    i32 offset;
    int origin;
    i32 result;
  } seeks[] = {
      {0, kSeekSet, 0},   {4, kSeekSet, 4},  {2, kSeekCurrent, 6}, {-3, kSeekEnd, 7},
      {-8, kSeekCurrent, -1},  // before the start: refused, position kept at 7
      {0, kSeekCurrent, 7},    {1, 3, -1},   // no such origin
      {20, kSeekSet, 20},      // beyond the end is allowed
  };
  for (const auto& s : seeks) {
    SCOPED_TRACE(testing::Message() << s.offset << "/" << s.origin);
    EXPECT_EQ(host_file_seek(h, s.offset, s.origin), s.result);
  }
  char b[16];
  EXPECT_EQ(host_file_read(h, b, sizeof b), 0);  // at the end
  EXPECT_EQ(host_file_seek(h, 3, kSeekSet), 3);
  EXPECT_EQ(read_all(h), "3456789");  // a seek beyond the end wrote nothing
  EXPECT_EQ(host_file_close(h), 0);
  EXPECT_EQ(dir.read("f.txt").substr(0, 10), "0123456789");
}

TEST_F(HostFileTest, SharingFollowsTheOpenModes) {
  dir.write("s.txt", "x");
  constexpr int kCreate = 9;  // row marker: host_file_create
  const struct {
    int first, second;
    bool second_opens;
  } cases[] = {
      {kFileModeRead, kFileModeRead, true},
      {kFileModeRead, kFileModeWrite, false},
      {kFileModeRead, kFileModeReadWrite, false},
      {kFileModeWrite, kFileModeRead, false},  // the reader allows no writer
      {kFileModeWrite, kFileModeWrite, false},
      {kFileModeReadWrite, kFileModeRead, false},
      {kCreate, kFileModeRead, false},
      {kFileModeRead, kCreate, false},  // and the file is not emptied
  };
  const auto open = [&](int mode) { return mode == kCreate ? host_file_create(sys("s.txt")) : host_file_open(sys("s.txt"), mode); };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
    dir.write("s.txt", "x");
    const int a = open(c.first);
    ASSERT_GT(a, 0);
    const int b = open(c.second);
    EXPECT_EQ(b > 0, c.second_opens);
    if (b > 0) host_file_close(b);
    host_file_close(a);
    EXPECT_EQ(dir.read("s.txt"), c.first == kCreate ? "" : "x");
    // once the first is closed, the second opens
    const int again = open(c.second);
    EXPECT_GT(again, 0);
    host_file_close(again);
  }
}

TEST_F(HostFileTest, HandleTableIsBoundedAndChecked) {
  dir.write("t.txt", "x");
  std::vector<int> handles;
  for (std::size_t i = 0; i < kHostFileSlots; ++i) {
    handles.push_back(host_file_open(sys("t.txt"), kFileModeRead));
    ASSERT_GT(handles.back(), 0);
  }
  EXPECT_EQ(host_file_open(sys("t.txt"), kFileModeRead), kNoFile);  // the table is full
  for (const int h : handles) EXPECT_EQ(host_file_close(h), 0);
  char b[1];
  for (const int bad : {0, -1, 1, int(kHostFileSlots) + 1, 1000}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(host_file_close(bad), -1);
    EXPECT_EQ(host_file_read(bad, b, 1), -1);
    EXPECT_EQ(host_file_write(bad, b, 1), -1);
    EXPECT_EQ(host_file_seek(bad, 0, kSeekSet), -1);
  }
}

TEST_F(HostFileTest, SystemPathsMapToHostNames) {
  dir.write("Sub/QQN80.CFG", "cfg");
  dir.write("Sub/mon80.qqn", "mon");
  dir.write("\xE8\xA1\xA8.txt", "kanji");  // a name whose CP932 form ends its first character in 0x5C
  const struct {
    const char* name;
    const char* contents;
  } cases[] = {
      {"Sub\\QQN80.CFG", "cfg"}, {"sub\\qqn80.cfg", "cfg"}, {"SUB\\MON80.QQN", "mon"},
      {"Sub/mon80.qqn", "mon"},  // slashes are taken as they are
      {"sub\\.\\QQN80.cfg", "cfg"},
      {"\x95\x5C.TXT", "kanji"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(opened_contents(c.name), c.contents);
  }
  // a drive is dropped; a name that matches nothing stays as written
  EXPECT_EQ(host_map_path("C:" + sys("SUB\\New\\X.cfg")), dir.path() + "/Sub/New/X.cfg");
  EXPECT_EQ(host_map_path("rel\\a"), "rel/a");
  EXPECT_EQ(host_system_path("/a/\xE8\xA1\xA8"), "\\a\\\x95\x5C");
}

TEST_F(HostFileTest, ExactNameWinsThenTheFirstInByteOrder) {
  dir.write("abc", "lower");
  dir.write("ABC", "upper");
  dir.write("aBc", "mixed");
  const struct {
    const char* name;
    const char* contents;
  } cases[] = {{"abc", "lower"}, {"ABC", "upper"}, {"aBc", "mixed"}, {"Abc", "upper"}, {"abC", "upper"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(opened_contents(c.name), c.contents);
  }
}

TEST_F(HostFileTest, RenameNeverReplacesAndDeleteTakesFilesOnly) {
  dir.write("a.txt", "A");
  dir.write("b.txt", "B");
  std::filesystem::create_directory(dir.path() + "/folder");
  EXPECT_EQ(host_file_rename(sys("a.txt"), sys("b.txt")), -1);
  EXPECT_EQ(host_file_rename(sys("A.TXT"), sys("B.txt")), -1);  // the same, in another case
  EXPECT_EQ(host_file_rename(sys("missing"), sys("c.txt")), -1);
  EXPECT_EQ(host_file_rename(sys("A.txt"), sys("c.txt")), 0);
  EXPECT_EQ(dir.read("c.txt"), "A");
  EXPECT_FALSE(dir.exists("a.txt"));
  EXPECT_EQ(host_file_rename(sys("c.txt"), sys("C.TXT")), 0);  // a change of case
  EXPECT_EQ(dir.read("C.TXT"), "A");
  EXPECT_FALSE(dir.exists("c.txt"));

  EXPECT_EQ(host_file_delete(sys("b.TXT")), 0);
  EXPECT_FALSE(dir.exists("b.txt"));
  EXPECT_EQ(host_file_delete(sys("b.txt")), -1);
  EXPECT_EQ(host_file_delete(sys("folder")), -1);
  EXPECT_TRUE(dir.exists("folder"));
}

TEST_F(HostFileTest, AtomicWriteReplacesTheFileAndLeavesNothingElse) {
  dir.write("QQN80.CFG", "old");
  ASSERT_EQ(chmod((dir.path() + "/QQN80.CFG").c_str(), 0640), 0);
  const std::string text = "new\r\ncontents\r\n";
  ASSERT_TRUE(host_write_file_atomic(sys("qqn80.cfg"), std::span(reinterpret_cast<const u8*>(text.data()), text.size())));
  EXPECT_EQ(dir.read("QQN80.CFG"), text);
  struct stat st;
  ASSERT_EQ(stat((dir.path() + "/QQN80.CFG").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"QQN80.CFG"});  // no temporary left, no second spelling

  ASSERT_TRUE(host_write_file_atomic(sys("fresh.bin"), {}));
  EXPECT_TRUE(dir.exists("fresh.bin"));
  EXPECT_FALSE(host_write_file_atomic(sys("nofolder\\x.bin"), {}));
  EXPECT_FALSE(host_write_file_atomic(dir.system_path() + "\\", {}));
}

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(HostFileTest, AReplacementTakesTheNameOnlyWhenCommitted) {
  dir.write("prog.hex", "old");
  ASSERT_EQ(chmod((dir.path() + "/prog.hex").c_str(), 0604), 0);
  int h = host_file_create_replacement(sys("PROG.HEX"));  // the existing spelling is replaced
  ASSERT_GT(h, 0);
  ASSERT_EQ(host_file_write(h, "new", 3), 3);
  EXPECT_EQ(dir.read("prog.hex"), "old");  // untouched while it is written
  const std::vector<std::string> during = names_in(dir.path());
  ASSERT_EQ(during.size(), 2u);
  EXPECT_TRUE(during[0].starts_with(".prog.hex.halv80-")) << during[0];
  EXPECT_EQ(host_file_commit(h), kCommitDone);
  EXPECT_EQ(dir.read("prog.hex"), "new");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"prog.hex"});
  struct stat st;
  ASSERT_EQ(stat((dir.path() + "/prog.hex").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);  // the old file's permissions

  // closed without a commit: discarded, the old file stays
  h = host_file_create_replacement(sys("prog.hex"));
  ASSERT_EQ(host_file_write(h, "lost", 4), 4);
  EXPECT_EQ(host_file_close(h), 0);
  EXPECT_EQ(dir.read("prog.hex"), "new");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"prog.hex"});

  // a new name; a folder is never replaced; a handle that is no replacement
  h = host_file_create_replacement(sys("fresh.s"));
  ASSERT_GT(h, 0);
  EXPECT_EQ(host_file_commit(h), kCommitDone);
  EXPECT_TRUE(dir.exists("fresh.s"));
  dir.write("sub/x", "");
  EXPECT_EQ(host_file_create_replacement(sys("sub")), kNoFile);
  EXPECT_EQ(host_file_create_replacement(sys("nofolder\\a.bin")), kNoFile);
  h = host_file_open(sys("fresh.s"), kFileModeRead);
  EXPECT_EQ(host_file_commit(h), kCommitUnwritten);
  EXPECT_EQ(host_file_close(h), 0);
  EXPECT_EQ(host_file_commit(h), kCommitUnwritten);
}

TEST_F(HostFileTest, OnAFullDiskTheOldFileStaysWhole) {
  dir.write("ZER80.DAT", "old state");
  const std::string bytes(4096, 'n');
  const std::span<const u8> data(reinterpret_cast<const u8*>(bytes.data()), bytes.size());
  {
    const FileSizeLimit full_disk(1000);
    EXPECT_FALSE(host_write_file_atomic(sys("ZER80.DAT"), data));
    EXPECT_EQ(errno, EFBIG);
    const int h = host_file_create_replacement(sys("ZER80.DAT"));
    ASSERT_GT(h, 0);
    EXPECT_EQ(host_file_write(h, bytes.data(), u32(bytes.size())), -1);
    EXPECT_EQ(host_file_close(h), 0);
  }
  EXPECT_EQ(dir.read("ZER80.DAT"), "old state");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"ZER80.DAT"});
}

TEST_F(HostFileTest, StaleTemporariesAreRemovedAndLiveOnesKept) {
  const struct {
    const char* name;
    bool removed;
  } cases[] = {
      {".r.txt.halv80-Ab12Cd", true},       // a replacement whose writer was killed
      {".ZER80.DAT.x9YzQ1", true},          // the older naming of a file of ours
      {".ZER80.DAT.halv80-abcdef", true},
      {".notes.x9YzQ1", false},             // the older naming, but no file of ours
      {".r.txt.halv80-Ab12C", false},       // not six characters
      {".r.txt.halv80-Ab1_Cd", false},      // not what mkostemp puts
      {"r.txt.halv80-Ab12Cd", false},       // not hidden
      {".ZER80.DAT.x9YzQ1x", false},
  };
  for (const auto& c : cases) dir.write(c.name, "x");
  dir.write(".dir.halv80-abcdef/inside", "");  // a folder is never removed
  const int live = host_file_create_replacement(sys("w.bin"));  // being written: locked
  ASSERT_GT(live, 0);
  constexpr std::string_view kOwn[] = {"ZER80.DAT", "Memo.QN"};
  EXPECT_EQ(host_remove_stale_temporaries(dir.system_path(), kOwn), 3u);
  for (const auto& c : cases) EXPECT_NE(dir.exists(c.name), c.removed) << c.name;
  EXPECT_TRUE(dir.exists(".dir.halv80-abcdef/inside"));
  ASSERT_EQ(host_file_write(live, "w", 1), 1);
  EXPECT_EQ(host_file_commit(live), kCommitDone);
  EXPECT_EQ(dir.read("w.bin"), "w");
  EXPECT_EQ(host_remove_stale_temporaries(dir.system_path() + "\\missing"), 0u);
}

}  // namespace
