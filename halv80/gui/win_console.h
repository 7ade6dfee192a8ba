// The console windows' base: a band of rows of the engine's text screen, with
// every key, scroll action and selection event handed to the command side as a
// pending key. HandleKey enters the command side and serves each request it
// posts (ServiceCoreRequest) until it waits for a key again. Pane 0, the
// command pane, is shown by the command window; pane 1, the code pane, by the
// code window that is the frame's console window.
#pragma once

#include "halv80/engine/co_coroutine.h"
#include "halv80/gui/win_cells.h"

// The pending key's function-key code for virtual key `key` (0x36..0x3F,
// 0x62..0x6B), or 0 when the key has none.
u16 console_key_code(u32 key);

class TMainWindow : public TQNWindow {
 public:
  TMainWindow(TMDIClient& client, std::string_view title, u16 index);
  const ResponseEntry* Find(u32 message, u32 id) override;

  // The text-screen row that window row `row` shows.
  u16 ScreenRow(u16 row) const;
  // The pane this window shows: 0 command, 1 code.
  u16 Pane() const { return windowIndex >= kChildCode ? 1 : 0; }

  // Logical line `row` of the pane's content (log ring or listing).
  u16 GetRowText(u16 mode, i32 row, std::string& buffer) override;
  u16 GetCopyRow(u16 row) override;
  // Request 4: the engine's text search over the pane's lines, with its
  // parameters and results in the request block.
  void FindInPane();
  int MinClientHeight() override { return 2 * CellHeight(); }
  void UpdateLayout(u32 sizeType, const TSize& size) override;
  void KeyDown(u32 key, u32 repeat, u32 flags) override;
  // Runs the command side with the pending key until it waits again.
  virtual void HandleKey();
  void Paint(TDC& dc, bool erase, TRect& rect) override;

  // Serves the request in the request block (after bringing both panes up
  // to date); the code is cleared by the caller.
  virtual void ServiceCoreRequest(RequestCode code);
  // Draws the changed cells of both panes and marks them clean.
  static void DrawDirtyPanes(RequestCode code);
  // Draws screen rows [firstRow, endRow), columns [firstColumn, endColumn)
  // of this window's band.
  // Request 5: moves the pane's pixels by the rows the engine is about to
  // move its screen rows, and blanks the row that uncovers.
  void ScrollPane();
  void DrawScreenRows(TDC& dc, int firstColumn, int firstRow, int endColumn, int endRow);

  void EvChar(u32 character, u32 repeat, u32 flags);
  void EvKeyUp(u32 key, u32 repeat, u32 flags);

  u16 layoutBusy = 0;
  u16 screenPainted = 0;
};

// The window program's console windows: the command window (10) and the two
// code windows (11, 12) as far as this base serves them.
TMDIChild* make_console_window(TMDICltNEW& client, u16 index, std::string_view title);
