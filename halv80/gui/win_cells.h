// The character-cell child window: the base of every text window. Its client
// area is a grid of fixed cells in one font; the window keeps its placement,
// colours and font in its WindowLayoutRecord, works out how many rows and
// columns fit, paints runs of cells in the colours their attribute byte
// chooses, and handles the window-switching keys. Derived windows supply the
// rows through the virtual operations.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/gui/win_frame.h"
#include "platform/owl/owl_dc.h"

// The colours of a run of cells with attribute byte `attribute`, from the
// window's background, text and highlight colours. One table serves every
// painter: 0x20 and 0x30 highlight background, 3 highlight text, 0x60 reverse
// by complement, 0x70 reverse by swapping; a highlighted (selected) run swaps
// background and text whatever its attribute. `trim`: leading and trailing
// blanks are filled rather than written (normal text only).
struct CellColours {
  COLORREF text;
  COLORREF background;
  bool trim;
};
CellColours cell_colours(u8 attribute, bool highlight, const WindowLayoutRecord& layout);

// The size type that asks UpdateLayout for a new layout at the current size
// without the framework's own size handling.
constexpr u32 kSizeRelayout = 0x9876;
constexpr u16 kMaxCellColumns = 256;

// The search text kept for the program (CP932): what the string search
// dialog last took, used again by a repeated search.
void win_set_search_text(std::string_view cp932);
const std::string& win_search_text();

class TQNWindow;

// The one selection of the program: the window it belongs to, the moving end,
// the clipboard text being built, and the column bounds DrawRow paints by.
struct SelectionState {
  TQNWindow* captureWindow = nullptr;  // armed or running in this window; null none
  i32 anchorRow = 0;                   // window row of the moving end
  i32 scrollCount = 0;                 // lines scrolled since the selection left its click row (+1 down)
  bool textExists = false;             // a multi-row text is being built
  std::string text;                    // its rows, each with CR LF, top row first (CP932)
  u16 b0 = 0, b1 = 0, b2 = 0;          // cells [0, b0) plain, [b0, b1) highlighted, [b1, b2) plain
  u32 lastPopupTick = 0u - 16;         // heartbeat tick of the last context menu (long ago at start)
  u32 stepSerial = 0;                  // numbers the pointer's targets; a deferred step of an old one is dropped
};
extern SelectionState Selection;

// The heartbeat's tick counter: the heartbeat counts it (55 ms); the base
// window's press, activation and selection waits are measured in it.
extern u32 HeartbeatTick;
// The status bar's key-hint word: string id - 700 with bit 14 set; the
// heartbeat shows it.
extern u16 StatusHint;
// One heartbeat step of the selection: the capture window's SelectionTick
// when a selection is armed or running.
void win_selection_heartbeat();
// Start-up values of the selection, the tick counter and the hint word.
void win_cells_reset_state();

// mouseState values.
constexpr u16 kMouseIdle = 0;
constexpr u16 kMouseArmed = 1;
constexpr u16 kMouseSelecting = 2;
constexpr u16 kMouseBelow = 4;      // pointer below the grid: scrolling down
constexpr u16 kMouseAbove = 8;      // pointer above the grid: scrolling up
constexpr u16 kMouseEnding = 10;
constexpr u16 kMouseNoYield = 0x4000;     // step to the target row without giving way (page copy)
constexpr u16 kMouseActivated = 0x8000;   // just activated: a click within 5 ticks is ignored
constexpr int kEndSelection = 0x7FFF;     // CopyToClipboard's column that ends the selection
// The deferred selection step a window posts itself.
constexpr u32 kSelectionStepMessage = WM_USER + 0x111;

class TQNWindow : public TMDIChild {
 public:
  TQNWindow(TMDIClient& client, std::string_view title);
  ~TQNWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // Mode 0 at construction: the layout record, the advance array of the
  // console windows and the font. Mode 1 restores the record's show state and
  // font; mode 2 applies a placement just loaded into the record.
  void ApplyPlacement(int mode);
  // Keeps the window's placement in its record (see the size and move
  // handlers for what keepSize makes of it).
  void RecordPlacement();
  void SetFont(const TLogFont& font);
  // Forgets the last match and repaints the whole client area now.
  void RepaintAll();

  // Text of one row (at most 1,024 bytes); 0xFFFF no such row, else the
  // row's colour code (7 normal). Base: the pending system error's text.
  virtual u16 GetRowText(u16 mode, i32 row, std::string& buffer);
  // Finds the search text in the rows GetRowText gives, from startRow in
  // searchDirection (bit 0 forwards), without wrapping; rows at or past
  // rowLimit are not looked at (rowLimit < 0: no limit; the History window
  // has none). 1 found (foundLine 1-based, foundColumn, foundLength set),
  // else 0; a search that ran out of rows is reported as not found, one that
  // Escape ended is not. Flags bit 0: search again with the kept text.
  u16 Search(u16 flags, i32 startRow, i32 rowLimit);
  // Command 410: every visible row onto the clipboard, each with its line
  // end; a window of one row copies the word at its start.
  void CmPageCopy();
  // Commands 482 and 483 of the console windows: the engine's find and
  // find-again keys (Ctrl+Q Ctrl+F, Ctrl+L) typed for the user when the
  // target is stopped. Other windows answer them in their own tables.
  void CmFind();
  void CmFindNext();
  void EnableFind(TCommandEnabler& ce);
  void EnableFindNext(TCommandEnabler& ce);

