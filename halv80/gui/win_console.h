// The console windows' base: a band of rows of the engine's text screen, with
// every key, scroll action and selection event handed to the command side as a
// pending key. HandleKey enters the command side and serves each request it
// posts (ServiceCoreRequest, win_requests.cpp) until it waits for a key again.
// Pane 0, the command pane, is shown by the command window; pane 1, the code
// pane, by the code window that is the frame's console window. The focused
// console window owns the one caret.
#pragma once

#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/gui/win_cells.h"

// The pending key's function-key code for virtual key `key` (0x36..0x3F,
// 0x62..0x6B), or 0 when the key has none.
u16 console_key_code(u32 key);

// The pseudo-key of a scroll-bar code (SB_*), or 0 for codes that set none.
u16 console_scroll_key(u32 code);

class TMainWindow : public TQNWindow {
 public:
  TMainWindow(TMDIClient& client, std::string_view title, u16 index);
  ~TMainWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // The text-screen row that window row `row` shows.
  u16 ScreenRow(u16 row) const;
  // The pane this window shows: 0 command, 1 code.
  u16 Pane() const { return windowIndex >= kChildCode ? 1 : 0; }
  // The window row on which the caret of screen row `row` shows, or -1 when
  // the row lies outside this window's band.
  int CaretWindowRow(u16 row) const;

  // Logical line `row` of the pane's content (log ring or listing).
  u16 GetRowText(u16 mode, i32 row, std::string& buffer) override;
  u16 GetCopyRow(u16 row) override;
  // Request 4: the engine's text search over the pane's lines, with its
  // parameters and results in the request block.
  void FindInPane();
  int MinClientHeight() override { return 2 * CellHeight(); }
  void UpdateLayout(u32 sizeType, const TSize& size) override;
  void KeyDown(u32 key, u32 repeat, u32 flags) override;
  // Runs the command side with the pending key until it waits again, serving
  // its requests; then places the caret and takes a new code-window caption.
  void HandleKey() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;

  // A mouse selection dragged past the top or bottom edge: the engine scrolls
  // its pane one line; when it really moved, the base redraws the rows that
  // moved and the answer is 1.
  int DragScrollUp() override;
  int DragScrollDown() override;

  // Serves the request in the request block (after bringing both panes up
  // to date); the code is cleared by the caller.
  virtual void ServiceCoreRequest(RequestCode code);
  // Draws the changed cells of both panes and marks them clean.
  static void DrawDirtyPanes(RequestCode code);
  // Request 5: moves the pane's pixels by the rows the engine is about to
  // move its screen rows, and blanks the row that uncovers.
  void ScrollPane();
  // Draws window rows [firstRow, endRow), columns [firstColumn, endColumn)
  // of this window's band.
  void DrawScreenRows(TDC& dc, int firstColumn, int firstRow, int endColumn, int endRow);
  // Draws a window-coordinate cell range from the text screen and marks the
  // pane clean.
  void PaintScreenCells(TDC& dc, int firstColumn, int firstRow, int endColumn, int endRow);
  // Copies window rows [firstRow, endRow) of the text screen: `count` cells
  // a row into `characters` and `attributes`, one row after another. Count 0:
  // the screen's columns, and each row's text ends after its last byte above
  // a blank (a row of blanks becomes empty). The arrays must hold
  // (endRow - firstRow) x the count (kScreenColumns + 1 for count 0) bytes.
  void CopyScreenRows(u8* characters, u8* attributes, int firstRow, int endRow, int count);
  // Moves the caret to the engine's caret cell when that changed and lies in
  // this window's band; only in the focused window.
  void PlaceCaret();
  // Shows or hides the focused window's caret (no change during a mouse
  // selection, and no showing while the engine has no caret cell).
  void ShowCaretState(bool on);

  // What the code and command windows add; the base does the least.
  // The engine's CodeTitle becomes the caption (taken and cleared).
  virtual void SetCaption();
  using TWindow::SetCaption;
  // Makes this code window the one that shows the engine's code pane.
  virtual void MakeCurrent();
  // Request 9 on the current code window: 1 when the other code window should
  // show the position in the request block; the base keeps it (0).
  virtual u32 MayShowPosition() const { return 0; }
  // Request 21 on each code window: fix modes dropped after a program load.
  virtual void DropFixModes() {}
  // Request 23: the line-number dialog of the code window.
  virtual void CmLineNumber();
  // Request 26 and command 450: the code pane to the PC line.
  virtual void CmPcPosition();
  // A key (virtual key `key`, or typed `character`) whose window is not
  // there: refused with a beep instead of going to the engine.
  virtual bool KeyRefused(u32 /*key*/, u16 /*character*/, u8 /*modifiers*/) const { return false; }
  // Request 12 on the command window: the history or symbol list dialog.
  virtual void ShowListDialog();
  // Request 15 and command 409: the clipboard's text typed in for the user.
  virtual void CmPaste();

  void EvCreate();
  void EvChar(u32 character, u32 repeat, u32 flags);
  void EvKeyUp(u32 key, u32 repeat, u32 flags);
  void EvLButtonDown(u32 modifiers, const TPoint& point);
  void EvLButtonUp(u32 modifiers, const TPoint& point);
  void EvSetFocus(TWindow* other);
  void EvKillFocus(TWindow* other);
  void EvMDIActivate(TWindow* activated, TWindow* deactivated);
  void EvVScroll(u32 code, u32 thumb);
  // The window is never sized below two cell rows of client area.
  void EvGetMinMaxInfo(TMinMaxInfo& info);

  u16 caretShown = 0;
  u16 quickPrefix = 0;  // 1 after Ctrl+Q: the next letter goes as its control character
  u16 layoutBusy = 0;
  u16 screenPainted = 0;
  u16 placedCaretColumn = 0xFFFF, placedCaretRow = 0xFFFF;
  // The cell snapshot of a code window that does not show the code pane:
  // columns x rows characters and attributes (filled by the code window).
  std::vector<u8> snapshotText, snapshotAttributes;

 protected:
  // The message through the base's tables (or the framework when none answers).
  i64 BaseHandling(u32 message, u64 wParam = 0, i64 lParam = 0);
  // The engine's key cursor follows the focused console window.
  void FollowKeyCursor();
  // The command side waits for a key between commands, with nothing pending.
  static bool EngineIdle();
  // Pseudo-key `key` (one line up or down) for a selection drag; true when
  // the pane moved.
  bool DragLineScroll(PseudoKey key);
};

// The focused console window (the one whose EvSetFocus was last), or null.
TMainWindow* console_focus_window();

// The window program's console windows: the command window (10) and the two
// code windows (11, 12) as far as this base serves them.
TMDIChild* make_console_window(TMDICltNEW& client, u16 index, std::string_view title);
