// The start-option dialogs: TOptDlg with the common controls and the option
// text OptE, and one derived form per option set with the family's controls.
// Each form shows the values held for it (opt_forms.h): it loads them into its
// controls when it is shown or restored, and writes every change the user
// makes back at once, then calls UpdateOption.
#pragma once

#include "platform/vcl/vcl_forms.h"
#include "rz7set/opt_forms.h"

class TOptDlg : public vcl::TForm {
 public:
  // The base form OptDlg (never shown; the store).
  TOptDlg();
  // Rebuilds the option text from the form's values and shows it in OptE.
  virtual void UpdateOption();
  // Puts the held values into the controls; raises no handler.
  virtual void LoadControls();
  // The values this form shows.
  OptFormModel& Values();
  bool IsFamilyForm() const { return family_form_; }
  OptSet Set() const { return set_; }

  vcl::TLabel* Lds;
  vcl::TEdit* DebSizeE;
  vcl::TLabel* Lms;
  vcl::TEdit* MacSizeE;
  vcl::TLabel* Lext;
  vcl::TEdit* ExtE;
  vcl::TLabel* Lts;
  vcl::TEdit* TabE;
  vcl::TLabel* Ldm;
  vcl::TComboBox* DebCB;
  vcl::TLabel* Lsp;
  vcl::TEdit* SrcPE;
  vcl::TCheckBox* ForceCB;
  vcl::TEdit* OptE;
  vcl::TButton* OkBtn;
  vcl::TButton* CanBtn;
  vcl::TButton* HlpBtn;

  void FormShow();
  void OkBtnClick();
  void CanBtnClick();
  void HlpBtnClick();
  void DebSizeEChange();
  void MacSizeEChange();
  void ExtEChange();
  void TabEChange();
  void SrcPEChange();
  void ForceCBClick();
  void DebCBChange();

 protected:
  // A family form of `set`; `extra_height` pixels are left free at kExtraTop
  // for the family's own controls.
  TOptDlg(OptSet set, int extra_height);
  static constexpr int kExtraTop = 152;
  static constexpr int kRow = 28;
  // A label and its control in one row at `top`.
  void PlaceRow(vcl::TLabel* label, vcl::TControl* control, int top, int control_width);

 private:
  void Build(int extra_height);
  // A common value changed: the copy into OptDlg (family forms), then UpdateOption.
  void CommonChanged();
  // Puts the saved part of a typed value back into its field when they differ.
  static void ShowSaved(vcl::TEdit* field, const std::string& saved);
  bool family_form_;
  OptSet set_;
};

class TO80 : public TOptDlg {
 public:
  TO80();
  void LoadControls() override;
  vcl::TLabel* Lss = nullptr;
  vcl::TComboBox* SmodeCB = nullptr;
  void SmodeCBChange();
};

class TO86 : public TOptDlg {
 public:
  TO86();
  void LoadControls() override;
  vcl::TComboBox* MmodelCB = nullptr;
  vcl::TLabel* Lmm = nullptr;
  vcl::TRadioGroup* CpuG = nullptr;
  vcl::TCheckBox* C87CB = nullptr;
  vcl::TCheckBox* MultiCB = nullptr;
  void MmodelCBChange();
  void CpuGClick();
  void C87CBClick();
  void MultiCBClick();
};

class TO386 : public TOptDlg {
 public:
  TO386();
  void LoadControls() override;
  vcl::TLabel* Lmm = nullptr;
  vcl::TComboBox* MmodelCB = nullptr;
  vcl::TCheckBox* C87CB = nullptr;
  void MmodelCBChange();
  void C87CBClick();
};

// The sets with the debug-information list only.
class TO68K : public TOptDlg {
 public:
  TO68K() : TOptDlg(OptSet::M68K, 0) {}
};
class TOVR : public TOptDlg {
 public:
  TOVR() : TOptDlg(OptSet::VR, 0) {}
};
class TOV8 : public TOptDlg {
 public:
  TOV8() : TOptDlg(OptSet::V8, 0) {}
};
class TOSH : public TOptDlg {
 public:
  TOSH() : TOptDlg(OptSet::SH, 0) {}
};
class TOARM : public TOptDlg {
 public:
  TOARM() : TOptDlg(OptSet::ARM, 0) {}
};
class TOH8 : public TOptDlg {
 public:
  TOH8() : TOptDlg(OptSet::H8, 0) {}
};
class TO900 : public TOptDlg {
 public:
  TO900() : TOptDlg(OptSet::T900, 0) {}
};
class TOM32R : public TOptDlg {
 public:
  TOM32R() : TOptDlg(OptSet::M32R, 0) {}
};
class TO103 : public TOptDlg {
 public:
  TO103() : TOptDlg(OptSet::MN103, 0) {}
};
class TOPPC : public TOptDlg {
 public:
  TOPPC() : TOptDlg(OptSet::PPC, 0) {}
};
