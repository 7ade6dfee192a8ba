// The small dialogs of the setup program: the editor choice, the about box
// and the read-me viewer.
#pragma once

#include <string>

#include "platform/vcl/vcl_forms.h"

class TUseEdit : public vcl::TForm {
 public:
  TUseEdit();
  vcl::TEdit* Edit;
  vcl::TButton* OkBtn;
  vcl::TButton* CanBtn;
  vcl::TButton* HlpBtn;
  vcl::TButton* SelBtn;

  void OkBtnClick();
  void FormShow();
  void SelBtnClick();
};

class TAboutDlg : public vcl::TForm {
 public:
  TAboutDlg();
  vcl::TLabel* LProductN;
  vcl::TLabel* LVer;
  vcl::TButton* OkBtn;
  vcl::TLabel* LCopyright;

  void FormShow();
};

class TRdme : public vcl::TForm {
 public:
  TRdme();
  vcl::TMemo* RdmeTxt;
  vcl::TButton* OKBtn;

  void FormActivate();
};

// A read-me larger than this is not shown.
constexpr std::size_t kReadMeMaxSize = 16u << 20;
// The read-me file: BinDir (or the current folder when it is empty) cut after
// its last "\" or ":", then "Document\Readme.txt".
std::string set_readme_path();
