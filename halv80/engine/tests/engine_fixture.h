// Shared set-up of the engine tests: every area reset, the fake tick clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "halv80/engine/con_screen.h"
#include "halv80/engine/engine_state.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_text.h"

class EngineTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    host_clock_use_fake(100000);
  }
  void TearDown() override {
    reset_engine_state();
    host_clock_use_real();
  }
};

// A UTF-8 literal as the CP932 bytes the engine works with.
inline std::string sjis(std::string_view utf8) { return host_utf8_to_cp932(utf8); }

// A console at its start-up state with the command pane on rows 20..24 of the
// full width, for the screen and log tests.
constexpr u16 kPaneTop = 20;
constexpr u16 kPaneBottom = 25;
inline void fresh_console() {
  reset_engine_state();
  con_screen_init();
  Con.Top = kPaneTop;
  Con.Bottom = kPaneBottom;
  con_set_cursor(0, kPaneTop);
}
