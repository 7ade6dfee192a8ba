// The main window and the program's forms.
#include "rz7set/set_mainform.h"

#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_state.h"

using namespace vcl;

SetupForms Forms;

TMainForm::TMainForm() {
  SetCaption(SetTexts.AppTitle);
  OptBtn = Add<TButton>();
  QuitBtn = Add<TButton>();
  PrjLbl = Add<TLabel>();
  DirStat = Add<TStatusBar>();
  OptBtn->SetCaption(set_res_string(7044));
  QuitBtn->SetCaption(set_res_string(7048));
  OptBtn->SetBounds(12, 12, 220, 30);
  QuitBtn->SetBounds(244, 12, 120, 30);
  PrjLbl->SetBounds(12, 50, 400, 20);
  DirStat->SetBounds(0, 78, 440, 22);
  DirStat->SetSimpleText(set_res_string(7024));
  SetClientSize(440, 100);
  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
  OptBtn->OnClick = [this] { OptBtnClick(); };
  QuitBtn->OnClick = [this] { QuitBtnClick(); };
}

TMainForm::~TMainForm() { set_write_settings(); }

void TMainForm::set_enable_project_commands(bool enable) { OptBtn->SetEnabled(enable); }

void TMainForm::ShowProject() {
  DirStat->SetSimpleText(MainSt.PrjDir);
  PrjLbl->SetCaption(MainSt.PrjName);
  SetCaption(SetTexts.AppTitle + " [" + MainSt.PrjName + "]");
}

void TMainForm::FormShow() {
  set_enable_project_commands(MainSt.PrjOpen);
  if (MainSt.AutoOption) OptBtnClick();
}

void TMainForm::FormClose() { prj_save(); }

void TMainForm::OptBtnClick() {
  TOptDlg* form = set_option_form();
  if (!form) return;
  if (Setup.j_edition) {
    form->Values().force_enabled = false;
    form->ForceCB->SetEnabled(false);
  }
  form->ShowModal();
}

void TMainForm::QuitBtnClick() { Close(); }

void set_create_forms() {
  Forms.MainForm = std::make_unique<TMainForm>();
  Forms.OptDlg = std::make_unique<TOptDlg>();
  auto& f = Forms.FamilyForms;
  f[std::size_t(OptSet::V86)] = std::make_unique<TO86>();
  f[std::size_t(OptSet::M68K)] = std::make_unique<TO68K>();
  f[std::size_t(OptSet::V8)] = std::make_unique<TOV8>();
  f[std::size_t(OptSet::SH)] = std::make_unique<TOSH>();
  f[std::size_t(OptSet::VR)] = std::make_unique<TOVR>();
  f[std::size_t(OptSet::T900)] = std::make_unique<TO900>();
  f[std::size_t(OptSet::M32R)] = std::make_unique<TOM32R>();
  f[std::size_t(OptSet::ARM)] = std::make_unique<TOARM>();
  f[std::size_t(OptSet::I386)] = std::make_unique<TO386>();
  f[std::size_t(OptSet::Z80)] = std::make_unique<TO80>();
  f[std::size_t(OptSet::H8)] = std::make_unique<TOH8>();
  f[std::size_t(OptSet::MN103)] = std::make_unique<TO103>();
  f[std::size_t(OptSet::PPC)] = std::make_unique<TOPPC>();
}

void set_free_forms() {
  for (auto& f : Forms.FamilyForms) f.reset();
  Forms.OptDlg.reset();
  Forms.MainForm.reset();
}

TOptDlg* set_option_form() {
  OptSet set;
  if (!opt_set_of(Setup.cpu_family, set)) return nullptr;
  return Forms.FamilyForms[std::size_t(set)].get();
}
