// The command coroutine: entering and yielding, restart points, waits, the
// keep-alive clock and the reply watchdog.
#include "halv80/engine/co_coroutine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

// What the test mains below did, in order.
std::vector<std::string> Steps;
std::vector<u32> Ticks;

void wait_forever() {
  for (;;) co_wait_gui(kWaitKey);
}

// What cmd_main's start-up does for the console, for mains that print.
void init_console() {
  con_screen_init();
  sup_split_screen_panes(kWindowIndexCommand);
  con_reset_window();
}

class CoroutineTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Steps.clear();
    Ticks.clear();
  }
};

TEST_F(CoroutineTest, RequestsAreServedAndTheSideReenteredUntilItWaits) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    Steps.push_back("run");
    Co.Request.p1 = 7;
    co_post_request(RequestCode::Refresh);  // wait kind 0: entered again at once
    Steps.push_back("after refresh");
    co_wait_gui(kWaitBusy);                 // bit 0: the pump returns
    Steps.push_back("after busy");
    co_wait_gui(kWaitKey);
    Steps.push_back("after key");
    wait_forever();
  });
  EXPECT_EQ(Steps, (std::vector<std::string>{"run", "after refresh"}));
  ASSERT_EQ(ws.requests.size(), 1u);
  EXPECT_EQ(ws.requests[0].code, RequestCode::Refresh);
  EXPECT_EQ(ws.requests[0].p1, 7u);
  EXPECT_EQ(Co.Request.code, RequestCode::None);  // the window side reset it
  EXPECT_EQ(Co.WaitKind, kWaitBusy);
  ws.Pump();
  EXPECT_EQ(Steps.back(), "after busy");
  EXPECT_EQ(Co.WaitKind, kWaitKey);
  ws.Pump();
  EXPECT_EQ(Steps.back(), "after key");
}

TEST_F(CoroutineTest, ExitWaitIsNeverEnteredAgain) {
  ScriptedWindowSide ws;
  ws.confirm_exit = false;  // the window side stays open, but must not re-enter
  ws.Start({}, [] {
    Steps.push_back("exit");
    cmd_exit_forever();
  });
  EXPECT_TRUE(ws.Exited());
  ws.Pump();
  ws.Pump();
  EXPECT_EQ(Steps.size(), 1u);
  ASSERT_EQ(ws.RequestsOf(RequestCode::Exit).size(), 1u);
}

TEST_F(CoroutineTest, CmdFailUnwindsToTheRestartPoint) {
  const struct {
    u16 message;
    u16 abort_after;  // message 34 leaves the flag clear
  } cases[] = {{34, 0}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    reset_engine_state();
    Steps.clear();
    static u16 message;
    message = c.message;
    ScriptedWindowSide ws;
    ws.Start({}, [] {
      init_console();
      Co.UnwindIsNormal = 1;
      try {
        cmd_fail(message);
      } catch (const CommandUnwind&) {
        Steps.push_back("restart");
      }
      wait_forever();
    });
    EXPECT_EQ(Steps, std::vector<std::string>{"restart"});
    EXPECT_EQ(Cmd.AbortFlag, c.abort_after);
    EXPECT_TRUE(ws.boxes.empty());
    EXPECT_EQ(ws.Transcript(), sjis(message == 34 ? "\n コマンド エラー" : "\n コマンドのフォーマットが不正です"));
  }
}

TEST_F(CoroutineTest, UnwindDuringStartUpIsReportedAsInternalError) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    try {
      co_abort_to_main();
    } catch (const CommandUnwind&) {
    }
    wait_forever();
  });
  const auto boxes = ws.RequestsOf(RequestCode::ErrorBox);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "ABORT(RETMAIN0)");
  ASSERT_EQ(ws.boxes.size(), 1u);  // the window side showed it titled as an error
  EXPECT_EQ(ws.boxes[0].title, "QUENDAR ERROR");
}

TEST_F(CoroutineTest, GuardedWindowSideCallKeepsTheErrorAndRestoresAbortFlag) {
  ScriptedWindowSide ws;
  Cmd.AbortFlag = 1;
  const bool completed = co_call_guarded([] {
    Steps.push_back("in");
    cmd_fail(7);
  });
  EXPECT_FALSE(completed);
  EXPECT_EQ(Steps, std::vector<std::string>{"in"});
  EXPECT_EQ(Co.PendingError, 8);  // message 7 + 1, for the window side to show
  EXPECT_EQ(Cmd.AbortFlag, 1);
  EXPECT_FALSE(co_has_saved_restart());
  // with an error pending the guarded code is not run at all
  EXPECT_FALSE(co_call_guarded([] { Steps.push_back("again"); }));
  EXPECT_EQ(Steps.size(), 1u);
  EXPECT_TRUE(ws.boxes.empty());
}

