// A booted simulated target driven by typed commands: emulation ROM below
// 0x8000 (written directly), target RAM from 0x8000 (through the monitor).
// The monitor keeps 0x7F80..0x7FFF; tests stay away from it. The command side
// runs the engine's command loop unless a test sets command_main_ first.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/engine/tgt_memory.h"

// A command side for tests that reach engine entries no command word does:
// the console as start-up leaves it, then each line read goes to `handle` on
// the command stack (with the abort flag clear), and the lines it leaves
// (false) run as the command loop runs them; every unwind returns here.
inline void test_command_loop(bool (*handle)(std::string_view line)) {
  con_screen_init();
  sup_split_screen_panes(kWindowIndexCommand);
  con_reset_window();
  // the command words: the built-in definitions are fed as the first lines
  mac_load_builtins();
  Co.UnwindIsNormal = 1;
  for (;;) {
    try {
      for (;;) {
        con_read_line();
        emu_channel_reset();
        Cmd.AbortFlag = 0;
        if (!handle(Cmd.CommandLine)) cmd_run_line();
      }
    } catch (const CommandUnwind&) {
    }
  }
}

class MemSessionTest : public StartupTest {
 public:
  using Bytes = std::vector<u8>;

 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    // a fixed number of T-states per device call, for the tests that run the target
    sim->Clock().UseFixedBudget(400);
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start({}, command_main_);
  }
  void TearDown() override {
    ws_.reset();
    StartupTest::TearDown();
  }
  // The transcript the line adds: its echo, the output and the next prompt.
  std::string typed(std::string_view line) {
    return ws_->Typed(line);
  }
  void poke(u16 address, const Bytes& bytes) { tgt_write_block(bytes, address); }
  Bytes peek(u16 address, std::size_t n) {
    Bytes b(n);
    tgt_read_block(b, address);
    return b;
  }
  std::unique_ptr<ScriptedWindowSide> ws_;
  // Where the command side starts: the engine's command loop, or a test's own.
  void (*command_main_)() = cmd_main;
};
