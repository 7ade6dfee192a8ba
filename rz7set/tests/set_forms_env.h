// The fixture of the tests that show the setup program's forms offscreen:
// the setup fixture, the Qt application, stand-ins for the programs the forms
// start (first on PATH), and every form and test hook gone after each test.
#pragma once

#include <stdlib.h>

#include <string>

#include "platform/owl/tests/owl_test_app.h"
#include "platform/vcl/vcl_app.h"
#include "platform/vcl/vcl_forms.h"
#include "rz7set/opt_forms.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_settings.h"
#include "rz7set/tests/set_fake_programs.h"
#include "rz7set/tests/set_test_env.h"

class FormsEnvTest : public SetupTest {
 protected:
  void SetUp() override {
    owl_test_app();
    SetupTest::SetUp();
    saved_path_ = std::getenv("PATH");
    setenv("PATH", (fakes.bin().path() + ":" + saved_path_).c_str(), 1);
  }
  void TearDown() override {
    vcl::TForm::SetModalHook({});
    vcl::TOpenDialog::SetHook({});
    vcl_set_run_hook({});
    set_free_forms();
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_DATA_HOME");
    SetupTest::TearDown();
  }
  // The forms of a run of `family`, as start-up leaves them.
  static void start(CpuFamily family) {
    ::Setup.cpu_family = family;
    set_read_settings();
    set_create_forms();
    set_update_family_options();
    Forms.MainForm->SetLanguageTexts();
    Forms.MainForm->FormActivate();
  }
  FakePrograms fakes;

 private:
  std::string saved_path_;
};
