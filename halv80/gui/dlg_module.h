// The module dialog (resource 105, "ﾓｼﾞｭｰﾙ"): the engine's module choice.
// The request block holds the count and the entry to select in P1 (low and
// high half) and the modules in list order at p2_ptr; the chosen entry goes
// back into P1's high half, kNoChoice when the user cancels.
#pragma once

#include "halv80/gui/dlg_controls.h"
#include "halv80/gui/dlg_frame.h"

class ModuleDialog : public TQNDialog {
 public:
  explicit ModuleDialog(TWindow* parent);
  void SetupWindow() override;
  void CmOk() override;

  QNListBox* list;
};

// Serves the module-choice request over `parent` (RequestHooks.moduleDialog).
void dlg_module_show(TWindow& parent);
