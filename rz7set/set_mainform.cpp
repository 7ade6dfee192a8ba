// The main window, its commands and program starts, and the program's forms.
#include "rz7set/set_mainform.h"

#include "platform/host/host_dir.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_system.h"
#include "rz7set/set_entdlg.h"
#include "rz7set/set_ioset.h"
#include "rz7set/set_mkmon.h"
#include "rz7set/set_newprj.h"
#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_smalldlg.h"
#include "rz7set/set_start.h"
#include "rz7set/set_state.h"

using namespace vcl;

SetupForms Forms;
SetupForms::SetupForms() = default;
SetupForms::~SetupForms() = default;

namespace {

constexpr int kHelpContents = 1;  // the help file's context of the main window
constexpr u32 kHelpContext = 1;   // the help call's "context" command

// The glyphs' symbols, in button order NewBtn to HlpBtn.
constexpr TGlyph::Symbol kGlyphSymbols[10] = {
    TGlyph::Symbol::New,     TGlyph::Symbol::Open,    TGlyph::Symbol::Edit,  TGlyph::Symbol::Monitor,
    TGlyph::Symbol::Build,   TGlyph::Symbol::Options, TGlyph::Symbol::Entry, TGlyph::Symbol::Run,
    TGlyph::Symbol::Quit,    TGlyph::Symbol::Help,
};
// The form's own glyph texts and the English bitmap resources 3500 to 3509.
constexpr const char* kJapaneseGlyphTexts[10] = {"新規", "開く", "コンフィグ", "モニタ", "作成",
                                                 "オプション", "登録", "起動", "終了", "ヘルプ"};
constexpr const char* kEnglishGlyphTexts[10] = {"New", "Open", "Config", "Monitor", "Build",
                                                "Option", "Entry", "Run", "Exit", "Help"};

constexpr int kButtonWidth = 60;
constexpr int kButtonHeight = 44;
constexpr int kMargin = 6;

void open_help() { owl_win_help(MainSt.HelpFile, kHelpContext, kHelpContents); }

}  // namespace

