// The command window: the engine's command pane, with paste, the line
// editor's history and symbol-extension lists (and the dialog that shows
// them), and the focus handed to the code window when the engine's key
// cursor moves into the code pane. The paste buffer stays allocated until
// the engine has typed all of it; the heartbeat then frees it.
#pragma once

#include <string>
#include <vector>

#include "halv80/gui/win_console.h"
#include "platform/owl/owl_window.h"

class TCMDWindow : public TMainWindow {
 public:
  TCMDWindow(TMDIClient& client, std::string_view title);
  const ResponseEntry* Find(u32 message, u32 id) override;
  // The base's HandleKey; then the code window is activated when the engine's
  // key cursor went into the code pane.
  void HandleKey() override;

  // 484, 485: Shift+F2 and Shift+F6 for the line editor.
  void CmHistory();
  void CmSymbolExtension();
  // 409 (the base's paste) is enabled while the clipboard offers text and
  // the engine is not busy.
  void EnablePaste(TCommandEnabler& ce);
  void CeAlways(TCommandEnabler& ce) { ce.Enable(true); }
  // Request 12: the history or symbol list dialog.
  void ShowListDialog() override;
};

// Frees the paste buffer once the engine has typed all of it.
void win_free_consumed_paste();
bool win_paste_pending();

// The command history and symbol extension dialog: a list whose items the
// command side hands over one by one; the choice goes back into its edit
// buffer. Up, Down, Home, End move; Enter or a double click takes the
// selected item; Esc cancels.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

class HistSymExtDialog : public TDialog {
 public:
  // `history`: command history (items numbered "%3d: "), else symbol names.
  HistSymExtDialog(TWindow* parent, bool history);
  const ResponseEntry* Find(u32 message, u32 id) override;
  // Collects `count` items, entering the command side once for each.
  void Collect(u32 count, const char* itemBuffer);
  // kDialogOk with the chosen text in `chosen`, else kDialogCancel.
  int Run(std::string& chosen);
  void SetupWindow() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;
  void EvKeyDown(u32 key, u32 repeat, u32 flags);
  void EvLButtonDown(u32 modifiers, const TPoint& point);
  void EvLButtonDblClk(u32 modifiers, const TPoint& point);
  // OK: the selected entry without its number; the dialog closes.
  void CmOk();
  void CmCancel();

  // The dialog being shown, or null.
  static inline HistSymExtDialog* Current = nullptr;

  std::vector<std::string> items;  // CP932, as listed
  int selected = 0;
  bool history;
  std::string result;
};
