// The project file's layout sections: the value parser, the line reader, the
// round trip of every section, the sections the debugger does not own, files
// beyond 64 KiB, and the failures that must leave the file alone.
#include "halv80/gui/prj_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/tests/gui_test_folder.h"
#include "halv80/gui/win_frame.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"

namespace {

std::vector<std::string> Boxes;
int record_box(std::string_view title, std::string_view text, unsigned) {
  Boxes.push_back(std::string(title) + "|" + std::string(text));
  return kBoxAnswerOk;
}

class ProjectLayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    Boxes.clear();
    previous_ = host_set_message_box_sink(record_box);
  }
  void TearDown() override {
    host_set_message_box_sink(previous_);
    frame_reset_state();
    reset_engine_state();
  }
  // Reads every section the debugger reads at start, then writes every
  // section the exit writes.
  void ReadAll() {
    for (u32 n : {0u, 5u, 4u, 6u, 7u}) ASSERT_TRUE(prj_read_section(n)) << n;
  }
  void WriteAll() {
    for (u16 n : {0, 4, 5, 6, 7, 8, 9}) ASSERT_TRUE(prj_write_section(n)) << n;
  }
  ScratchFolder folder;
  HostMessageBoxSink previous_ = nullptr;
};

TEST_F(ProjectLayoutTest, ValuesAreOneNumberOrABracketedListOfAtMostTen) {
  const struct {
    const char* text;
    int count;
    i32 first;
    std::size_t rest;  // characters left after the read
  } cases[] = {
      {"5,x", 1, 5, 2},
      {",[1,2,3,4],0", 4, 1, 2},
      {"-7", 1, -7, 0},
      {"[1,2,3,4,5,6,7,8,9,10]", 10, 1, 0},
      {"[1,2,3,4,5,6,7,8,9,10,11]", -1, 0, 0},  // an 11th value
      {"[]", -1, 0, 0},
      {"[1,2", -1, 0, 0},
      {"[1;2]", -1, 0, 0},
      {"-", -1, 0, 0},
      {"", -1, 0, 0},
      {"4294967295", 1, -1, 0},  // accumulated unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    i32 v[kMaxLayoutValues]{};
    std::string_view cursor = c.text;
    EXPECT_EQ(prj_parse_values(v, cursor), c.count);
    if (c.count > 0) {
      EXPECT_EQ(v[0], c.first);
      EXPECT_EQ(cursor.size(), c.rest);
    } else {
      EXPECT_EQ(cursor, c.text);  // a failed read leaves the cursor
    }
  }
}

TEST_F(ProjectLayoutTest, AWindowLineStopsAtItsFirstItemThatDoesNotFit) {
  WindowLayoutRecord& r = Frame.Children.layout[3];
  r.backgroundColour = 0x123456;
  r.height = 20;
  std::strcpy(r.faceName, "Old");
  prj_apply_layout_line(3, "=[-5,-6,30,40],1,7");  // cut after the rank
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 40);
  EXPECT_EQ(r.showState, 1);
  EXPECT_EQ(r.activationRank, 7);
  EXPECT_EQ(r.backgroundColour, 0x123456);
  EXPECT_EQ(r.height, 20);
  EXPECT_STREQ(r.faceName, "Old");

  prj_apply_layout_line(3, "=[1,2,3,4],0,1,[1,2],0");  // two colours: the colours and all after stay
  EXPECT_EQ(r.backgroundColour, 0x123456);

  prj_apply_layout_line(3, "=[1,2,3,4],0,1,[1,2,3],0,[1,2,3,4,5,6,7,8,9],ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
  EXPECT_EQ(std::string(r.faceName), "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");  // 31 characters
  EXPECT_EQ(r.charSet, 9);
}

TEST_F(ProjectLayoutTest, TheToolBarLineKeepsAtMost63Buttons) {
  std::string line = "=5";
  for (int i = 0; i < 70; ++i) line += "," + std::to_string(400 + i);
  prj_apply_layout_line(24, line);
  EXPECT_EQ(App.ToolBarFlags, 5);
  ASSERT_EQ(Frame.ToolBarButtons.size(), 64u);
  EXPECT_EQ(Frame.ToolBarButtons[62], 462);
  EXPECT_EQ(Frame.ToolBarButtons[63], kToolBarEnd);
}

TEST_F(ProjectLayoutTest, ReadingAndWritingBackChangesNoByte) {
  const std::string original = project_text();
  folder.Write("qqn80.qpj", original);
  ReadAll();
  EXPECT_EQ(Frame.Children.layout[11].activationRank, 12);
  EXPECT_EQ(Frame.Children.layout[14].right, 980);
  EXPECT_EQ(Frame.WindowResizeMode, 1);
  EXPECT_EQ(Frame.ToolBarButtons.front(), 406);
  EXPECT_EQ(App.StatusBarShown, 1);
  EXPECT_EQ(Frame.ProjectDirectory, "C:\\PRJ");
  WriteAll();
  EXPECT_EQ(folder.Read("qqn80.qpj"), original);
  // and once more in the same run
  WriteAll();
  EXPECT_EQ(folder.Read("qqn80.qpj"), original);
  EXPECT_TRUE(Boxes.empty());
}