TMainForm::TMainForm() {
  SetCaption(SetTexts.AppTitle);
  NewBtn = Add<TButton>();
  OpnBtn = Add<TButton>();
  EcfgBtn = Add<TButton>();
  EmonBtn = Add<TButton>();
  MmonBtn = Add<TButton>();
  OptBtn = Add<TButton>();
  EntBtn = Add<TButton>();
  RunBtn = Add<TButton>();
  QuitBtn = Add<TButton>();
  HlpBtn = Add<TButton>();
  DirStat = Add<TStatusBar>();
  KMenu = Add<TMainMenu>();
  KS1 = KMenu->AddMenu();
  KH1 = KMenu->AddMenu();
  KN1 = KS1->Add();
  KO1 = KS1->Add();
  KC1 = KS1->Add();
  KM1 = KS1->Add();
  KK1 = KS1->Add();
  KT1 = KS1->Add();
  KQUENDARR1 = KS1->Add();
  KE1 = KS1->Add();
  KD1 = KS1->Add();
  KX1 = KS1->Add();
  KC2 = KH1->Add();
  KI1 = KH1->Add();
  KA1 = KH1->Add();
  ReadMe1 = KH1->Add();
  ReadMe1->SetCaption("ReadMe..");
  SetLanguageTexts();  // the menu's height follows its captions

  const int menu_height = KMenu->Height();
  const int width = kMargin * 2 + 10 * kButtonWidth;
  KMenu->SetBounds(0, 0, width, menu_height);
  TButton* buttons[10] = {NewBtn, OpnBtn, EcfgBtn, EmonBtn, MmonBtn, OptBtn, EntBtn, RunBtn, QuitBtn, HlpBtn};
  for (int i = 0; i < 10; ++i) {
    buttons[i]->SetBounds(kMargin + i * kButtonWidth, menu_height + kMargin, kButtonWidth, kButtonHeight);
    buttons[i]->SetTabStop(false);
  }
  const int bar_top = menu_height + kMargin * 2 + kButtonHeight;
  DirStat->SetBounds(0, bar_top, width, 22);
  DirStat->SetSimpleText(set_res_string(7024));
  SetClientSize(width, bar_top + 22);

  OpnDlg.Filter = set_res_string(5025);
  OpnDlg.FileName = set_res_string(50);
  SelEditDlg.Filter = "Editor Files|*.exe|All Files|*.*";

  NewBtn->OnClick = KN1->OnClick = [this] { NewBtnClick(); };
  OpnBtn->OnClick = KO1->OnClick = [this] { OpnBtnClick(); };
  EcfgBtn->OnClick = KC1->OnClick = [this] { EcfgBtnClick(); };
  EmonBtn->OnClick = KM1->OnClick = [this] { EmonBtnClick(); };
  MmonBtn->OnClick = KK1->OnClick = [this] { MmonBtnClick(); };
  OptBtn->OnClick = KT1->OnClick = [this] { OptBtnClick(); };
  RunBtn->OnClick = KQUENDARR1->OnClick = [this] { RunBtnClick(); };
  EntBtn->OnClick = KE1->OnClick = [this] { EntBtnClick(); };
  KD1->OnClick = [this] { KD1Click(); };
  QuitBtn->OnClick = KX1->OnClick = [this] { QuitBtnClick(); };
  HlpBtn->OnClick = KC2->OnClick = KI1->OnClick = [this] { HlpBtnClick(); };
  KA1->OnClick = [this] { KA1Click(); };
  ReadMe1->OnClick = [this] { ReadMe1Click(); };
  OnShow = [this] {
    FormActivate();
    FormShow();
  };
  OnClose = [this] { FormClose(); };
  FormCreate();
  SetLanguageTexts();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::FormCreate() {
  for (std::size_t i = 0; i < EngGlyphs.size(); ++i)
    EngGlyphs[i] = TGlyph{kGlyphSymbols[i], host_utf8_to_cp932(kEnglishGlyphTexts[i])};
}

void TMainForm::FormDestroy() { set_write_settings(); }

void TMainForm::SetLanguageTexts() {
  struct Caption {
    TMenuItem* TMainForm::*item;
    u32 id;
  };
  static constexpr Caption kCaptions[] = {
      {&TMainForm::KN1, 7039}, {&TMainForm::KO1, 7040}, {&TMainForm::KC1, 7041},
      {&TMainForm::KM1, 7042}, {&TMainForm::KK1, 7043}, {&TMainForm::KT1, 7044},
      {&TMainForm::KQUENDARR1, 7045}, {&TMainForm::KE1, 7046}, {&TMainForm::KD1, 7047},
      {&TMainForm::KX1, 7048}, {&TMainForm::KS1, 7049}, {&TMainForm::KH1, 7050},
      {&TMainForm::KC2, 7051}, {&TMainForm::KI1, 7052}, {&TMainForm::KA1, 7053},
  };
  for (const Caption& c : kCaptions) (this->*c.item)->SetCaption(set_res_string(c.id));
  TButton* buttons[10] = {NewBtn, OpnBtn, EcfgBtn, EmonBtn, MmonBtn, OptBtn, EntBtn, RunBtn, QuitBtn, HlpBtn};
  for (std::size_t i = 0; i < 10; ++i)
    buttons[i]->SetGlyph(Setup.english_ui ? EngGlyphs[i]
                                          : TGlyph{kGlyphSymbols[i], host_utf8_to_cp932(kJapaneseGlyphTexts[i])});
  if (Setup.english_ui) DirStat->SetSimpleText(set_res_string(7024));
}

void TMainForm::set_enable_project_commands(bool enable) {
  for (TButton* b : {EcfgBtn, OptBtn, EntBtn, RunBtn}) b->SetEnabled(enable);
  for (TMenuItem* m : {KC1, KM1, KK1, KT1, KQUENDARR1, KE1}) m->SetEnabled(enable);
  EmonBtn->SetEnabled(enable && !Setup.no_monitor_source);
  MmonBtn->SetEnabled(enable && !Setup.no_monitor_source);
}

void TMainForm::ShowProject() {
  DirStat->SetSimpleText(MainSt.PrjDir);
  SetCaption(SetTexts.AppTitle + " [" + MainSt.PrjName + "]");
}

void TMainForm::FormShow() {
  set_enable_project_commands(MainSt.PrjOpen);
  if (MainSt.AutoOption) OptBtnClick();
}

void TMainForm::FormActivate() {
  for (u32 i = 0; i < MainSt.CpuFiles.size(); ++i) MainSt.CpuFiles[i] = set_res_string(11 + i);
}

void TMainForm::FormClose() { set_save_project(); }

void TMainForm::NewBtnClick() {
  MainSt.PrjDir.clear();
  Forms.NewPrj->ShowModal();
  if (!MainSt.PrjDir.empty()) {
    if (Setup.j_edition) Setup.no_monitor_source = true;
    MainSt.PrjOpen = true;
    set_enable_project_commands(true);
    ShowProject();
    MainSt.OpnDir = MainSt.PrjDir;
  }
  Forms.NewPrj->PrjNameE->SetText("");
  Forms.NewPrj->PrjDirE->SetText(MainSt.DefPrjDir);
  Forms.NewPrj->OkBtn->SetEnabled(false);  // no name yet: nothing to create
}

void TMainForm::OpnBtnClick() {
  set_save_cwd();
  if (!host_is_directory(MainSt.OpnDir)) MainSt.OpnDir = MainSt.DefPrjDir;
  OpnDlg.InitialDir = MainSt.OpnDir.empty() ? MainSt.DefPrjDir : MainSt.OpnDir;
  const bool chosen = OpnDlg.Execute();
  set_restore_cwd();
  if (!chosen) return;
  const std::string path = OpnDlg.FileName;
  if (prj_check_files(prj_folder_of(path)) != kAnswerYes) return;
  MainSt.OpnDir = set_folder_part(path);
  if (!prj_load(path)) return;
  MainSt.PrjOpen = true;
  set_enable_project_commands(true);
  ShowProject();
}

std::string set_editor_command(std::string_view file) {
  if (MainSt.EditorName.empty()) MainSt.EditorName = "notepad.exe";
  return set_format(MainSt.EditorFmt, MainSt.EditorName, MainSt.PrjDir, file);
}

namespace {

// Edits a file of the project in the user's editor. The default editor of
// the system does not exist here: with it, the file opens in the desktop's
// own application for it (xdg-open).
void edit_project_file(const std::string& file) {
  const std::string command = set_editor_command(file);
  if (set_run_program(command)) return;
  if (MainSt.EditorName == "notepad.exe" &&
      set_run_program("xdg-open \"" + MainSt.PrjDir + "\\" + file + "\""))
    return;
  set_msg_box(5003, command.c_str(), nullptr, kMsgError);
}

}  // namespace

void TMainForm::EcfgBtnClick() { edit_project_file(MainSt.CpuFiles[0]); }
void TMainForm::EmonBtnClick() { edit_project_file(MainSt.CpuFiles[1]); }

void TMainForm::MmonBtnClick() { Forms.MkMonDlg->ShowModal(); }

void TMainForm::OptBtnClick() {
  TOptDlg* form = set_option_form();
  if (!form) return;
  if (Setup.j_edition) {
    form->Values().force_enabled = false;
    form->ForceCB->SetEnabled(false);
  }
  form->ShowModal();
}

void TMainForm::EntBtnClick() { Forms.EntDlg->ShowModal(); }
void TMainForm::KD1Click() { Forms.UseEdit->ShowModal(); }
void TMainForm::KA1Click() { Forms.AboutDlg->ShowModal(); }
void TMainForm::ReadMe1Click() { Forms.Rdme->ShowModal(); }
void TMainForm::HlpBtnClick() { open_help(); }

void TMainForm::QuitBtnClick() { Close(); }

std::string set_debugger_command(std::string_view program_folder) {
  std::string command = "\"";
  if (!program_folder.empty()) {
    command += program_folder;
    command += '\\';
  }
  command += MainSt.CpuFiles[5];
  command += "\" -Q";
  return command;
}

void TMainForm::RunBtnClick() {
  if (!set_save_project()) return;
  const std::string& self = SetTexts.ProgramFile;
  const std::size_t cut = self.find_last_of('\\');
  const std::string command = set_debugger_command(cut == std::string::npos ? std::string_view() : std::string_view(self).substr(0, cut));
  if (!set_run_in_project(command)) {
    set_msg_box(5003, command.c_str(), nullptr, kMsgError);
    return;
  }
  Close();
}

bool set_save_project() {
  TWaitCursor wait;  // a large project file takes a while
  return prj_save();
}

bool set_run_program(std::string_view command_line) { return owl_start_process(command_line, {}) > 0; }
bool set_run_in_project(std::string_view command_line) { return owl_start_process(command_line, MainSt.PrjDir) > 0; }

void set_create_forms() {
  Forms.MainForm = std::make_unique<TMainForm>();
  Forms.DirSel = std::make_unique<TDirSel>();
  Forms.UseEdit = std::make_unique<TUseEdit>();
  Forms.MkMonDlg = std::make_unique<TMkMonDlg>();
  Forms.MkMonDlg->OnEditMonitor = [] { Forms.MainForm->EmonBtnClick(); };
  Forms.EntDlg = std::make_unique<TEntDlg>();
  Forms.AboutDlg = std::make_unique<TAboutDlg>();
  Forms.NewPrj = std::make_unique<TNewPrj>();
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
  Forms.IOset = std::make_unique<TIOset>();
  Forms.IOset->OnShowReadMe = [] { Forms.Rdme->ShowModal(); };
  Forms.Nwset = std::make_unique<TNwset>();
  f[std::size_t(OptSet::H8)] = std::make_unique<TOH8>();
  f[std::size_t(OptSet::MN103)] = std::make_unique<TO103>();
  Forms.Rdme = std::make_unique<TRdme>();
  f[std::size_t(OptSet::PPC)] = std::make_unique<TOPPC>();
}

void set_free_forms() {
  Forms.Rdme.reset();
  Forms.Nwset.reset();
  Forms.IOset.reset();
  for (auto& f : Forms.FamilyForms) f.reset();
  Forms.OptDlg.reset();
  Forms.NewPrj.reset();
  Forms.AboutDlg.reset();
  Forms.EntDlg.reset();
  Forms.MkMonDlg.reset();
  Forms.UseEdit.reset();
  Forms.DirSel.reset();
  Forms.MainForm.reset();
}

TOptDlg* set_option_form() {
  OptSet set;
  if (!opt_set_of(Setup.cpu_family, set)) return nullptr;
  return Forms.FamilyForms[std::size_t(set)].get();
}
