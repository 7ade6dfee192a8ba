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

class TQNWindow : public TMDIChild {
 public:
  TQNWindow(TMDIClient& client, std::string_view title);
  ~TQNWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // Mode 0 at construction: the layout record, the advance array of the
  // console windows and the font.
  void ApplyPlacement(int mode);
  void SetFont(const TLogFont& font);
  // Forgets the last match and repaints the whole client area now.
  void RepaintAll();

  // Text of one row (at most 1,024 bytes); 0xFFFF no such row, else the
  // row's colour code (7 normal). Base: the pending system error's text.
  virtual u16 GetRowText(u16 mode, i32 row, std::string& buffer);
  // Finds the search text in the rows GetRowText gives, from startRow in
  // searchDirection (bit 0 forwards), without wrapping; rows at or past
  // rowLimit are not looked at (rowLimit < 0: no limit). 1 found (foundLine
  // 1-based, foundColumn, foundLength set), else 0. Flags bit 0: search again
  // with the kept text.
  u16 Search(u16 flags, i32 startRow, i32 rowLimit);
  // Command 410: every visible row onto the clipboard, each with its line end.
  void CmPageCopy();
  // The selection's text: within one row the cells from column `from` to
  // column `to` extended to whole words, without a line end; across rows the
  // whole rows from `fromRow` to `toRow`, each with CR LF.
  std::string SelectionText(int fromColumn, int fromRow, int toColumn, int toRow);

  // The mouse selection: press on a cell, drag, release copies.
  void EvLButtonDown(u32 modifiers, const TPoint& point);
  void EvMouseMove(u32 modifiers, const TPoint& point);
  void EvLButtonUp(u32 modifiers, const TPoint& point);
  i32 clickColumn = 0, clickRow = 0;
  virtual void Refresh() { RepaintAll(); }
  // Fills the frame's shared row buffers with window row `row`; the length.
  virtual u16 GetCopyRow(u16 row);
  // 1 letter, digit or '_'; 2 blank; 3 anything else (double-byte included).
  virtual u16 CharClass(u8 c) const;
  virtual int MinClientHeight() { return 0; }
  virtual void UpdateLayout(u32 sizeType, const TSize& size);
  virtual void KeyDown(u32 key, u32 repeat, u32 flags);

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
  u16 mouseState = 0;
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

 protected:
  WindowLayoutRecord& Layout();

 private:
  void MakeFont(TLogFont lf);
  // The cell under `point`, clamped to the grid.
  void CellAt(const TPoint& point, int& column, int& row) const;
  int dragColumn_ = 0, dragRow_ = 0;
  int cellWidth_ = 8;
  int cellHeight_ = 16;
  WindowLayoutRecord fallback_{};
};