// %BRK: read, the text becomes the engine's saved breakpoints; written, the
// break table as it stands at the exit.
TEST_F(ProjectLayoutTest, TheBreakpointsAreKeptByTheEngineAndWrittenFromItsTable) {
  std::string text = project_text();
  text.insert(text.find("%BRK\r\n") + 6, "E 0100,1\r\n");
  folder.Write("qqn80.qpj", text);
  sym_init();  // the engine's start-up makes the store
  ReadAll();
  ASSERT_NE(SymStore.SavedBreakpoints, kNoName);
  char saved[64]{};
  sym_store_copy(SymStore.SavedBreakpoints, reinterpret_cast<u8*>(saved), sizeof saved - 1);
  EXPECT_STREQ(saved, "E 0100,1\r\n");
  brk_set(0x0234, 3, false);
  ASSERT_TRUE(prj_write_section(kSectionBreak));
  const std::string now = folder.Read("qqn80.qpj");
  const std::size_t body = now.find("%BRK\r\n") + 6;
  EXPECT_EQ(now.substr(body, now.find("%OPT") - body), "E 0x234,3\r\n");
}

TEST_F(ProjectLayoutTest, TheOptionsGoInFrontOfTheCommandLineAndCurrentIsTheFolder) {
  folder.Write("qqn80.qpj", project_text("@Current"));
  std::strcpy(Cmd.StartupArgs, " DEMO.HEX ");
  ASSERT_TRUE(prj_read_section(kSectionOption));
  ASSERT_TRUE(prj_read_section(kSectionDirectory));
  EXPECT_STREQ(Cmd.StartupArgs, "-TAB8  DEMO.HEX ");
  EXPECT_EQ(Frame.KeptOptionText, "-TAB8\r\n");
  EXPECT_EQ(Frame.ProjectDirectory, host_current_dir());
  // the exit writes the folder's path in its place, on one line
  ASSERT_TRUE(prj_write_section(kSectionDirectory));
  ASSERT_TRUE(prj_write_section(kSectionDirectory));
  EXPECT_EQ(folder.Read("qqn80.qpj"), project_text(host_current_dir()));
}

TEST_F(ProjectLayoutTest, SectionsTheDebuggerDoesNotOwnAreKeptByteForByte) {
  // a foreign section, a lone LF and a byte 0x1A inside the setup part
  std::string text = project_text();
  const std::string foreign = "%XYZ\r\nkept \x81\x40 text\nA\x1A" "B\r\n";
  text.insert(text.find("%CPU"), foreign);
  folder.Write("qqn80.qpj", text);
  ReadAll();
  WriteAll();
  EXPECT_EQ(folder.Read("qqn80.qpj"), text);

  // a user layout that is not there goes in front of %END; nothing else moves
  ASSERT_TRUE(prj_write_section(2));
  const std::string now = folder.Read("qqn80.qpj");
  const std::size_t at = now.find("%USR2\r\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(now.substr(0, at), text.substr(0, text.find("%END")));
  EXPECT_EQ(now.substr(now.find("%END")), "%END\r\n\x1A");
}

TEST_F(ProjectLayoutTest, AFileBeyond64KiBIsReadAndWrittenWhole) {
  std::string text = project_text();
  const std::string big(70000, 'p');
  text.insert(text.find("PRJNAME") + 7, big);
  folder.Write("qqn80.qpj", text);
  ReadAll();
  EXPECT_EQ(Frame.KeptProjectText.size(), 70000u + 9);
  WriteAll();
  EXPECT_EQ(folder.Read("qqn80.qpj"), text);
}

TEST_F(ProjectLayoutTest, FailuresAreReportedAndLeaveTheFileAlone) {
  // no %END and no %USR1: the write fails
  const std::string text = "%SYS\r\nStatus Bar=1\r\n%OPT\r\n-TAB8\r\n\x1A";
  folder.Write("qqn80.qpj", text);
  EXPECT_FALSE(prj_write_section(1));
  EXPECT_EQ(folder.Read("qqn80.qpj"), text);
  EXPECT_EQ(Boxes, (std::vector<std::string>{"QUENDAR ERROR|Can't Write qqn80.qpj"}));

  // no file at all: the read fails and the start-up with it
  std::filesystem::remove(folder.dir() / "qqn80.qpj");
  Boxes.clear();
  EXPECT_FALSE(prj_read_section(0));
  EXPECT_EQ(Sup.StartupFailure, 1);
  EXPECT_EQ(Boxes, (std::vector<std::string>{"QUENDAR ERROR|Can't Open qqn80.qpj"}));
}

TEST_F(ProjectLayoutTest, AMissingSectionChangesNothing) {
  folder.Write("qqn80.qpj", "%OPT\r\n-TAB8\r\n%END\r\n\x1A");
  App.ToolBarFlags = 9;
  ASSERT_TRUE(prj_read_section(0));
  ASSERT_TRUE(prj_read_section(1));
  EXPECT_EQ(App.ToolBarFlags, 9);
  EXPECT_EQ(Frame.Children.layout[0].activationRank, 0);
}

TEST_F(ProjectLayoutTest, TheShippedTemplateHoldsTheDefaultLayout) {
  std::ifstream in(std::string(HALV80_DATA_DIR) + "/qqn80.qpj", std::ios::binary);
  const std::string shipped(std::istreambuf_iterator<char>(in), {});
  ASSERT_FALSE(shipped.empty());
  EXPECT_EQ(shipped.back(), '\x1A');
  EXPECT_EQ(shipped.find('\x1A'), shipped.size() - 1);
  for (std::size_t i = 0; i < shipped.size(); ++i)
    if (shipped[i] == '\n') {
      ASSERT_EQ(shipped[i - 1], '\r') << i;  // CR LF throughout
    }
  EXPECT_EQ(shipped, project_text("@Current"));
  folder.Write("qqn80.qpj", shipped);
  ASSERT_TRUE(prj_read_section(0));
  for (u16 i = 0; i < kChildCount; ++i)
    if (i != kChildInspect) {
      EXPECT_NE(Frame.Children.layout[i].activationRank, 0) << i;
    }
}

}  // namespace
