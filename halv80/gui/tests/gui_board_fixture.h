// The window program against the simulated emulator, for tests that run it
// whole: the board's data files and the demo program in a scratch folder, the
// message boxes recorded, and the memo, command and code windows as the
// child windows.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/tests/gui_app_fixture.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/win_console.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_driver.h"
#include "platform/host/host_text.h"

class GuiBoardTest : public GuiAppTest {
 protected:
  void SetUp() override {
    GuiAppTest::SetUp();
    service_reset_state();
    for (const char* name : {"qqn80.cfg", "MON80.QQN", "rz7_00.hwf"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_DATA_DIR) / name, folder.dir() / name);
    for (const char* name : {"demo.hex", "demo.sym"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / "load" / name, folder.dir() / name);
    folder.Write("qqn80.qpj", project_text());
    setenv("HALV80_REGISTRY_DIR", (folder.dir() / "registry").c_str(), 1);
    ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
    dev_reset_system();
    sim_ = std::make_unique<SimulatedDriver>(DevFixture{});
    DevSys.driver = sim_.get();
    DevSys.service_running = true;
    Links.emulator_startup = emu_startup;
    sym_install_links();
    InstallChildren();
  }
  void TearDown() override {
    EndApp();
    RequestHooks = ServiceHooks{};
    service_reset_state();
    // The driver closed (closing the frame may have closed it already) and
    // the library handed no area while no driver is installed: the next test
    // opens its own board afresh rather than a handle of this one.
    _NT_close_driver();
    dev_reset_system();
    _NT_setbioswork(nullptr);
    dev_reset_system();
    sim_.reset();
    unsetenv("HALV80_REGISTRY_DIR");
    ResetState();
  }
  // The child windows the application creates: by default the memo, the
  // command window and the two code windows.
  virtual void InstallChildren() {
    for (u16 i : {kChildMemo, kChildCommand, kChildCode, kChildCode1}) win_set_child_factory(i, make_code_window);
  }

  // Characters typed into console window `w`.
  static void Type(TMainWindow& w, std::string_view text) {
    for (char c : text) w.SendMessage(WM_CHAR, u8(c));
  }
  // The text of row `r` of `w` (CP932 to UTF-8).
  static std::string Row(TMainWindow& w, u16 r) {
    return host_cp932_to_utf8(std::string(reinterpret_cast<const char*>(Frame.SharedRowText.data()), w.GetCopyRow(r)));
  }
  // The text of every row the window shows, one line each.
  static std::string Cells(TMainWindow& w) {
    std::string all;
    for (u16 r = 0; r < w.rows; ++r) all += Row(w, r) + "\n";
    return all;
  }

  std::unique_ptr<SimulatedDriver> sim_;
};
