// The inspect-or-watch expression dialog (resource 115): an expression for
// the watch list or an inspect window, with the run's expression history.
#pragma once

#include <string>

#include "halv80/gui/dlg_line.h"

class InsWatchString : public TLineDialog {
 public:
  // inspect: 1 inspect, 0 watch. `result` gets the text on OK, empty on Cancel.
  InsWatchString(TWindow* parent, u16 inspect, std::string& result);
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmOk();
  void CmCancel();

  static inline InsWatchString* Current = nullptr;

 private:
  std::string& result_;
};

// A text entered into a history list: at most 29 characters, moved to the
// top when it is there already, and at most 30 entries kept.
void win_push_history(std::vector<std::string>& history, std::string text);
