// Key input: the key index, the bindings of special and control keys, the
// function-key texts, init.mcr, and the key journal's playback and record.
#include "halv80/engine/key_input.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/key_bindings.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_file.h"

namespace {

// Each test works in a folder of its own (journals, init.mcr).
class KeyInputTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    folder_ = std::filesystem::temp_directory_path() /
              ("halv80_keys_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
    Links.symbol_store_setup = sym_reset;
  }
  void TearDown() override {
    side.reset();
    EngineTest::TearDown();
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(folder_);
  }
  void Write(const char* name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }
  std::string Read(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  ScriptedWindowSide& Start(std::string_view line = {}) {
    side = std::make_unique<ScriptedWindowSide>();
    side->Start(line);
    return *side;
  }
  // One tick of the window side's timer: the key-input word changes.
  void Tick() {
    ++Co.Request.key_input;
    side->Pump();
  }
  std::unique_ptr<ScriptedWindowSide> side;
  std::filesystem::path folder_, previous_;
};

TEST_F(KeyInputTest, KeyIndexOfEveryKeyCode) {
  const struct {
    u16 code, index;
  } cases[] = {{0x35, 0}, {0x36, 1}, {0x3F, 10}, {0x40, 0},  {0x61, 0},  {0x62, 11}, {0x6B, 20},
               {0x6C, 0}, {0x82, 11}, {0x8B, 20}, {0x92, 11}, {0x9B, 20}, {0xAE, 9},  {0xFF, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(key_map_function_key(c.code), c.index);
  }
}

TEST_F(KeyInputTest, MapsChooseTheSlotByModifier) {
  const struct {
    u16 index;
    u8 flags;
    u8 slot;
  } cases[] = {
      {1, 0, 17},  {1, 0x01, 68}, {1, 0x10, 0},  {5, 0x01, 3}, {5, 0x10, 35}, {15, 0, 42},
      {15, 0x11, 5},  // Shift wins over Ctrl
      {20, 0x10, 33}, {0, 0, 0},   {21, 0, 0},   // out of the table
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    EXPECT_EQ(key_map_slot(c.index, c.flags), c.slot);
  }
  EXPECT_EQ(key_ctrl_slot(5), 18);
  key_bindings_use_tsuka();
  EXPECT_EQ(key_ctrl_slot(5), 62);
  EXPECT_EQ(key_ctrl_slot(24), 61);
  EXPECT_EQ(key_ctrl_digit_slot('4'), 39);
  EXPECT_EQ(key_ctrl_digit_slot('9'), 0);
}

TEST_F(KeyInputTest, FunctionKeyTextsAreTypedWithShiftCtrl) {
  ScriptedWindowSide& ws = Start();
  Saved.FunctionKeyTexts[2] = sym_intern_name("PRMPT #\r");
  ws.Key(0, kKeyF1 + 2, kKeyShift | kKeyCtrl);  // Shift+Ctrl+F3
  ws.Settle();
  EXPECT_EQ(Cmd.PromptChar, '#');
  // an empty text does nothing
  const std::size_t before = ws.Transcript().size();
  ws.Key(0, kKeyF1 + 3, kKeyShift | kKeyCtrl);  // Shift+Ctrl+F4
  EXPECT_EQ(ws.Transcript().size(), before);
  EXPECT_EQ(Sup.TypedText, nullptr);
}

TEST_F(KeyInputTest, InitMacroIsTheFirstLineWhenItExists) {
  for (const bool present : {false, true}) {
    SCOPED_TRACE(present);
    side.reset();
    reset_engine_state();
    Links.symbol_store_setup = sym_reset;
    if (present) Write("init.mcr", "PRMPT #\r\n");
    Keys.InitMacroAllowed = 1;
    ScriptedWindowSide& ws = Start();
    ws.Settle();
    // the file's line ran: the prompt it set stands
    EXPECT_EQ(Cmd.PromptChar, present ? '#' : '>');
    EXPECT_EQ(ws.Transcript().find("<init.mcr") != std::string::npos, present);
  }
}

TEST_F(KeyInputTest, QuotePrefixHoldsForExactlyOneKey) {
  ScriptedWindowSide& ws = Start();
  ws.Key(10, 0, kKeyCtrl);  // ^J alone: nothing
  EXPECT_TRUE(ws.RequestsOf(RequestCode::ProjectLayout).empty());
  ws.Key(17, 0, kKeyCtrl);  // ^Q
  ws.Key(10, 0, kKeyCtrl);  // ^J: request 24
  EXPECT_EQ(ws.RequestsOf(RequestCode::ProjectLayout).size(), 1u);
  ws.Key(10, 0, kKeyCtrl);  // the prefix is gone
  EXPECT_EQ(ws.RequestsOf(RequestCode::ProjectLayout).size(), 1u);
}

TEST_F(KeyInputTest, WindowRequestsOfKeys) {
  const struct {
    u16 character, code;
    u8 flags;
    RequestCode request;
    u32 p1;
  } cases[] = {
      {0, kKeyF2, 0, RequestCode::Focus, kFocusNext},
      {2, 0, kKeyCtrl, RequestCode::Focus, kFocusPrevious},  // ^B
      {0, kKeyInsert, kKeyShift, RequestCode::Paste, 0},
      {0, kKeyInsert, kKeyCtrl, RequestCode::PageCopy, 0},
      {0, kKeyF10, kKeyShift, RequestCode::OptionsDialog, 0},
      {0, kKeyF1, kKeyCtrl, RequestCode::ZoomChild, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.character + c.code);
    side.reset();
    reset_engine_state();
    ScriptedWindowSide& ws = Start();
    ws.Key(c.character, c.code, c.flags);
    const auto served = ws.RequestsOf(c.request);
    ASSERT_EQ(served.size(), 1u);
    EXPECT_EQ(served[0].p1, c.p1);
  }
}

TEST_F(KeyInputTest, OutsideTheEditorControlKeysArePlainCharacters) {
  Keys.BindingMode = 0;
  Co.Request.key_wait_depth = 1;
  Co.Key = KeyEvent{5, 0, kKeyCtrl};
  // on the window side the wait takes the key at once
  EXPECT_EQ(key_next(), 5);
  // in the editor but at a nested wait: the character as well
  Keys.BindingMode = 1;
  Co.Request.key_wait_depth = 2;
  Co.Key = KeyEvent{5, 0, kKeyCtrl};
  EXPECT_EQ(key_next(), 5);
  // a key without a character at a nested wait is dropped
  Co.Key = KeyEvent{0, kKeyUp, 0};
  EXPECT_EQ(key_next(), 0);
}

TEST_F(KeyInputTest, MenuKeysClassifyTheKey) {
  const struct {
    u16 character, code;
    u16 result;
    u8 out;
  } cases[] = {{0, kKeyPageDown, 1, 0}, {3, 0, 1, 0}, {18, 0, 2, 0}, {5, 0, 5, 0}, {19, 0, 6, 0},
               {4, 0, 7, 0},    {24, 0, 8, 0}, {'x', 0, 0, 'x'}, {0, kKeyF1 + 2, 13, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.character + c.code);
    Co.Key = KeyEvent{c.character, c.code, 0};
    u8 out = 0xEE;
    EXPECT_EQ(key_read_menu_key(out), c.result);
    EXPECT_EQ(out, c.out);
  }
}

TEST_F(KeyInputTest, PlaybackWaitsItsTicksAndChargesEachCharacter) {
  Write("keys.jnl", "*TM_MAX 10\r\n*TM_KEY 2\r\nPRMPT #\r\n");
  ScriptedWindowSide& ws = Start(" -KEY keys.jnl ");
  ASSERT_TRUE(key_journal_playing());
  // 10 ticks before the line, then 2 a character for its 7 characters
  int ticks = 0;
  while (Cmd.PromptChar != '#' && ticks < 100) {
    Tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 10 + 2 * 7);
  EXPECT_STREQ(Mac.LineBuffer, "PRMPT #");
  (void)ws;
}

TEST_F(KeyInputTest, PlaybackLinesAndCodes) {
  Write("keys.jnl", std::string("*code 10 3a 0\r\n") + std::string(300, 'x') + "\r\n*CODE 0 0 41\n");
  Sw.KeyPlayback = 1;
  Sw.KeyPlaybackFile = "keys.jnl";
  key_journal_open();
  ASSERT_EQ(key_journal(), 1);  // Ctrl+Up, hexadecimal operands
  EXPECT_EQ(Keys.flags, 0x10);
  EXPECT_EQ(Keys.code, kKeyUp);
  EXPECT_EQ(Keys.character, 0);
  // a line longer than the buffer is typed up to the buffer and no further
  std::string typed;
  while (key_journal() == 1 && Keys.character != 13) typed += char(Keys.character);
  EXPECT_EQ(typed, std::string(kJournalLineSize - 1, 'x'));
  ASSERT_EQ(key_journal(), 1);
  EXPECT_EQ(Keys.character, 0x41);
  EXPECT_FALSE(key_journal_playing());  // the last line had no CR: the file ended
  key_journal_close();
}

TEST_F(KeyInputTest, PauseAtAPagePromptGoesOnAfter15Ticks) {
  Write("keys.jnl", "*TM_MAX 1000\r\nX\r\n");
  Sw.KeyPlayback = 1;
  Sw.KeyPlaybackFile = "keys.jnl";
  key_journal_open();
  Journal.TmMax = 1000;
  int polls = 0;
  u8 key = 0;
  while ((key = key_poll()) == 0 && polls < 100) {
    ++Co.Request.key_input;
    ++polls;
  }
  EXPECT_EQ(key, 13);
  EXPECT_EQ(polls, 15);
  key_journal_close();
}

// A session recorded with -LOG, turned into a playback script of *CODE lines,
// plays back to the same screen.
TEST_F(KeyInputTest, ARecordedSessionPlaysBackToTheSameScreen) {
  std::string screen;
  {
    ScriptedWindowSide& ws = Start(" -LOG rec.jnl ");
    ws.Type("PRMPT $");
    ws.Key('Z');
    ws.Key(0, kKeyLeft, 0);
    ws.Key('Y');
    ws.Key(13);
    ws.Key(0, kKeyUp, kKeyShift);  // recall
    ws.Key(13);
    screen = ws.Transcript();
    key_journal_close();
  }
  const std::string record = Read("rec.jnl");
  ASSERT_EQ(record.size() % 3, 0u);
  ASSERT_EQ(record.size() / 3, 7u + 1 + 4 + 2);
  std::string script;
  for (std::size_t i = 0; i < record.size(); i += 3) {
    char line[40];
    std::snprintf(line, sizeof line, "*CODE %x %x %x\r\n", u8(record[i]), u8(record[i + 1]), u8(record[i + 2]));
    script += line;
  }
  Write("play.jnl", script);
  side.reset();
  reset_engine_state();
  Links.symbol_store_setup = sym_reset;
  ScriptedWindowSide& ws = Start(" -KEY play.jnl ");
  for (int i = 0; i < 100 && key_journal_playing(); ++i) Tick();
  EXPECT_FALSE(key_journal_playing());
  EXPECT_EQ(ws.Transcript(), screen);
}

}  // namespace

namespace {

// The key wait after a processed stop asks the history window to reload.
TEST_F(KeyInputTest, AKeyWaitAfterAStopPostsTheHistoryUpdate) {
  ScriptedWindowSide& ws = Start();
  Co.Request.run_flags = 2;
  ws.Key('x');
  EXPECT_EQ(ws.RequestsOf(RequestCode::HistoryUpdate).size(), 1u);
  EXPECT_EQ(Co.Request.run_flags, 1);  // the trace still records (no board here)
  ws.Key('y');
  EXPECT_EQ(ws.RequestsOf(RequestCode::HistoryUpdate).size(), 1u);
}

}  // namespace
