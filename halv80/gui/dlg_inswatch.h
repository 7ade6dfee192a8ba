// The inspect-or-watch expression dialog (resource 115): an expression for
// the watch list or an inspect window, with the run's expression history.
#pragma once

#include <string>

#include "halv80/gui/dlg_line.h"

class InsWatchString : public TLineDialog {
 public:
  // inspect: 1 inspect, 0 watch. `result` gets the text on OK, empty on Cancel.
  InsWatchString(TWindow* parent, u16 inspect, std::string& result);
  // OK: the text into the history and `result`; the dialog closes.
  void CmOk() override;
  void CmCancel() override;

  static inline InsWatchString* Current = nullptr;

 private:
  std::string& result_;
};
