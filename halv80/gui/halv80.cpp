// halv80: the debugger's window program. The simulated emulator stands where
// the interface card and its driver would be; its board runs beside the
// debugger on a thread of its own, at full speed unless HALV80_SIM_PACED=1
// holds it to its clock. rz7_00.hwf is looked for in the program's folder;
// qqn80.cfg and MON80.QQN in the current folder and then along PATH; the
// project file qqn80.qpj in the current folder.
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/gui/app_main.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/owl/owl_app.h"
#include "rz7bios/rz7bios.h"

int main(int argc, char** argv) {
  DevProgramEmulator emulator;
  if (!emulator.Install("halv80")) return 1;

  reset_engine_state();
  Links.emulator_startup = emu_startup;
  sym_install_links();
  const int result = owl_run_main(argc, argv, app_main);
  // the library lets go of the work area before the engine frees it
  _NT_setbioswork(nullptr);
  reset_engine_state();
  return result;
}
