// The new-project dialog with its folder picker, and the copy of the family's
// template files from the install folder into a new project's folder.
#pragma once

#include <string>

#include "platform/vcl/vcl_forms.h"

class TNewPrj : public vcl::TForm {
 public:
  TNewPrj();
  vcl::TLabel* Lpn;
  vcl::TEdit* PrjNameE;
  vcl::TLabel* Lpi;
  vcl::TEdit* PrjDirE;
  vcl::TButton* bBtn;
  vcl::TButton* OkBtn;
  vcl::TButton* CanBtn;
  vcl::TButton* HlpBtn;
  std::string PrjBase;  // the folder a new project goes into

  void OkBtnClick();
  void PrjNameEChange();
  void bBtnClick();
  void PrjDirEExit();
  void HlpBtnClick();
  // PrjBase and the folder field from the default project folder.
  void SetBase(const std::string& base);
};

// The folder picker: a folder list under a drive (root) box; the chosen
// folder is the text of DirEdit.
class TDirSel : public vcl::TForm {
 public:
  TDirSel();
  vcl::TEdit* DirEdit;
  vcl::TComboBox* DrvCB;
  vcl::TButton* OkBtn;
  vcl::TButton* CanBtn;
  vcl::TListBox* DirLB;

  void FormCreate();
  void DirLBChange();
  // Shows `folder` (system form) and lists its subfolders; empty: the current folder.
  void SetDirectory(const std::string& folder);
  const std::string& Directory() const { return directory_; }

 private:
  std::string directory_;
};

// Copies the family's configuration file, monitor source, monitor image and
// project file (the J edition: configuration and project file) from
// MainSt.BinDir into MainSt.PrjDir, asking before it overwrites. On success
// the project's %DIR entry becomes the project name `name`; a missing
// template is reported and the others are still copied (message 5021 at the end).
void prj_copy_templates(const std::string& name);
