// Start-up of the setup program: the single-instance lock, the language, the
// forms, the switches, the project of the command line and the first-run
// mark; then the message loop until the main window closes.
#include "rz7set/set_main.h"

#include <exception>

#include "platform/owl/owl_system.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/cfg_ioset.h"
#include "rz7set/set_ioset.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_newprj.h"
#include "rz7set/set_smalldlg.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_start.h"
#include "rz7set/set_state.h"

void set_first_run() {
  if (MainSt.OptMark != "first") return;
  if (Setup.j_edition) {
    set_mark_first_run_done();
    Forms.Rdme->ShowModal();
  } else if (Setup.network_host) {
    Forms.Nwset->ShowModal();
  } else if (Setup.windows_nt) {
    // the card is reached through its driver: every configuration file
    // below the installation says so (this marks the first run done)
    cfg_apply_interface(kCfgWindowsNt);
    Forms.Rdme->ShowModal();
  } else {
    Forms.IOset->ShowModal();
  }
}

namespace {

// Steps from the forms to the end of the message loop; -1 for a start-up failure.
int run_forms() {
  set_create_forms();
  TMainForm& main = *Forms.MainForm;
  if (!set_parse_switches()) return -1;
  set_read_version();
  set_update_family_options();
  main.SetCaption(SetTexts.AppTitle);
  main.SetLanguageTexts();
  main.OpnDlg.Filter = set_res_string(5025);
  main.OpnDlg.FileName = set_res_string(50);
  Forms.NewPrj->SetBase(MainSt.DefPrjDir);
  if (SetTexts.CmdPrjPath.empty()) {
    Opt.OptDlg.opt_text = " -X -B512,32";
  } else {
    if (!set_open_command_line_project()) return -1;
    main.set_enable_project_commands(true);
    main.ShowProject();
  }
  set_first_run();
  return vcl_run(main);
}

}  // namespace

int set_win_main(int argc, char** argv) {
  if (owl_create_lock(kSetupInstanceName) == OwlLock::Exists) return 1;
  SetTexts.Args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
  SetTexts.ProgramFile = argc > 0 && argv[0] ? argv[0] : "";
  Setup.english_ui = set_detect_platform();
  set_prescan_language();
  int result = 0;
  try {
    result = run_forms();
  } catch (const std::exception& e) {
    vcl_show_exception(e.what());
  }
  set_free_forms();
  owl_release_lock(kSetupInstanceName);
  return result == -1 ? -1 : 0;
}