TEST_F(CoroutineTest, NestedPushKeepsTheOuterRestartPoint) {
  ScriptedWindowSide ws;
  const bool completed = co_call_guarded([] {
    EXPECT_FALSE(co_call_guarded([] { cmd_fail(3); }));
    Steps.push_back("outer goes on");
    Co.PendingError = 0;
    cmd_fail(5);  // caught by the outer scope, not lost with the inner one
  });
  EXPECT_FALSE(completed);
  EXPECT_EQ(Steps, std::vector<std::string>{"outer goes on"});
  EXPECT_EQ(Co.PendingError, 6);
  ASSERT_EQ(ws.boxes.size(), 1u);  // the second push is still reported
  EXPECT_EQ(ws.boxes[0].text, "PUSH STACK OVER");
  EXPECT_FALSE(co_has_saved_restart());
}

TEST_F(CoroutineTest, WindowSideUnwindWithoutGuardStopsAtThePump) {
  struct FailingSide : ScriptedWindowSide {
    void ServeRequest(RequestCode code) override {
      ScriptedWindowSide::ServeRequest(code);
      co_abort_to_main();  // window-side code failing outside any guard
    }
  } ws;
  ws.Start({}, [] {
    co_post_request(RequestCode::Refresh);
    Steps.push_back("resumed");
    wait_forever();
  });
  ASSERT_EQ(ws.boxes.size(), 1u);
  EXPECT_EQ(ws.boxes[0].text, "ABORT(RETMAIN1)");
  EXPECT_TRUE(Steps.empty());
  // the command side is still suspended at its request and goes on
  Co.Request.code = RequestCode::None;
  ws.Pump();
  EXPECT_EQ(Steps, std::vector<std::string>{"resumed"});
}

TEST_F(CoroutineTest, PseudoKeySurvivesResumptionFunctionKeyIsTaken) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    for (;;) {
      const u16 pending = co_wait_gui(kWaitKey);
      Steps.push_back(std::to_string(pending) + " ch=" + std::to_string(Keys.character) +
                      " code=" + std::to_string(Keys.code));
    }
  });
  ws.Key(0, key_word(PseudoKey::PageUp));
  EXPECT_EQ(Co.Key.key_code, key_word(PseudoKey::PageUp));  // left for the pseudo-key executor
  EXPECT_EQ(Steps.back(), "1 ch=0 code=0");
  Co.Key.key_code = 0;
  ws.Key(0, kKeyF1, kKeyShift);
  EXPECT_EQ(Steps.back(), "1 ch=0 code=98");
  EXPECT_EQ(Co.Key.key_code, 0);
  EXPECT_EQ(Keys.flags, kKeyShift);
  ws.Key('A');
  EXPECT_EQ(Steps.back(), "1 ch=65 code=0");
  EXPECT_EQ(Co.Key.character, 0);
}

TEST_F(CoroutineTest, MessageBoxModeIsClearedWhenTheSideResumes) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    co_wait_gui(kWaitKey);
    Steps.push_back(std::to_string(Co.Request.message_box_mode));
    wait_forever();
  });
  Co.Request.message_box_mode = 1;
  ws.Key('x');
  EXPECT_EQ(Steps, std::vector<std::string>{"0"});
}

TEST_F(CoroutineTest, KeepAliveYieldsAfter300ThenEvery100Ms) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    co_keep_alive_begin();
    for (int ms = 0; ms < 600; ++ms) {  // a long command, polling every millisecond
      host_clock_advance(1);
      co_keep_alive();
    }
    wait_forever();
  });
  // each keep-alive yield stops the pump with wait kind 9; only the command
  // side moves the clock, so it shows the time of the yield
  while (Co.WaitKind == kWaitBusy) {
    Ticks.push_back(host_tick_ms() - 100000);
    ws.Pump();
  }
  EXPECT_EQ(Ticks, (std::vector<u32>{301, 402, 503}));
}

TEST_F(CoroutineTest, KeepAliveReturnsTheLastAnswerBetweenYields) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    co_keep_alive_begin();
    host_clock_advance(301);
    Steps.push_back(std::to_string(co_keep_alive()));  // yields; a key arrives
    host_clock_advance(50);
    Steps.push_back(std::to_string(co_keep_alive()));  // no yield: the last answer
    wait_forever();
  });
  ASSERT_EQ(Co.WaitKind, kWaitBusy);
  Co.Key.character = 27;
  ws.Pump();
  EXPECT_EQ(Steps, (std::vector<std::string>{"1", "1"}));
}

