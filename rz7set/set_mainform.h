// The setup program's main window and the forms made at start-up. The main
// window here carries the project folder in its status bar and the commands
// of this part of the program: the start-option dialog of the project's
// family and Quit. Closing it saves the project; destroying it writes the
// registry settings back.
#pragma once

#include <array>
#include <memory>

#include "platform/vcl/vcl_forms.h"
#include "rz7set/set_optdlg.h"

class TMainForm : public vcl::TForm {
 public:
  TMainForm();
  ~TMainForm() override;

  vcl::TButton* OptBtn;
  vcl::TButton* QuitBtn;
  vcl::TLabel* PrjLbl;
  vcl::TStatusBar* DirStat;

  void FormShow();
  void FormClose();
  void OptBtnClick();
  void QuitBtnClick();
  // Enables the commands that need a project.
  void set_enable_project_commands(bool enable);
  // Caption, project line and status bar after a project has been opened.
  void ShowProject();
};

// Every form of the program, made once at start-up and kept to the end.
struct SetupForms {
  std::unique_ptr<TMainForm> MainForm;
  std::unique_ptr<TOptDlg> OptDlg;
  std::array<std::unique_ptr<TOptDlg>, kOptSetCount> FamilyForms;  // by OptSet
};
extern SetupForms Forms;

// Makes the forms in their start-up order; set_free_forms frees them.
void set_create_forms();
void set_free_forms();
// The start-option form of cpu_family; null for family 0.
TOptDlg* set_option_form();
