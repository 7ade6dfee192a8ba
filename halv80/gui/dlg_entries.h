// What the window side's menus, windows and requests call to run a dialog,
// in one place. Each runs its dialog modally over `parent`, centred on the
// main frame, and hands its result on as its header says.
#pragma once

#include "halv80/gui/dlg_breakpoint.h"  // dlg_breakpoint_show: BP from address, pass count, command
#include "halv80/gui/dlg_find.h"        // dlg_find_show: search text and direction
#include "halv80/gui/dlg_load.h"        // dlg_load_show, dlg_emulator_error_show
#include "halv80/gui/dlg_module.h"      // dlg_module_show: the engine's module choice
#include "halv80/gui/dlg_options.h"     // dlg_options_show: execution mode, register/memory, case
#include "halv80/gui/dlg_toolbar.h"     // dlg_toolbar_show: the tool bar's buttons

// Installs the dialogs behind the engine's requests (module choice, options)
// and gives the message boxes Japanese button texts when the program runs
// with Japanese texts. Run once at start, before the frame is made.
void dlg_register_services();
