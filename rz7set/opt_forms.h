// What the start-option forms hold: the base form OptDlg, which is never shown
// and is the store the program reads (the common values and the complete
// option text of the current family), and one form per option set with the
// family values. The dialogs show these records and write every change the
// user makes back here at once, then call the form's UpdateOption; nothing
// here depends on change events of the controls.
#pragma once

#include <array>
#include <string>

#include "rz7set/opt_options.h"

struct OptFormModel {
  CommonOptions common{"4096", "64", "C", "8", "", false};  // the forms' initial texts
  FamilyOptions family;
  std::string opt_text;      // OptE: the complete option text
  bool force_enabled = true; // ForceCB usable (the J edition disables it)
};

// The values shown when a dialog opened, put back on Cancel.
struct OptionSnapshot {
  CommonOptions common;
  FamilyOptions family;
};

struct OptFormsState {
  OptFormModel OptDlg;                                 // the base form: the store
  std::array<OptFormModel, kOptSetCount> FamilyForms;  // TO80, TO86, ... by OptSet
  OptionSnapshot Snapshot;
};
extern OptFormsState Opt;

void opt_reset_state();

// The form of `set`.
OptFormModel& opt_form(OptSet set);
// UpdateOption of the base form: its OptE becomes the common part of its own values.
void opt_update_option_base();
// UpdateOption of a family form: family part + " " + common part into its
// OptE, copied into OptDlg's OptE.
void opt_update_option(OptSet set);
// The copy step of a family form's common-control handlers: its common
// values into OptDlg's.
void opt_copy_common_to_base(OptSet set);
// UpdateOption of the form of cpu_family; nothing for family 0.
void set_update_family_options();

// Snapshot (when a dialog is shown) and restore (on Cancel), by cpu_family;
// with family 0 only the common set is taken and put back.
void opt_snapshot_all();
void opt_restore_all();
void opt_z80_snapshot();
void opt_z80_restore();
void opt_v86_snapshot();
void opt_v86_restore();
void opt_386_snapshot();
void opt_386_restore();
void opt_68k_snapshot();
void opt_68k_restore();
void opt_vr_snapshot();
void opt_vr_restore();
void opt_v8_snapshot();
void opt_v8_restore();
void opt_sh_snapshot();
void opt_sh_restore();
void opt_arm_snapshot();
void opt_arm_restore();
void opt_h8_snapshot();
void opt_h8_restore();
void opt_t900_snapshot();
void opt_t900_restore();
void opt_m32r_snapshot();
void opt_m32r_restore();
void opt_mn103_snapshot();
void opt_mn103_restore();
void opt_ppc_snapshot();
void opt_ppc_restore();
