// The start-option forms' values, their UpdateOption, and the snapshot and
// restore around the dialog.
#include "rz7set/opt_forms.h"

OptFormsState Opt;

void opt_reset_state() { Opt = OptFormsState{}; }

OptFormModel& opt_form(OptSet set) { return Opt.FamilyForms[std::size_t(set)]; }

void opt_update_option_base() {
  const CommonOptions& c = Opt.OptDlg.common;
  Opt.OptDlg.opt_text = opt_build_common(c.deb_size, c.mac_size, c.ext, c.tab, c.src_path, c.force);
}

void opt_update_option(OptSet set) {
  OptFormModel& form = opt_form(set);
  const CommonOptions& c = form.common;
  form.opt_text = opt_family_build(set, form.family) + " " +
                  opt_build_common(c.deb_size, c.mac_size, c.ext, c.tab, c.src_path, c.force);
  Opt.OptDlg.opt_text = form.opt_text;
}

void opt_copy_common_to_base(OptSet set) { Opt.OptDlg.common = opt_form(set).common; }

void set_update_family_options() {
  OptSet set;
  if (opt_set_of(Setup.cpu_family, set)) opt_update_option(set);
}

namespace {

// The family values of the shown form; the common values come from OptDlg.
void snapshot_set(OptSet set) { Opt.Snapshot.family = opt_form(set).family; }
// Both sets back into the family form and OptDlg, and the text rebuilt, so
// that the two forms' texts match the restored values.
void restore_set(OptSet set) {
  OptFormModel& form = opt_form(set);
  form.family = Opt.Snapshot.family;
  form.common = Opt.Snapshot.common;
  Opt.OptDlg.common = Opt.Snapshot.common;
  opt_update_option(set);
}

}  // namespace

void opt_z80_snapshot() { snapshot_set(OptSet::Z80); }
void opt_z80_restore() { restore_set(OptSet::Z80); }
void opt_v86_snapshot() { snapshot_set(OptSet::V86); }
void opt_v86_restore() { restore_set(OptSet::V86); }
void opt_386_snapshot() { snapshot_set(OptSet::I386); }
void opt_386_restore() { restore_set(OptSet::I386); }
void opt_68k_snapshot() { snapshot_set(OptSet::M68K); }
void opt_68k_restore() { restore_set(OptSet::M68K); }
void opt_vr_snapshot() { snapshot_set(OptSet::VR); }
void opt_vr_restore() { restore_set(OptSet::VR); }
void opt_v8_snapshot() { snapshot_set(OptSet::V8); }
void opt_v8_restore() { restore_set(OptSet::V8); }
void opt_sh_snapshot() { snapshot_set(OptSet::SH); }
void opt_sh_restore() { restore_set(OptSet::SH); }
void opt_arm_snapshot() { snapshot_set(OptSet::ARM); }
void opt_arm_restore() { restore_set(OptSet::ARM); }
void opt_h8_snapshot() { snapshot_set(OptSet::H8); }
void opt_h8_restore() { restore_set(OptSet::H8); }
void opt_t900_snapshot() { snapshot_set(OptSet::T900); }
void opt_t900_restore() { restore_set(OptSet::T900); }
void opt_m32r_snapshot() { snapshot_set(OptSet::M32R); }
void opt_m32r_restore() { restore_set(OptSet::M32R); }
void opt_mn103_snapshot() { snapshot_set(OptSet::MN103); }
void opt_mn103_restore() { restore_set(OptSet::MN103); }
void opt_ppc_snapshot() { snapshot_set(OptSet::PPC); }
void opt_ppc_restore() { restore_set(OptSet::PPC); }

namespace {

struct SnapshotPair {
  void (*snapshot)();
  void (*restore)();
};
// ORDER: OptSet.
constexpr SnapshotPair kSnapshotRoutines[kOptSetCount] = {
    {opt_z80_snapshot, opt_z80_restore},     {opt_v86_snapshot, opt_v86_restore},
    {opt_386_snapshot, opt_386_restore},     {opt_68k_snapshot, opt_68k_restore},
    {opt_vr_snapshot, opt_vr_restore},       {opt_v8_snapshot, opt_v8_restore},
    {opt_sh_snapshot, opt_sh_restore},       {opt_arm_snapshot, opt_arm_restore},
    {opt_h8_snapshot, opt_h8_restore},       {opt_t900_snapshot, opt_t900_restore},
    {opt_m32r_snapshot, opt_m32r_restore},   {opt_mn103_snapshot, opt_mn103_restore},
    {opt_ppc_snapshot, opt_ppc_restore},
};

}  // namespace

void opt_snapshot_all() {
  Opt.Snapshot.common = Opt.OptDlg.common;
  OptSet set;
  if (opt_set_of(Setup.cpu_family, set)) kSnapshotRoutines[std::size_t(set)].snapshot();
}

void opt_restore_all() {
  OptSet set;
  if (opt_set_of(Setup.cpu_family, set)) {
    kSnapshotRoutines[std::size_t(set)].restore();
  } else {
    Opt.OptDlg.common = Opt.Snapshot.common;
  }
}