TEST_F(CoroutineTest, WatchdogBandsOnTheCommandSide) {
  const struct {
    u32 after;     // ms after the first call
    u16 fires;     // 1: the target counts as hung
  } cases[] = {
      {999, 0},    // below the limit
      {1000, 1},   // the limit itself is no longer below it
      {3000, 1},   // the band ends at limit + 2,000
      {3001, 0},   // later still: the program was paused, measuring starts over
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    reset_engine_state();
    host_clock_use_fake(100000);
    Steps.clear();
    static u32 after;
    after = c.after;
    ScriptedWindowSide ws;
    ws.Start({}, [] {
      sup_watchdog_start();
      sup_watchdog_limit(1000);
      Steps.push_back(std::to_string(emu_reply_watchdog()));  // starts measuring
      host_clock_advance(after);
      Steps.push_back(std::to_string(emu_reply_watchdog()));
      wait_forever();
    });
    while (Co.WaitKind == kWaitBusy) ws.Pump();
    if (c.fires) {
      ASSERT_EQ(ws.errors.size(), 1u);
      EXPECT_EQ(ws.errors[0], kErrorTargetHungBusy);
      EXPECT_EQ(sup_pending_error_text(ws.errors[0]),
                sjis("ﾀｰｹﾞｯﾄCPUがﾊﾝｸﾞｱｯﾌﾟしました\nQUENDAR-RZ7を初期化してもよいですか？"));
      // the window side showed it during the poll's yield: acknowledged
      EXPECT_EQ(Steps, (std::vector<std::string>{"0", "1"}));
      EXPECT_EQ(Co.ErrorAcknowledged, 0);  // read and cleared by the watchdog
    } else {
      EXPECT_TRUE(ws.errors.empty());
      EXPECT_EQ(Steps, (std::vector<std::string>{"0", "0"}));
    }
  }
}

TEST_F(CoroutineTest, WatchdogOnTheWindowSideUnwindsWithTheError) {
  sup_watchdog_start();
  sup_watchdog_limit(10000);
  const bool completed = co_call_guarded([] {
    emu_reply_watchdog();
    host_clock_advance(10500);
    emu_reply_watchdog();
    Steps.push_back("not reached");
  });
  EXPECT_FALSE(completed);
  EXPECT_TRUE(Steps.empty());
  EXPECT_EQ(Co.PendingError, kErrorTargetHung);
}

TEST_F(CoroutineTest, ErrorWaitStopsThePumpUntilTheWindowSideTookIt) {
  ScriptedWindowSide ws;
  ws.Start({}, [] {
    sup_load_message(34);
    sup_raise_error(34, 2);  // returns once the window side changed the word
    Steps.push_back("returned");
    wait_forever();
  });
  EXPECT_EQ(Co.WaitKind, kWaitBusy);  // the pump stopped, and showed the error on its way
  EXPECT_EQ(ws.errors, std::vector<u16>{kErrTextInBuffer});
  ws.Pump();  // the next tick enters again
  EXPECT_EQ(Steps, std::vector<std::string>{"returned"});
  EXPECT_EQ(Co.PendingError, 0);
  EXPECT_EQ(Sup.WindowAction, 0);
}

TEST_F(CoroutineTest, RaisedErrorKinds) {
  const struct {
    u16 kind;
    u16 word;
    bool unwinds;
  } cases[] = {
      {0, 5 + 1, true},
      {1, 5 + kErrBusyBase, false},
      {2, kErrWaitWindowSide, true},  // on the window side
      {3, 5 + kErrStatusBase, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    for (const u16 suppress : {0, 1}) {
      reset_engine_state();
      Sup.SuppressOnce = suppress;
      static u16 kind;
      kind = c.kind;
      bool returned = false;
      co_call_guarded([&] {
        sup_raise_error(5, kind);
        returned = true;
      });
      EXPECT_EQ(Co.PendingError, c.word);
      EXPECT_EQ(returned, !c.unwinds || (suppress && c.kind != 3));
      EXPECT_EQ(Sup.SuppressOnce, (suppress && c.kind != 3) ? 0 : suppress);
    }
  }
}

TEST_F(CoroutineTest, AppendedTextGoesWithTheNextPlainError) {
  sup_append_begin();
  for (const char c : std::string(": FILE.C")) sup_appended_putc(u8(c));
  for (int i = 0; i < 2000; ++i) sup_appended_putc('x');  // never past the buffer
  EXPECT_FALSE(co_call_guarded([] { sup_raise_error(34, 0); }));
  EXPECT_EQ(Co.PendingError, kErrTextInBuffer);
  const std::string text = Sup.MessageBuffer;
  EXPECT_TRUE(text.starts_with(sjis("\n コマンド エラー: FILE.Cxxx")));
  EXPECT_EQ(text.size(), kMessageBufferSize - 1);  // cut to the buffer
  sup_reset_appended();
  Co.PendingError = 0;
  EXPECT_FALSE(co_call_guarded([] { sup_raise_error(34, 0); }));
  EXPECT_EQ(Co.PendingError, 35);  // nothing appended any more: the plain coding
}

TEST_F(CoroutineTest, EndingTheCommandSideUnwindsItsFrames) {
  static bool destroyed;
  destroyed = false;
  {
    ScriptedWindowSide ws;
    ws.Start({}, [] {
      struct Guard {
        ~Guard() { destroyed = true; }
      } guard;
      wait_forever();
    });
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(co_command_side_started());
}

}  // namespace
