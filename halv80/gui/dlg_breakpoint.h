// The software breakpoint dialog (resource 116): an address from the run's
// breakpoint history, a pass count and a command, composed into the BP
// command's operands and handed to the engine; it closes when the engine
// took them and stays open, with the texts, after a reported error.
#pragma once

#include <string>

#include "halv80/gui/dlg_frame.h"
#include "platform/owl/owl_edit.h"

// The BP operands: "address,pass" or "address,pass,command", the pass count
// cut to 29 and the command to 126 characters, the whole to 127.
std::string dlg_break_argument(std::string_view address, std::string_view pass, std::string_view command);

class BreakPointDialog : public TQNDialog {
 public:
  explicit BreakPointDialog(TWindow* parent);
  void CmOk() override;

  TComboBox* address;  // 100
  TEdit* pass;         // 101
  TEdit* command;      // 102
};

// Runs the breakpoint dialog over `parent`: true when a breakpoint was set.
bool dlg_breakpoint_show(TWindow* parent);
