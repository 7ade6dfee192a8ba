// PRMPT, N, VER, EXIT, TIME, CD and DIR as a user types them.
#include "halv80/engine/cmd_small.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

class SmallCommandsTest : public EngineTest {
 protected:
  // The transcript from the last prompt on.
  std::string After(const std::string& transcript, std::size_t from) { return transcript.substr(from); }
};

TEST_F(SmallCommandsTest, PromptCharacter) {
  ScriptedWindowSide ws;
  ws.Start();
  ws.Type("PRMPT #");
  EXPECT_EQ(Cmd.PromptChar, '#');
  ws.Type("prmpt");  // nothing given: unchanged
  EXPECT_EQ(Cmd.PromptChar, '#');
  EXPECT_TRUE(ws.Transcript().ends_with("\n#"));
}

TEST_F(SmallCommandsTest, RadixAcceptsOnly16And10) {
  ScriptedWindowSide ws;
  ws.Start();
  const struct {
    const char* line;
    u16 radix;
    bool error;
  } cases[] = {{"N 10", 10, false}, {"n16", 16, false}, {"N 8", 16, true}, {"N", 16, true}, {"N 100", 16, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::size_t before = ws.Transcript().size();
    const std::size_t refreshes = ws.RequestsOf(RequestCode::Refresh).size();
    ws.Type(c.line);
    EXPECT_EQ(Cmd.Radix, c.radix);
    const std::string out = ws.Transcript().substr(before);
    EXPECT_EQ(out.find(sjis("データ指定が誤りです")) != std::string::npos, c.error) << out;
    // a change refreshes the command window and posts the input-mode hint
    EXPECT_EQ(ws.RequestsOf(RequestCode::Refresh).size(), refreshes + (c.error ? 0 : 1));
  }
}

TEST_F(SmallCommandsTest, ExitWithBangClosesWithoutAsking) {
  const struct {
    const char* line;
    u32 no_confirmation;
  } cases[] = {{"EXIT !", 1}, {"exit", 0}, {"Q !", 1}, {"Q", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    reset_engine_state();
    ScriptedWindowSide ws;
    ws.Start();
    ws.Type(c.line);
    const auto exits = ws.RequestsOf(RequestCode::Exit);
    ASSERT_EQ(exits.size(), 1u);
    EXPECT_EQ(exits[0].p1, c.no_confirmation);
    EXPECT_TRUE(ws.closing);
  }
}

TEST_F(SmallCommandsTest, DeclinedExitJustEnds) {
  ScriptedWindowSide ws;
  ws.confirm_exit = false;
  ws.Start();
  ws.Type("EXIT");
  EXPECT_FALSE(ws.closing);
  EXPECT_EQ(Co.WaitKind, kWaitKey);  // back at the prompt
  EXPECT_TRUE(ws.Transcript().ends_with(">EXIT\n>"));
}

TEST_F(SmallCommandsTest, VersionBanner) {
  ScriptedWindowSide ws;
  std::snprintf(Cmd.BannerName, sizeof Cmd.BannerName, "halv80");
  std::snprintf(Cmd.BannerVersion, sizeof Cmd.BannerVersion, "V1.00");
  std::snprintf(Cmd.BannerNotice, sizeof Cmd.BannerNotice, "(c)");
  ws.Start("-S2");
  const std::string banner = sjis(
      "\n\nhalv80 V1.00 (c)\n"
      "\tサブ プロセス セグメント 　＝ 0000H ( 2 Kbyte )\n"
      "\tＱＵＥＮＤＡＲ-ＲＺ７ Model0   (Mem= 1Mbit X 2)"
      "\n\tモニタ コード領域=0000H   サイズ=0000H(0)"
      "\n\tモニタ イニシャルスタック=8080\n");
  // the start-up prints the banner before the first prompt
  EXPECT_EQ(ws.Transcript(), banner + ">");
  Cmd.LanguageJapanese = 0;
  ws.Type("VER");
  EXPECT_TRUE(ws.Transcript().ends_with(
      "\tQUENDAR-RZ7 Model0  (Mem= 1Mbit X 2)\n\tCode area for monitor=0000H   size=0000H(0)"
      "\n\tInit. Stack for monitor=8080\n>"));
}

}  // namespace

namespace {

TEST_F(SmallCommandsTest, TimeShowsLapsOnTheTickClock) {
  ScriptedWindowSide ws;
  ws.Start();
  std::size_t from = ws.Transcript().size();
  ws.Type("TIME");
  // the fake clock stands at 100,000 ms: 00:01:40.000 of the day
  EXPECT_EQ(ws.Transcript().substr(from), "TIME\n00:01:40.000  (LapTime= 0.000 sec)\n>");
  host_clock_advance(61234);
  from = ws.Transcript().size();
  ws.Type("time");
  EXPECT_EQ(ws.Transcript().substr(from), "time\n00:02:41.234  (LapTime= 61.234 sec)\n>");
  host_clock_advance(5);
  from = ws.Transcript().size();
  ws.Type("TIME CLR");
  EXPECT_EQ(ws.Transcript().substr(from), "TIME CLR\n00:02:41.239  (LapTime= 0.000 sec)\n>");
}

class FolderCommandsTest : public SmallCommandsTest {
 protected:
  void SetUp() override {
    SmallCommandsTest::SetUp();
    ASSERT_FALSE(scratch_.path().empty());
    root_ = scratch_.path();
    std::filesystem::create_directory(root_ / "sub");
    scratch_.write("a.txt", "x");
    scratch_.write("B.C", "y");
    saved_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
  }
  void TearDown() override {
    std::filesystem::current_path(saved_cwd_);
    SmallCommandsTest::TearDown();
  }
  ScratchDir scratch_;
  std::filesystem::path root_, saved_cwd_;
};

TEST_F(FolderCommandsTest, CdStartsAtTheProcessFolderAndRefusesNonFolders) {
  ScriptedWindowSide ws;
  ws.Start();
  std::size_t from = ws.Transcript().size();
  ws.Type("CD");
  // shown with the host's "/"; kept in the system's form
  EXPECT_EQ(ws.Transcript().substr(from), "CD\n" + scratch_.path() + "\n>");
  from = ws.Transcript().size();
  ws.Type("CD SUB");  // found without regard to case
  EXPECT_EQ(ws.Transcript().substr(from), "CD SUB\n" + scratch_.path() + "/sub" + "\n>");
  from = ws.Transcript().size();
  ws.Type("CD ..\\a.txt");
  EXPECT_EQ(ws.Transcript().substr(from), "CD ..\\a.txt" + sjis("\n ディレクトリの指定が違います") + "\n>");
  EXPECT_EQ(std::string(Sw.CurrentDirectory), scratch_.system_path() + "\\sub");
  ws.Type("CD ..");
  EXPECT_EQ(std::string(Sw.CurrentDirectory), scratch_.system_path());
}

TEST_F(FolderCommandsTest, DirListsEveryNameWithFolderMarks) {
  ScriptedWindowSide ws;
  ws.Start();
  const std::size_t from = ws.Transcript().size();
  ws.Type("DIR");
  const std::string expected = "DIR\n ## " + scratch_.path() + "/*.*\n" +
                               ".              <DIR>\n"
                               "..             <DIR>\n"
                               "a.txt         \n"
                               "B.C           \n"
                               "sub            <DIR>\n>";
  EXPECT_EQ(ws.Transcript().substr(from), expected);
}

// Writes 60 paged lines; records where the listing stopped.
void sixty_lines() {
  con_screen_init();
  Con.Top = 10;
  Con.Bottom = 31;  // a 21-row window: a page is 20 lines
  con_set_cursor(0, 30);
  Paging.ListingLineCount = 1;
  int written = 0;
  for (int i = 0; i < 60; ++i) {
    if (con_line_break_paged()) break;
    con_printf("line %d", i);
    ++written;
  }
  con_printf("\nwritten %d", written);
  for (;;) co_wait_gui(kWaitKey);
}

TEST_F(SmallCommandsTest, PagedListingStopsAfterEachPage) {
  ScriptedWindowSide ws;
  ws.Start({}, sixty_lines);
  ws.Settle();
  const std::string prompt = sjis("\n 中断：＾Ｃキー，継続：その他のキー");
  // the prompt waits at the end; answered, it is erased from the log again
  auto prompting = [&] { return ws.Transcript().ends_with(prompt); };
  // the first page ends after line 18 (the count starts at 1)
  EXPECT_TRUE(prompting());
  EXPECT_NE(ws.Transcript().find("line 18"), std::string::npos);
  EXPECT_EQ(ws.Transcript().find("line 19"), std::string::npos);
  ws.Key(' ');  // go on
  ws.Key(0);    // the prompt's last wait
  ws.Settle();
  EXPECT_TRUE(prompting());
  EXPECT_NE(ws.Transcript().find("line 38"), std::string::npos);
  EXPECT_EQ(ws.Transcript().find("line 39"), std::string::npos);
  ws.Key(27);   // stop
  ws.Key(0);
  ws.Settle();
  EXPECT_NE(ws.Transcript().find("written 39"), std::string::npos);
  EXPECT_EQ(Paging.ListingStopped, 1);
  EXPECT_EQ(con_line_break_paged(), 1);  // later breaks stop at once
}

}  // namespace
