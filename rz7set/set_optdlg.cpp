// The start-option dialogs. Captions are looked up when a form is made; the
// compiler, step and model lists are not translated.
#include "rz7set/set_optdlg.h"

#include <vector>

#include "platform/owl/owl_system.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_project.h"
#include "rz7set/set_state.h"

using namespace vcl;

namespace {

constexpr int kLabelLeft = 12;
constexpr int kLabelWidth = 200;
constexpr int kControlLeft = 220;
constexpr int kFormWidth = 440;
constexpr u32 kHelpContext = 1;        // the help call's command: show a context
constexpr u32 kOptionHelpTopic = 8;    // the start-option dialogs' topic

std::vector<std::string> items_of(std::span<const char* const> items) { return {items.begin(), items.end()}; }

}  // namespace

TOptDlg::TOptDlg() : family_form_(false), set_(OptSet::Z80) { Build(0); }

TOptDlg::TOptDlg(OptSet set, int extra_height) : family_form_(true), set_(set) {
  Build(extra_height);
  DebCB->SetItems(items_of(opt_compiler_items(set)));
  DebCB->SetItemIndex(0);
}

void TOptDlg::PlaceRow(TLabel* label, TControl* control, int top, int control_width) {
  label->SetBounds(kLabelLeft, top + 4, kLabelWidth, 20);
  control->SetBounds(kControlLeft, top, control_width, 24);
  label->SetFocusControl(control);
}

void TOptDlg::Build(int extra_height) {
  SetCaption(set_res_string(7009));
  Lds = Add<TLabel>();
  DebSizeE = Add<TEdit>();
  Lms = Add<TLabel>();
  MacSizeE = Add<TEdit>();
  Lext = Add<TLabel>();
  ExtE = Add<TEdit>();
  Lts = Add<TLabel>();
  TabE = Add<TEdit>();
  Ldm = Add<TLabel>();
  DebCB = Add<TComboBox>();
  Lsp = Add<TLabel>();
  SrcPE = Add<TEdit>();
  ForceCB = Add<TCheckBox>();
  OptE = Add<TEdit>();
  OkBtn = Add<TButton>();
  CanBtn = Add<TButton>();
  HlpBtn = Add<TButton>();

  const struct {
    TLabel* label;
    u32 caption;
  } labels[] = {{Lds, 7010}, {Lms, 7011}, {Lext, 7012}, {Lts, 7013}, {Ldm, 7016}, {Lsp, 7014}};
  for (const auto& l : labels) l.label->SetCaption(set_res_string(l.caption));
  ForceCB->SetCaption(set_res_string(7015));
  OkBtn->SetCaption(set_res_string(7000));
  CanBtn->SetCaption(set_res_string(7001));
  HlpBtn->SetCaption(set_res_string(7002));
  OkBtn->SetModalResult(mrOk);
  OkBtn->SetDefault(true);
  CanBtn->SetModalResult(mrCancel);
  CanBtn->SetCancel(true);
  OptE->SetReadOnly(true);

  PlaceRow(Lds, DebSizeE, 12, 80);
  PlaceRow(Lms, MacSizeE, 12 + kRow, 80);
  PlaceRow(Lext, ExtE, 12 + 2 * kRow, 80);
  PlaceRow(Lts, TabE, 12 + 3 * kRow, 80);
  PlaceRow(Ldm, DebCB, 12 + 4 * kRow, 200);
  const int below = kExtraTop + extra_height;
  PlaceRow(Lsp, SrcPE, below, 200);
  ForceCB->SetBounds(kLabelLeft, below + kRow, 300, 24);
  OptE->SetBounds(kLabelLeft, below + 2 * kRow + 4, kFormWidth - 2 * kLabelLeft, 24);
  const int buttons = below + 3 * kRow + 16;
  OkBtn->SetBounds(kFormWidth - 3 * 104, buttons, 96, 28);
  CanBtn->SetBounds(kFormWidth - 2 * 104, buttons, 96, 28);
  HlpBtn->SetBounds(kFormWidth - 104, buttons, 96, 28);
  SetClientSize(kFormWidth, buttons + 28 + 12);

  OnShow = [this] { FormShow(); };
  OkBtn->OnClick = [this] { OkBtnClick(); };
  CanBtn->OnClick = [this] { CanBtnClick(); };
  HlpBtn->OnClick = [this] { HlpBtnClick(); };
  DebSizeE->OnChange = [this] { DebSizeEChange(); };
  MacSizeE->OnChange = [this] { MacSizeEChange(); };
  ExtE->OnChange = [this] { ExtEChange(); };
  TabE->OnChange = [this] { TabEChange(); };
  SrcPE->OnChange = [this] { SrcPEChange(); };
  ForceCB->OnClick = [this] { ForceCBClick(); };
  DebCB->OnChange = [this] { DebCBChange(); };
  LoadControls();
}

