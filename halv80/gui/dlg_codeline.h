// The code window's line-number dialog (resource 114): a line of the shown
// source file in source view, else an address, handed to the engine's core
// request 8; it closes when the engine took it.
#pragma once

#include <string>

#include "halv80/gui/dlg_line.h"

class CodeLineDialog : public TLineDialog {
 public:
  // The caption and label follow the code view mode (source lines or addresses).
  explicit CodeLineDialog(TWindow* parent);
  // OK: a non-empty text goes to core request 8; the dialog closes when it
  // succeeded and stays open with the text after a reported error.
  void CmOk() override;

  // The dialog being shown, or null.
  static inline CodeLineDialog* Current = nullptr;
};
