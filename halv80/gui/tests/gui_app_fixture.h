// The window program inside a test: the engine's and the window side's state
// reset, a scratch folder as the current folder (and the lock folder), the
// message boxes recorded, and the application run through run_body. Tests
// that need a command side either script it (UseScriptedCommandSide) or run
// it against the simulated emulator (GuiBoardTest).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/testing/scripted_command_side.h"
#include "halv80/gui/tests/gui_app_run.h"
#include "halv80/gui/tests/gui_test_folder.h"
#include "halv80/gui/win_frame.h"
#include "platform/host/host_ui.h"
#include "platform/owl/tests/owl_test_app.h"

class GuiAppTest : public testing::Test {
 protected:
  void SetUp() override {
    owl_test_app();
    reset_engine_state();
    app_reset_state();
    frame_reset_state();
    AppDialogs = AppDialogHooks{};  // the dialogs app_main hooks in are not there
    Boxes.clear();
    Answers.clear();
    setenv("HALV80_LOCK_DIR", folder.dir().c_str(), 1);
    previous_sink_ = host_set_message_box_sink(record_box);
    TApplication::SetRunHook(run_body);
  }
  void TearDown() override {
    EndApp();
    ResetState();
  }
  // The application's hooks and child windows gone, the command side ended.
  void EndApp() {
    TApplication::SetRunHook(nullptr);
    host_set_message_box_sink(previous_sink_);
    FrameStartHooks = FrameHooks{};
    for (u16 i = 0; i < kChildCount; ++i) win_set_child_factory(i, nullptr);
    co_end_command_side();
  }
  static void ResetState() {
    frame_reset_state();
    reset_engine_state();
  }
  // The frame starts a scripted command side that waits for a key at once,
  // and its start-up checks pass.
  static void UseScriptedCommandSide() {
    FrameStartHooks = FrameHooks{gui_scripted_main, [] { return u16(0); }};
    gui_set_script({ScriptStep::WaitKey()});
  }
  // Runs the application; `body` sees it once the frame is up and painted.
  void RunApp(std::function<void(TMDIApp&)> body) { run_app(std::move(body)); }

  ScratchFolder folder;
  HostMessageBoxSink previous_sink_ = nullptr;
};
