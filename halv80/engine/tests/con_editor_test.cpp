// The command-line editor and its history, typed as a user would through the
// scripted window side: cursor moves, insert mode, recall, copy from the
// previous line, clear, cancel, "!!" and "!text", the full line, the ring's
// wrap and the pick lists of history lines and symbols.
#include "halv80/engine/con_editor.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/screen_text.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

class EditorTest : public EngineTest {
 public:
  void SetUp() override {
    EngineTest::SetUp();
    Links.symbol_store_setup = sym_reset;  // the ring lives in the store's work area
    side = std::make_unique<ScriptedWindowSide>();  // after the reset: it watches the log
    side->Start();
  }
  void Press(std::string_view text) {
    for (const char c : text) side->Key(u8(c));
  }
  void Ctrl(char letter) { side->Key(u8(letter - '@'), 0, kKeyCtrl); }
  void Special(u16 code, u8 flags = 0) { side->Key(0, code, flags); }
  // The line the command loop ran last.
  std::string Ran() const { return Mac.LineBuffer; }
  // Every history entry, newest first.
  std::vector<std::string> History() {
    std::vector<std::string> all;
    Editor.Browse = kBrowseAtEnd;
    char out[kEditBufferSize];
    while (hist_find("", out, 1) && all.size() < 200) {
      if (!all.empty() && all.front() == out) break;  // wrapped round
      all.emplace_back(out);
    }
    Editor.Browse = kBrowseAtEnd;
    return all;
  }
  std::unique_ptr<ScriptedWindowSide> side;
};

TEST_F(EditorTest, EditingCommandsChangeTheLineAsTyped) {
  const struct {
    const char* name;
    std::function<void(EditorTest&)> keys;
    const char* line;
  } cases[] = {
      {"left then insert", [](EditorTest& t) { t.Press("ZBD"); t.Special(kKeyLeft); t.Press("C"); }, "ZBCD"},
      {"overwrite", [](EditorTest& t) { t.Press("ZBCD"); t.Special(kKeyInsert); t.Special(kKeyLeft); t.Special(kKeyLeft); t.Press("X"); }, "ZBXD"},
      {"start and delete", [](EditorTest& t) { t.Press("YZBC"); t.Ctrl('A'); t.Special(kKeyDelete); }, "ZBC"},
      {"right inside the line", [](EditorTest& t) { t.Press("ZC"); t.Ctrl('A'); t.Special(kKeyRight); t.Press("B"); }, "ZBC"},
      {"backspace takes a pair", [](EditorTest& t) { t.Press("Z"); t.Press(sjis("漢")); t.side->Key(8); t.Press("B"); }, "ZB"},
      {"clear", [](EditorTest& t) { t.Press("WRONG"); t.Ctrl('U'); t.Press("ZRIGHT"); }, "ZRIGHT"},
      {"ESC at the prompt keeps the line", [](EditorTest& t) { t.Press("ZB"); t.side->Key(27); t.Press("C"); }, "ZBC"},
      {"other control characters", [](EditorTest& t) { t.Press("Z"); t.side->Key(2); t.Press("B"); }, "ZB"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.keys(*this);
    side->Key(13);
    EXPECT_EQ(Ran(), c.line);
    // the log keeps the final line only, after its prompt
    const std::string all = side->Transcript();
    EXPECT_NE(all.find(std::string(">") + c.line + "\n"), std::string::npos) << all;
  }
}

TEST_F(EditorTest, RecallByPrefixOlderAndNewer) {
  side->Type("ZD 100");
  side->Type("ZE 5");
  side->Type("ZD 200");
  Special(kKeyUp, kKeyShift);  // "u": the newest line
  side->Key(13);
  EXPECT_EQ(Ran(), "ZD 200");
  Press("ZE");
  Special(kKeyUp, kKeyShift);
  side->Key(13);
  EXPECT_EQ(Ran(), "ZE 5");
  // older twice, then newer once: the prefix "D" is kept for the whole recall
  Press("ZD");
  Special(kKeyUp, kKeyShift);
  Special(kKeyUp, kKeyShift);
  Special(kKeyDown, kKeyShift);
  side->Key(13);
  EXPECT_EQ(Ran(), "ZD 200");
}

TEST_F(EditorTest, EqualLinesAreKeptOnceAndEmptyLinesNotAtAll) {
  side->Type("A1");
  side->Type("A1");
  side->Type("");
  side->Type("B2");
  EXPECT_EQ(History(), (std::vector<std::string>{"B2", "A1"}));
  // the ring lives where the saved-state file keeps it
  EXPECT_EQ(Saved.HistoryNonEmpty, 1);
  EXPECT_EQ(std::memcmp(sym_store_ptr(kSymWorkArea2), "A1\0B2\0", 6), 0);
}

TEST_F(EditorTest, TheOldestLinesLeaveTheRingWhole) {
  std::vector<std::string> added;
  for (int i = 0; i < 40; ++i) {
    added.push_back(std::to_string(i) + std::string(60 + i % 7, char('a' + i % 26)));
    hist_add(added.back());
  }
  const std::vector<std::string> kept = History();
  ASSERT_FALSE(kept.empty());
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i], added[added.size() - 1 - i]);  // whole lines, newest first
    bytes += kept[i].size() + 1;
  }
  EXPECT_LE(bytes, kHistoryRingSize);
  EXPECT_GT(bytes + added[added.size() - 1 - kept.size()].size() + 1, kHistoryRingSize - 70);
}

