// The setup program's main window and the forms made at start-up. The main
// window holds ten tool buttons, the menu with the same commands and more, and
// a status bar with the project folder. Its commands make or open a project,
// edit the family's configuration and monitor source in the user's editor,
// build the monitor, set the start options, register a menu entry and start
// the debugger. Closing it saves the project; destroying it writes the
// registry settings back.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vcl/vcl_forms.h"
#include "rz7set/set_optdlg.h"

class TNewPrj;
class TDirSel;
class TUseEdit;
class TEntDlg;
class TAboutDlg;
class TRdme;
class TMkMonDlg;
class TIOset;
class TNwset;

class TMainForm : public vcl::TForm {
 public:
  TMainForm();
  ~TMainForm() override;

  // Published members, in the system's order.
  vcl::TButton* NewBtn;
  vcl::TButton* OpnBtn;
  vcl::TButton* EcfgBtn;
  vcl::TButton* EmonBtn;
  vcl::TButton* MmonBtn;
  vcl::TButton* OptBtn;
  vcl::TButton* EntBtn;
  vcl::TButton* RunBtn;
  vcl::TButton* QuitBtn;
  vcl::TButton* HlpBtn;
  vcl::TStatusBar* DirStat;
  vcl::TMainMenu* KMenu;
  vcl::TMenuItem* KS1;
  vcl::TMenuItem* KH1;
  vcl::TMenuItem* KN1;
  vcl::TMenuItem* KO1;
  vcl::TMenuItem* KC1;
  vcl::TMenuItem* KM1;
  vcl::TMenuItem* KK1;
  vcl::TMenuItem* KT1;
  vcl::TMenuItem* KE1;
  vcl::TMenuItem* KD1;
  vcl::TMenuItem* KX1;
  vcl::TMenuItem* KC2;
  vcl::TMenuItem* KI1;
  vcl::TMenuItem* KA1;
  vcl::TOpenDialog OpnDlg;
  vcl::TMenuItem* KQUENDARR1;
  vcl::TOpenDialog SelEditDlg;
  vcl::TMenuItem* ReadMe1;

  void NewBtnClick();
  void OpnBtnClick();
  void KD1Click();
  void EcfgBtnClick();
  void EmonBtnClick();
  void MmonBtnClick();
  void OptBtnClick();
  void EntBtnClick();
  void QuitBtnClick();
  void RunBtnClick();
  void KA1Click();
  void FormCreate();
  void FormDestroy();
  void FormShow();
  void HlpBtnClick();
  void ReadMe1Click();
  void FormActivate();
  void FormClose();

  // Enables the commands that need a project; the monitor buttons stay grey
  // while the project has no monitor source.
  void set_enable_project_commands(bool enable);
  // Caption and status bar after a project has been opened or made.
  void ShowProject();
  // The menu captions of the language in use (strings 7039 to 7053), and in
  // English the status-bar text and the English glyphs.
  void SetLanguageTexts();

  // The ten button glyphs: the form's own (Japanese) and resources 3500 to
  // 3509 (English), in button order NewBtn to HlpBtn.
  std::array<vcl::TGlyph, 10> EngGlyphs;
};

// prj_save under the wait cursor.
bool set_save_project();
// Starts `command_line` and does not wait; true when the process was made.
// set_run_in_project starts it in MainSt.PrjDir.
bool set_run_program(std::string_view command_line);
bool set_run_in_project(std::string_view command_line);
// The command line that starts the family's debugger: the program in
// `program_folder` (the folder of rz7set's own file, empty when it has none),
// quoted, then " -Q".
std::string set_debugger_command(std::string_view program_folder);
// The editor's command line for `file` in the project folder (EditorFmt
// filled with the editor, the folder and the file).
std::string set_editor_command(std::string_view file);

// Every form of the program, made once at start-up and kept to the end.
struct SetupForms {
  SetupForms();
  ~SetupForms();
  std::unique_ptr<TMainForm> MainForm;
  std::unique_ptr<TDirSel> DirSel;
  std::unique_ptr<TUseEdit> UseEdit;
  std::unique_ptr<TMkMonDlg> MkMonDlg;
  std::unique_ptr<TEntDlg> EntDlg;
  std::unique_ptr<TAboutDlg> AboutDlg;
  std::unique_ptr<TNewPrj> NewPrj;
  std::unique_ptr<TOptDlg> OptDlg;
  std::array<std::unique_ptr<TOptDlg>, kOptSetCount> FamilyForms;  // by OptSet
  std::unique_ptr<TIOset> IOset;
  std::unique_ptr<TNwset> Nwset;
  std::unique_ptr<TRdme> Rdme;
};
extern SetupForms Forms;

// Makes the forms in their start-up order; set_free_forms frees them.
void set_create_forms();
void set_free_forms();
// The start-option form of cpu_family; null for family 0.
TOptDlg* set_option_form();
