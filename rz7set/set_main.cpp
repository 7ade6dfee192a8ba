// Start-up of the setup program: the single-instance lock, the language, the
// forms, the switches, the project of the command line and the first-run
// mark; then the message loop until the main window closes.
#include "rz7set/set_main.h"

#include <exception>

#include "platform/owl/owl_system.h"
#include "platform/vcl/vcl_app.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_start.h"
#include "rz7set/set_state.h"

namespace {

// The first-run steps, when the family's mark asks for them. The steps that
// set up the interface card belong to its dialogs; here the mark is taken
// back once nothing is left to do on this platform.
void first_run() {
  if (MainSt.OptMark != "first") return;
  if (Setup.j_edition || Setup.network_host) return;  // their dialogs take the mark back
  if (Setup.windows_nt) set_mark_first_run_done();
}

// Steps from the forms to the end of the message loop; -1 for a start-up failure.
int run_forms() {
  set_create_forms();
  TMainForm& main = *Forms.MainForm;
  if (!set_parse_switches()) return -1;
  set_read_version();
  set_update_family_options();
  main.SetCaption(SetTexts.AppTitle);
  if (Setup.english_ui) main.DirStat->SetSimpleText(set_res_string(7024));
  if (SetTexts.CmdPrjPath.empty()) {
    Opt.OptDlg.opt_text = " -X -B512,32";
  } else {
    if (!set_open_command_line_project()) return -1;
    main.set_enable_project_commands(true);
    main.ShowProject();
  }
  first_run();
  return vcl_run(main);
}

}  // namespace

int set_win_main(int argc, char** argv) {
  if (owl_create_lock(kSetupInstanceName) == OwlLock::Exists) return 1;
  SetTexts.Args.assign(argv + (argc > 0 ? 1 : 0), argv + argc);
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