TEST_F(EditorTest, CopyFromThePreviousLine) {
  side->Type("ZHELLO");
  Special(kKeyRight);  // at the end of an empty line: one character
  side->Key(13);
  EXPECT_EQ(Ran(), "Z");
  side->Type("ZHELLO");
  Press("ZHE");
  Ctrl('F');  // "f" at the end: the rest
  side->Key(13);
  EXPECT_EQ(Ran(), "ZHELLO");
}

TEST_F(EditorTest, BangBangAndBangTextRecallWithoutRunning) {
  // nothing to recall yet: message 1 (a beep) and an empty line
  side->Type("!!");
  EXPECT_EQ(Editor.Recall, kRecallNotFound);
  ASSERT_FALSE(side->errors.empty());
  EXPECT_EQ(side->errors.back(), kErrBusyBase + 1);
  side->errors.clear();
  side->Type("ZAB 1");
  side->Type("XYZ");
  side->Type("!!");
  EXPECT_EQ(Editor.Recall, kRecallFound);
  EXPECT_EQ(Ran(), "XYZ");  // not run again: the editor shows it
  Press("2");
  EXPECT_EQ(Editor.Recall, kRecallNone);  // the next key ends the recall's mark
  side->Key(13);
  EXPECT_EQ(Ran(), "XYZ2");
  side->Type("!ZA");
  EXPECT_EQ(Editor.Recall, kRecallFound);
  side->Key(13);
  EXPECT_EQ(Ran(), "ZAB 1");
  EXPECT_TRUE(side->errors.empty());
  // no match leaves the line as it was, with message 1
  for (const char* line : {"!QQ", "!!!"}) {
    SCOPED_TRACE(line);
    side->Type(line);
    EXPECT_EQ(Editor.Recall, kRecallNotFound);
    ASSERT_FALSE(side->errors.empty());
    EXPECT_EQ(side->errors.back(), kErrBusyBase + 1);
    Ctrl('U');
    side->Type("Z");
    EXPECT_EQ(Ran(), "Z");
  }
  EXPECT_EQ(History().front(), "Z");
}

// The window grows while a line is typed: the line moves to the pane's new
// last row, and the editor goes on drawing it there.
TEST_F(EditorTest, TheLineBeingEditedMovesWithThePane) {
  Press("ZBD");
  const u16 before = Con.Row;
  Con.Geometry.command_rows = u16(Con.Bottom - Con.Top + 3);
  sup_split_screen_panes(kWindowIndexCommand);
  ASSERT_EQ(Con.Row, before + 3);
  const std::string left_behind = screen_row_text(before);
  Special(kKeyLeft);
  Press("C");  // inserted: the line is drawn again from its start
  EXPECT_EQ(screen_row_text(Con.Row), ">ZBCD");
  EXPECT_EQ(screen_row_text(before), left_behind);
  EXPECT_EQ(Con.Column, 4);
  side->Key(13);
  EXPECT_EQ(Ran(), "ZBCD");
}

TEST_F(EditorTest, AFullLineIsTakenAtOnce) {
  Press(std::string(255, 'A'));
  EXPECT_EQ(Ran(), std::string(255, 'A'));
  EXPECT_TRUE(History().empty());  // without entering the history
}