  // The mouse selection: press on a cell, hold 5 ticks, drag, release copies.
  void EvLButtonDown(u32 modifiers, const TPoint& point);
  void EvMouseMove(u32 modifiers, const TPoint& point);
  void EvLButtonUp(u32 modifiers, const TPoint& point);
  // One step of the selection's state machine (the heartbeat's tick, and the
  // handlers above).
  void SelectionTick();
  // A deferred step towards the pointer's row (wParam: the step's serial,
  // lParam: column and row).
  i64 EvSelectionStep(u64 serial, i64 cell);

  virtual void Refresh() { RepaintAll(); }
  // Scroll one line while a selection is dragged past the top (bottom) edge;
  // nonzero when the view moved. Base: redraws the edge rows, returns 0.
  virtual int DragScrollUp();
  virtual int DragScrollDown();
  // Told before a mouse or page selection starts, and when it ends. Base:
  // the code windows hand the engine PseudoKey::SelectionStarted (Ended), so that its
  // cursor mark keeps out of the highlight.
  virtual void SelectionStarted();
  virtual void SelectionEnded();
  // Fills the frame's shared row buffers with window row `row`; the length.
  virtual u16 GetCopyRow(u16 row);
  // Paints the shared row at window row `row` in the selection's bounds.
  virtual void DrawRow(int row, TDC& dc);
  // The selection engine: extends the selection towards the cell one row per
  // step, or ends it and copies it (column kEndSelection).
  virtual void CopyToClipboard(int column, int row);
  // 1 letter, digit or '_'; 2 blank; 3 anything else (double-byte included).
  virtual u16 CharClass(u8 c) const;
  virtual int MinClientHeight() { return 0; }
  virtual void UpdateLayout(u32 sizeType, const TSize& size);
  virtual void KeyDown(u32 key, u32 repeat, u32 flags);
  // Enters the command side with the pending key (the console windows).
  virtual void HandleKey() {}

  // Paints cells [columnFrom, columnTo) of rows [rowFrom, rowTo). Null text:
  // the shared row buffers (one row, drawn at window row rowFrom).
  void PaintCells(TDC& dc, const u8* text, const u8* attributes, int rowFrom, int rowTo, int columnFrom,
                  int columnTo, int stride, bool highlight);
  // One run of cells at window row `row` from `column`, in the colours of
  // `attribute`; the blanks at its ends are filled rather than written when
  // its colours trim.
  void PaintRun(TDC& dc, int column, int row, std::string_view cells, u8 attribute, bool highlight);

  int CellWidth() const { return cellWidth_; }
  int CellHeight() const { return cellHeight_; }

  u16 windowIndex = 0;
  i32 minimized = 0;
  WindowLayoutRecord* layout = nullptr;
  std::unique_ptr<TFont> font;
  std::vector<int> cellWidths;  // console windows only: every entry one cell
  u32 pressTick = 0;            // heartbeat tick of the last press, activation or selection step
  u16 mouseState = 0;
  i32 clickColumn = 0, clickRow = 0;  // cell of the last press; the row is re-based while a selection scrolls
  COLORREF background = 0;
  u16 columns = 1, rows = 1;
  u16 cursorRow = 0;
  u16 lastModifiers = 0;
  u16 searchDirection = 1;
  i32 previousFoundLine = 0;
  i32 foundLine = 0;
  u16 foundColumn = 0, foundLength = 0;

  void EvSize(u32 sizeType, const TSize& size) { UpdateLayout(sizeType, size); }
  void EvKeyDown(u32 key, u32 repeat, u32 flags) { KeyDown(key, repeat, flags); }
  void EvSysKeyDown(u32 key, u32 repeat, u32 flags);
  bool EvEraseBkgnd(TDC&);
  void EvMove(const TPoint& origin);
  void EvSizing(u32 edge, TRect& rect);
  void EvSysCommand(u32 command, const TPoint& point);
  void EvMDIActivate(TWindow* activated, TWindow* deactivated);
  // The context menu at `point`; modifiers 0xFFFF ask for the default point.
  void EvRButtonDown(u32 modifiers, const TPoint& point);

 protected:
  WindowLayoutRecord& Layout();

 private:
  void MakeFont(TLogFont lf);
  // The one-row and the multi-row halves of CopyToClipboard; the multi-row
  // step returns the row it drew and whether the view scrolled, or false
  // when it stopped.
  void SelectWithinRow(int column, int row, u16 state);
  bool StepAcrossRows(int row, int target, int anchor, int& drawn, bool& scrolled);
  void EndSelection();
  // The text of window row `row` as the clipboard takes it (the source
  // margin of a code window's source rows left out).
  std::string CopyRowText(int row);
  // Draws window row `row` from the shared row buffers, when a selection is on.
  void DrawSharedRow(int row);
  // The selection gave up: message, state cleared, highlight gone.
  void AbandonSelection();
  int cellWidth_ = 8;
  int cellHeight_ = 16;
  WindowLayoutRecord fallback_{};
};
