// The command core: dispatch, the command loop's prompt, and failures, driven
// through the scripted window side as a user would type.
#include "halv80/engine/cmd_core.h"

#include <gtest/gtest.h>

#include <string>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

using CommandCoreTest = EngineTest;

// The transcript from the first prompt on (the start-up banner left out).
std::string from_prompt(const ScriptedWindowSide& ws) {
  const std::string all = ws.Transcript();
  const std::size_t prompt = all.find("\n>");
  return prompt == std::string::npos ? all : all.substr(prompt + 1);
}

// The characters of one screen row, trailing blanks and zero cells dropped.
std::string screen_text(u16 row) {
  const u8* cells = con_screen_row(row);
  std::string text;
  for (u16 c = 0; c < kScreenColumns; ++c) text += char(cells[c * 2] ? cells[c * 2] : ' ');
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

TEST_F(CommandCoreTest, UnknownCommandAnswersMessage34OnScreenAndInLog) {
  ScriptedWindowSide ws;
  ws.Start();
  ASSERT_EQ(Co.WaitKind, kWaitKey);
  EXPECT_EQ(from_prompt(ws), ">");
  ws.Type("ZOO");
  EXPECT_EQ(from_prompt(ws), sjis(">ZOO\n コマンド エラー\n>"));
  // the command pane's last rows show the same lines
  const u16 last = u16(Con.Bottom - 1);
  EXPECT_EQ(screen_text(last), ">");
  EXPECT_EQ(screen_text(u16(last - 1)), sjis(" コマンド エラー"));
  EXPECT_EQ(screen_text(u16(last - 2)), ">ZOO");
  EXPECT_EQ(Cmd.AbortFlag, 0);  // the line's error state was taken and cleared
  EXPECT_TRUE(ws.errors.empty());
}

TEST_F(CommandCoreTest, PromptIsNotRepeatedAfterAnEmptyLine) {
  ScriptedWindowSide ws;
  ws.Start();
  ws.Type("");
  ws.Type("");
  EXPECT_EQ(from_prompt(ws), ">");
  ws.Type("zoo");  // no command (X lists symbols now)
  EXPECT_EQ(from_prompt(ws), sjis(">zoo\n コマンド エラー\n>"));
}

TEST_F(CommandCoreTest, EditingTakesBackWholeCharacters) {
  ScriptedWindowSide ws;
  ws.Start();
  const std::string kanji = sjis("漢");
  ws.Key('Z');
  for (const char c : kanji) ws.Key(u8(c));
  ws.Key(8);  // both bytes of the pair go
  ws.Key('B');
  ws.Key(13);
  EXPECT_EQ(from_prompt(ws), sjis(">ZB\n コマンド エラー\n>"));
}

TEST_F(CommandCoreTest, DispatchByToken) {
  const struct {
    const char* line;
    u16 token;
    u16 error;  // the pending error word: message N + 1, or 0
  } cases[] = {
      {"X", 0x9F, 35},      // below the table
      {"X", 0xA0, 1},       // first slot: A, whose operand X is no address (message 0)
      {"MEM", 0xD0, 0},     // accepted, does nothing
      {"X", 0xEF, 35},      // last slot
      {"X", 0xF0, 35},      // above the table
      {"X", kNoToken, 35},  // a line that named no command
      {"", 0xA0, 0},        // an empty line runs nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.token);
    reset_engine_state();
    std::snprintf(Cmd.CommandLine, sizeof Cmd.CommandLine, "%s", c.line);
    TgtMem.CacheBase = 0x1000;  // a filled read cache
    cmd_dispatch(c.token);  // on the window side: errors go to PendingError
    EXPECT_EQ(Co.PendingError, c.error);
    EXPECT_EQ(TgtMem.CacheBase, 0xFFFFFFFFu);  // emptied after every dispatch
    EXPECT_EQ(Cmd.AbortFlag, c.error ? 1 : 0);
  }
}

TEST_F(CommandCoreTest, OnOffOperand) {
  const struct {
    const char* text;
    u16 result;
    u16 error;
  } cases[] = {
      {"", 2, 0}, {"   ", 2, 0}, {" off", 0, 0}, {"On", 1, 0}, {"oN x", 1, 0}, {"maybe", 0, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_engine_state();
    Cmd.ScannerCursor = c.text;
    EXPECT_EQ(cmd_parse_on_off(), c.result);
    EXPECT_EQ(Co.PendingError, c.error);  // message 2 + 1
  }
}

TEST_F(CommandCoreTest, MessageBoxModeSendsErrorsToTheErrorBox) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    con_screen_init();
    Co.Request.message_box_mode = 1;
    cmd_error(kMsgCommandError);
    for (;;) co_wait_gui(kWaitKey);
  });
  const auto served = ws.RequestsOf(RequestCode::ErrorBox);
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0].text, sjis("\n コマンド エラー"));
  ASSERT_EQ(ws.boxes.size(), 1u);
  EXPECT_EQ(ws.boxes[0].text, sjis("コマンド エラー"));  // shown without the leading break and blank
  EXPECT_EQ(Cmd.AbortFlag, 1);
}

TEST_F(CommandCoreTest, InternalErrorGoesBackToTheCommandPane) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    con_screen_init();
    Co.UnwindIsNormal = 1;
    con_switch_window(kSlotCommand, kSlotCode);
    try {
      cmd_internal_error();
    } catch (const CommandUnwind&) {
    }
    for (;;) co_wait_gui(kWaitKey);
  });
  EXPECT_EQ(Con.Window, kSlotCommand);
  EXPECT_EQ(ws.Transcript(), sjis("\nＱＵＥＮＤＡＲの内部エラー"));
}

}  // namespace

namespace {

// Text set as typed text reaches the command line before any key, as if typed.
class TypedTextTest : public EngineTest {};

TEST_F(TypedTextTest, TheKeyReaderDeliversItFirst) {
  ScriptedWindowSide ws;
  ws.Start();
  sup_set_message_line("PRMPT #\r", 1);
  ws.Settle();
  EXPECT_EQ(Cmd.PromptChar, '#');
  EXPECT_EQ(Sup.TypedText, nullptr);
  // flag 0 only sets the message line
  sup_set_message_line("PRMPT $\r", 0);
  ws.Settle();
  EXPECT_EQ(Cmd.PromptChar, '#');
  EXPECT_STREQ(Sup.MessageLine, "PRMPT $\r");
  // longer than the line: cut to 1,023 characters
  sup_set_message_line(std::string(2000, 'x'), 0);
  EXPECT_EQ(Sup.MessageLineLength, 1023);
}

}  // namespace