TEST_F(EditorTest, HistoryPickListHandsOverTheMatchesNewestFirst) {
  side->Type("ZB 1");
  side->Type("X");
  side->Type("ZW 2");
  side->Reply(RequestCode::PickList, [](RequestBlock& r) { std::strcpy(static_cast<char*>(r.p3_ptr), "ZB 1"); });
  Press("Z");
  Special(kKeyF2, kKeyShift);  // Shift+F2: "h"
  const auto lists = side->RequestsOf(RequestCode::PickList);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].p1, 1u);
  EXPECT_EQ(lists[0].items, (std::vector<std::string>{"ZW 2", "ZB 1"}));
  side->Key(13);
  EXPECT_EQ(Ran(), "ZB 1");
  // cancelled: the line comes back
  Press("Z");
  Special(kKeyF2, kKeyShift);
  Press("Q");
  side->Key(13);
  EXPECT_EQ(Ran(), "ZQ");
}

TEST_F(EditorTest, SymbolPickListCompletesTheTrailingIdentifier) {
  sym_add("_main", 0x100, 0);
  sym_add("_other", 0x200, 0);
  sym_add("_mark", 0x300, 0);
  side->Reply(RequestCode::PickList, [](RequestBlock&) {});  // the last entry handed over stays chosen
  Press("Z ma");
  Special(kKeyF6, kKeyShift);  // "H"
  const auto lists = side->RequestsOf(RequestCode::PickList);
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].p1, 0u);
  EXPECT_EQ(lists[0].items, (std::vector<std::string>{"Z main", "Z mark"}));
  side->Key(13);
  EXPECT_EQ(Ran(), "Z mark");
  // nothing to complete: a beep (error 1 of kind 1) and no list
  Press("Z ,");
  Special(kKeyF6, kKeyShift);
  EXPECT_EQ(side->RequestsOf(RequestCode::PickList).size(), 1u);
  EXPECT_EQ(side->errors.back(), kErrBusyBase + 1);
}

// A prompt with a pre-set answer: ESC cancels it, a typed key replaces it.
class PresetAnswerTest : public EngineTest {};

TEST_F(PresetAnswerTest, EscapeCancelsAndTypingReplaces) {
  static u16 results[2];
  static char answers[2][kEditBufferSize];
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    con_screen_init();
    for (int i = 0; i < 2; ++i) {
      std::strcpy(answers[i], "DEF");
      results[i] = con_edit_line(answers[i], 20, kEditPreset);
    }
    for (;;) co_wait_gui(kWaitKey);
  });
  ws.Key(27);
  ws.Key('X');
  ws.Key(13);
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 1);
  EXPECT_STREQ(answers[1], "X");
}

}  // namespace

namespace {

// The history lives in the saved-state file's settings block: it survives a
// restart, and a ring whose words point outside it is not trusted.
class HistoryStateTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    previous_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() / ("halv80_history_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    sym_reset();
  }
  void TearDown() override {
    EngineTest::TearDown();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }
  std::filesystem::path folder_, previous_;
};

TEST_F(HistoryStateTest, TheHistorySurvivesARestart) {
  hist_add("D 100");
  hist_add("E 200");
  cfg_state_file_save();
  reset_engine_state();
  sym_reset();
  cfg_state_file_load();
  char out[kEditBufferSize];
  ASSERT_EQ(hist_find("", out, 1), 1);
  EXPECT_STREQ(out, "E 200");
  ASSERT_EQ(hist_find("", out, 1), 1);
  EXPECT_STREQ(out, "D 100");
}

TEST_F(HistoryStateTest, AnUnsoundRingGivesNoLines) {
  const struct {
    const char* name;
    u16 write_end, oldest;
    char fill;
  } cases[] = {
      {"no terminator anywhere", 10, 10, 'x'},
      {"write end inside a line", 25, 20, 'x'},
      {"words past the ring", 1400, 0, '\0'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(sym_store_ptr(kSymWorkArea2), c.fill, kHistoryRingSize);
    sym_store_ptr(kSymWorkArea2)[19] = 0;  // a terminator at the end of the oldest line's first text
    Saved.HistoryWriteEnd = c.write_end;
    Saved.HistoryOldest = c.oldest;
    Saved.HistoryNonEmpty = 1;
    Editor.Browse = kBrowseAtEnd;
    char out[kEditBufferSize];
    EXPECT_EQ(hist_find("", out, 1), 0);
    // a new line starts the ring afresh
    hist_add("OK");
    Editor.Browse = kBrowseAtEnd;
    ASSERT_EQ(hist_find("", out, 1), 1);
    EXPECT_STREQ(out, "OK");
    EXPECT_EQ(Saved.HistoryOldest, 0);
  }
}

}  // namespace
