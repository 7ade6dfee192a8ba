// The options dialog (resource 108, "各種状態の設定"): the execution mode,
// the register/memory display (Z80 targets only) and whether symbol names
// compare case-sensitively, edited in the engine's settings on OK.
#pragma once

#include "halv80/gui/dlg_frame.h"

class TOptDlg : public TQNDialog {
 public:
  explicit TOptDlg(TWindow* parent);
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmOk() override;
  void CmMode0() { Choose(0); }
  void CmMode1() { Choose(1); }
  void CmMode2() { Choose(2); }

  TRadioButton* mode[3];  // ﾓｰﾄﾞ0..2: radios 103, 102, 101
  TCheckBox* regMem;      // 104
  TCheckBox* caseSense;   // 105

 private:
  void Choose(int m);
};

// Runs the options dialog over `parent` (RequestHooks.optionsDialog, the menu).
void dlg_options_show(TWindow* parent);
