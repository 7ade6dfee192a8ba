// Shared set-up of the engine tests: every area reset, the fake tick clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

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