OptFormModel& TOptDlg::Values() { return family_form_ ? opt_form(set_) : Opt.OptDlg; }

void TOptDlg::UpdateOption() {
  if (family_form_) {
    opt_update_option(set_);
  } else {
    opt_update_option_base();
  }
  OptE->SetText(Values().opt_text);
}

void TOptDlg::LoadControls() {
  const OptFormModel& v = Values();
  DebSizeE->SetText(v.common.deb_size);
  MacSizeE->SetText(v.common.mac_size);
  ExtE->SetText(v.common.ext);
  TabE->SetText(v.common.tab);
  SrcPE->SetText(v.common.src_path);
  ForceCB->SetChecked(v.common.force);
  ForceCB->SetEnabled(v.force_enabled);
  DebCB->SetItemIndex(v.family.deb_mode);
  OptE->SetText(v.opt_text);
}

void TOptDlg::FormShow() {
  LoadControls();
  opt_snapshot_all();
  UpdateOption();
}

void TOptDlg::OkBtnClick() { set_save_project(); }

void TOptDlg::CanBtnClick() {
  opt_restore_all();
  LoadControls();
}

void TOptDlg::HlpBtnClick() { owl_win_help(MainSt.HelpFile, kHelpContext, kOptionHelpTopic); }

void TOptDlg::ShowSaved(TEdit* field, const std::string& saved) {
  // a byte the option text cannot carry is not taken: the field shows what is saved
  if (field->Text() != saved) field->SetText(saved);
}

void TOptDlg::CommonChanged() {
  if (family_form_) opt_copy_common_to_base(set_);
  UpdateOption();
}

void TOptDlg::DebSizeEChange() {
  Values().common.deb_size = opt_saved_value(OptField::DebSize, DebSizeE->Text());
  ShowSaved(DebSizeE, Values().common.deb_size);
  CommonChanged();
}
void TOptDlg::MacSizeEChange() {
  Values().common.mac_size = opt_saved_value(OptField::MacSize, MacSizeE->Text());
  ShowSaved(MacSizeE, Values().common.mac_size);
  CommonChanged();
}
void TOptDlg::ExtEChange() {
  Values().common.ext = opt_saved_value(OptField::Ext, ExtE->Text());
  ShowSaved(ExtE, Values().common.ext);
  CommonChanged();
}
void TOptDlg::TabEChange() {
  Values().common.tab = opt_saved_value(OptField::Tab, TabE->Text());
  ShowSaved(TabE, Values().common.tab);
  CommonChanged();
}
void TOptDlg::SrcPEChange() {
  Values().common.src_path = SrcPE->Text();
  CommonChanged();
}
void TOptDlg::ForceCBClick() {
  Values().common.force = ForceCB->Checked();
  CommonChanged();
}
void TOptDlg::DebCBChange() {
  Values().family.deb_mode = DebCB->ItemIndex();
  UpdateOption();
}

TO80::TO80() : TOptDlg(OptSet::Z80, kRow) {
  Lss = Add<TLabel>();
  SmodeCB = Add<TComboBox>();
  Lss->SetCaption(set_res_string(7023));
  SmodeCB->SetItems({"P command", "T command"});
  PlaceRow(Lss, SmodeCB, kExtraTop, 200);
  SmodeCB->OnChange = [this] { SmodeCBChange(); };
  LoadControls();
}
void TO80::LoadControls() {
  TOptDlg::LoadControls();
  if (SmodeCB) SmodeCB->SetItemIndex(Values().family.step_mode);
}
void TO80::SmodeCBChange() {
  Values().family.step_mode = SmodeCB->ItemIndex();
  UpdateOption();
}

TO86::TO86() : TOptDlg(OptSet::V86, 4 * kRow + 24) {
  MmodelCB = Add<TComboBox>();
  Lmm = Add<TLabel>();
  CpuG = Add<TRadioGroup>();
  C87CB = Add<TCheckBox>();
  MultiCB = Add<TCheckBox>();
  Lmm->SetCaption(set_res_string(7017));
  MmodelCB->SetItems(items_of(opt_model_items()));
  PlaceRow(Lmm, MmodelCB, kExtraTop, 200);
  CpuG->SetCaption("&CPU");
  CpuG->SetItems({set_res_string(7020), set_res_string(7021), set_res_string(7022)});
  CpuG->SetBounds(kLabelLeft, kExtraTop + kRow + 4, 200, 3 * kRow + 16);
  C87CB->SetCaption(set_res_string(7018));
  C87CB->SetBounds(kControlLeft, kExtraTop + kRow + 12, 200, 24);
  MultiCB->SetCaption(set_res_string(7019));
  MultiCB->SetBounds(kControlLeft, kExtraTop + 2 * kRow + 12, 200, 24);
  MmodelCB->OnChange = [this] { MmodelCBChange(); };
  CpuG->OnClick = [this] { CpuGClick(); };
  C87CB->OnClick = [this] { C87CBClick(); };
  MultiCB->OnClick = [this] { MultiCBClick(); };
  LoadControls();
}
void TO86::LoadControls() {
  TOptDlg::LoadControls();
  if (!MultiCB) return;  // the base constructor loads before the family controls exist
  const FamilyOptions& f = Values().family;
  MmodelCB->SetItemIndex(f.model);
  CpuG->SetItemIndex(f.cpu);
  C87CB->SetChecked(f.c87);
  MultiCB->SetChecked(f.multi);
}
void TO86::MmodelCBChange() {
  Values().family.model = MmodelCB->ItemIndex();
  UpdateOption();
}
void TO86::CpuGClick() {
  Values().family.cpu = CpuG->ItemIndex();
  UpdateOption();
}
void TO86::C87CBClick() {
  Values().family.c87 = C87CB->Checked();
  UpdateOption();
}
void TO86::MultiCBClick() {
  Values().family.multi = MultiCB->Checked();
  UpdateOption();
}

TO386::TO386() : TOptDlg(OptSet::I386, 2 * kRow) {
  Lmm = Add<TLabel>();
  MmodelCB = Add<TComboBox>();
  C87CB = Add<TCheckBox>();
  Lmm->SetCaption(set_res_string(7017));
  MmodelCB->SetItems(items_of(opt_model_items()));
  PlaceRow(Lmm, MmodelCB, kExtraTop, 200);
  C87CB->SetCaption(set_res_string(7018));
  C87CB->SetBounds(kLabelLeft, kExtraTop + kRow, 300, 24);
  MmodelCB->OnChange = [this] { MmodelCBChange(); };
  C87CB->OnClick = [this] { C87CBClick(); };
  LoadControls();
}
void TO386::LoadControls() {
  TOptDlg::LoadControls();
  if (!C87CB) return;
  MmodelCB->SetItemIndex(Values().family.model);
  C87CB->SetChecked(Values().family.c87);
}
void TO386::MmodelCBChange() {
  Values().family.model = MmodelCB->ItemIndex();
  UpdateOption();
}
void TO386::C87CBClick() {
  Values().family.c87 = C87CB->Checked();
  UpdateOption();
}
