// The mouse selection, the page copy and the text search of the character-cell
// windows. One selection runs at a time (Selection); it grows and shrinks one
// row per step, scrolling the window past its edges, and builds the clipboard
// text one row at a time. Steps towards a row further away are deferred to
// posted messages, so that new mouse input comes first.
#include <algorithm>
#include <new>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/win_cells.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_input.h"
#include "platform/owl/owl_system.h"

SelectionState Selection;
u32 HeartbeatTick = 0;
u16 StatusHint = 0;

namespace {

constexpr u32 kArmTicks = 5;         // a press becomes a selection after holding this long
constexpr int kSourceMargin = 5;     // the columns in front of a code window's source rows
constexpr u32 kSearchCheckRows = 16;  // Escape and the queue are looked at every this many rows
constexpr u32 kWaitCursorTicks = 10;  // heartbeat ticks before the search shows the wait cursor
constexpr u16 kCodeWindowFirst = kChildCode;

std::string SearchText;  // CP932

// True when the window is a code window showing source rows, whose first
// columns are the line-number margin.
bool source_rows(const TQNWindow& w) {
  return w.windowIndex >= kCodeWindowFirst && Lst.ListingMode == kListingSource;
}

u16 state_of(u16 mouseState) { return u16(mouseState & ~kMouseNoYield); }
bool dragging(u16 st) { return st == kMouseSelecting || st == kMouseBelow || st == kMouseAbove; }

const u8* shared_row() { return Frame.SharedRowText.size() >= kSharedRowSize ? Frame.SharedRowText.data() : nullptr; }

void memory_error() {
  owl_message_box(Frame.Children.mainFrame, host_utf8_to_cp932("メモリが確保できません"), "Memory Error",
                  kBoxIconExclamation | MB_TASKMODAL);
}

}  // namespace

void win_set_search_text(std::string_view cp932) { SearchText.assign(cp932.substr(0, 255)); }
const std::string& win_search_text() { return SearchText; }

void win_selection_heartbeat() {
  if (TQNWindow* w = Selection.captureWindow) w->SelectionTick();
}

void win_cells_reset_state() {
  Selection = SelectionState{};
  HeartbeatTick = 0;
  StatusHint = 0;
  SearchText.clear();
}

// ------------------------------------------------------------ mouse handlers

void TQNWindow::EvLButtonDown(u32, const TPoint& point) {
  if ((mouseState & kMouseActivated) && HeartbeatTick - pressTick < kArmTicks) {
    mouseState = kMouseIdle;  // the click that activated the window
    return;
  }
  clickColumn = point.x / CellWidth();
  clickRow = point.y / CellHeight();
  if (point.x >= 0 && point.y >= 0 && clickColumn < columns && clickRow < rows) {
    Selection.captureWindow = this;
    mouseState = kMouseArmed;
    pressTick = HeartbeatTick;
    return;
  }
  mouseState = kMouseIdle;
  DefaultProcessing();
}

void TQNWindow::EvMouseMove(u32 modifiers, const TPoint& point) {
  const u16 st = mouseState;
  if (st == kMouseArmed || st == kMouseEnding) {
    SelectionTick();
    return;
  }
  if (!dragging(st)) return;
  if (!(modifiers & MK_LBUTTON)) {
    mouseState = kMouseEnding;
    SelectionTick();
    return;
  }
  int column = point.x / CellWidth();
  // A pointer above the grid is row -1 even within a cell's height of it
  // (the division truncates towards zero).
  int row = point.y < 0 ? -1 : point.y / CellHeight();
  if (source_rows(*this) && column < kSourceMargin) column = kSourceMargin;
  const bool outside = row < 0 || row >= rows;
  if ((st == kMouseBelow || st == kMouseAbove) && outside) return;  // the heartbeat keeps scrolling
  ++Selection.stepSerial;
  CopyToClipboard(column, row);
  // still dragging (not ended or abandoned meanwhile)?
  if (dragging(mouseState)) mouseState = row < 0 ? kMouseAbove : row >= rows ? kMouseBelow : kMouseSelecting;
}

void TQNWindow::EvLButtonUp(u32, const TPoint&) {
  Selection.captureWindow = nullptr;
  if (dragging(mouseState)) {
    mouseState = kMouseEnding;
    SelectionTick();
  }
  mouseState = kMouseIdle;
}

void TQNWindow::SelectionTick() {
  switch (state_of(mouseState)) {
    case kMouseArmed: {
      if (HeartbeatTick - pressTick < kArmTicks) return;
      // a press in the margin of source rows is left to the engine's click
      const u16 active = win_active_index();
      if (active >= kCodeWindowFirst && active < kChildCount && Lst.ListingMode == kListingSource &&
          clickColumn <= kSourceMargin - 1)
        return;
      SelectionStarted();
      if (windowIndex == kChildMemo) {
        Selection.captureWindow = nullptr;
        return;
      }
      // Qt keeps delivering the pointer to this window while the button is held
      CopyToClipboard(clickColumn, clickRow);
      mouseState = kMouseSelecting;
      return;
    }
    case kMouseBelow:
      ++Selection.stepSerial;
      CopyToClipboard(0, rows);
      return;
    case kMouseAbove:
      ++Selection.stepSerial;
      CopyToClipboard(0, -1);
      return;
    case kMouseEnding:
      CopyToClipboard(kEndSelection, 0);
      mouseState = kMouseIdle;
      Selection.captureWindow = nullptr;
      return;
    default:
      return;
  }
}

i64 TQNWindow::EvSelectionStep(u64 serial, i64 cell) {
  if (serial != Selection.stepSerial || Selection.captureWindow != this || !dragging(mouseState)) return 0;
  CopyToClipboard(i16(owl_lo(u64(cell))), i16(owl_hi(u64(cell))));
  return 0;
}

// ------------------------------------------------------------ selection engine

void TQNWindow::DrawRow(int row, TDC& dc) {
  const SelectionState& s = Selection;
  const u16 bounds[3] = {s.b0, s.b1, s.b2};
  int start = 0;
  for (int i = 0; i < 3; ++i) {
    const int end = bounds[i];
    if (end == start) continue;
    if (end < columns) {
      PaintCells(dc, nullptr, nullptr, row, row + 1, start, end, 0, i == 1);
    } else {
      PaintCells(dc, nullptr, nullptr, row, row + 1, start, columns, 0, i == 1);
      return;
    }
    start = end;
  }
}

void TQNWindow::DrawSharedRow(int row) {
  if (mouseState == kMouseIdle || row < 0 || row >= rows) return;
  TDC dc(*this);
  DrawRow(row, dc);
}

int TQNWindow::DragScrollUp() {
  if (rows > 2) {
    GetCopyRow(1);
    DrawSharedRow(1);
    if (cursorRow != 0 && rows > 3) {
      GetCopyRow(2);
      DrawSharedRow(2);
    }
  }
  return 0;
}

int TQNWindow::DragScrollDown() {
  if (rows > 2) {
    GetCopyRow(u16(rows - 2));
    DrawSharedRow(rows - 2);
  }
  return 0;
}

void TQNWindow::SelectionStarted() {
  if (windowIndex < kCodeWindowFirst) return;
  Co.Key.key_code = key_word(PseudoKey::SelectionStarted);
  Co.Key.source_window = windowIndex;
  HandleKey();
}

void TQNWindow::SelectionEnded() {
  if (windowIndex < kCodeWindowFirst) return;
  Co.Key.key_code = key_word(PseudoKey::SelectionEnded);
  Co.Key.source_window = windowIndex;
  HandleKey();
}

std::string TQNWindow::CopyRowText(int row) {
  int n = row >= 0 ? std::min<int>(GetCopyRow(u16(row)), int(kSharedRowSize)) : 0;
  const u8* text = shared_row();
  if (!text) return {};
  int from = 0;
  if (source_rows(*this)) from = std::min(n, kSourceMargin);
  return std::string(reinterpret_cast<const char*>(text) + from, std::size_t(n - from));
}

void TQNWindow::AbandonSelection() {
  memory_error();
  Selection.textExists = false;
  Selection.text.clear();
  mouseState = kMouseIdle;
  Selection.captureWindow = nullptr;
  SelectionEnded();
  RepaintAll();
}

void TQNWindow::CopyToClipboard(int column, int requested) {
  SelectionState& s = Selection;
  const u16 st = state_of(mouseState);
  pressTick = HeartbeatTick;
  for (;;) {
    int row = requested, target, anchor;
    if (st == kMouseArmed) {
      s.scrollCount = 0;
      s.textExists = false;  // an earlier text went to the clipboard
      s.text.clear();
      target = row;
      anchor = s.anchorRow;
    } else {
      row = std::clamp(row, s.anchorRow - 1, s.anchorRow + 1);  // one row per step
      target = row + s.scrollCount;
      anchor = s.anchorRow + s.scrollCount;
    }
    if (column == kEndSelection) {
      EndSelection();
      return;
    }
    const bool spans = target != clickRow || (dragging(st) && clickRow != anchor);
    if (!spans) {
      SelectWithinRow(column, row, st);
      return;
    }
    s.b0 = 0;
    s.b1 = s.b2 = columns;
    if (row == s.anchorRow) return;
    int drawn = row;
    bool scrolled = false;
    if (!StepAcrossRows(row, target, anchor, drawn, scrolled)) return;
    if (drawn == requested || scrolled || mouseState == kMouseIdle) return;
    // further to go: at once for a page copy, else after the input waiting now
    if (!(mouseState & kMouseNoYield)) {
      PostMessage(kSelectionStepMessage, s.stepSerial, owl_make_long(u16(column), u16(requested)));
      return;
    }
  }
}

void TQNWindow::SelectWithinRow(int column, int row, u16 st) {
  SelectionState& s = Selection;
  if (dragging(st)) clickRow -= s.scrollCount;  // the click row's window row now
  s.anchorRow = row;
  s.scrollCount = 0;
  s.textExists = false;
  s.text.clear();
  GetCopyRow(u16(std::clamp(row, 0, std::max(0, rows - 1))));
  const u8* text = shared_row();
  if (!text) return;
  const int last = std::max(1, int(columns)) - 1;  // columns never exceed the row buffer
  column = std::clamp(column, 0, last);
  const int click = std::clamp(clickColumn, 0, last);
  int b0, b1;
  if (column > click) {
    b0 = click;
    b1 = column + 1;
  } else {
    b0 = column;
    b1 = click + 1;
  }
  const int b2 = columns;
  // out to whole words; a class-3 character (punctuation, double-byte) is never extended
  const u16 first = CharClass(text[b0]);
  while (b0 > 0 && first != 3 && CharClass(text[b0 - 1]) == first) --b0;
  const u16 final = CharClass(text[b1 - 1]);
  while (b1 < b2 && final != 3 && CharClass(text[b1]) == final) ++b1;
  b1 = std::min(b1, b2);
  b0 = std::min(b0, b2);
  // never half a double-byte character at either end: the clipboard gets
  // whole characters
  int at = 0;
  while (at + 1 <= b0) {
    const int next = at + (host_cp932_lead(text[at]) ? 2 : 1);
    if (next > b0) {
      b0 = at;
      break;
    }
    at = next;
  }
  for (at = b0; at < b1;) at += host_cp932_lead(text[at]) ? 2 : 1;
  if (at > b1) b1 = at <= b2 ? at : b1 - 1;
  s.b0 = u16(b0);
  s.b1 = u16(std::max(b0, b1));
  s.b2 = u16(b2);
  DrawSharedRow(clickRow);
}

bool TQNWindow::StepAcrossRows(int row, int target, int anchor, int& drawn, bool& scrolled) {
  SelectionState& s = Selection;
  try {
    if (target == clickRow + 1 || target == clickRow - 1) {
      // just grown to two rows: the anchor row is the first of the text
      GetCopyRow(u16(std::clamp(s.anchorRow, 0, std::max(0, rows - 1))));
      DrawSharedRow(s.anchorRow);
      if (!s.textExists) {
        s.text = CopyRowText(s.anchorRow) + "\r\n";
        s.textExists = true;
      }
    }
    const int a = s.anchorRow;
    scrolled = false;
    if ((anchor == clickRow && a < row) || (anchor > clickRow && a <= row)) {  // grow down
      if (a + 1 >= rows) {
        if (!DragScrollDown()) return false;
        ++s.scrollCount;
        scrolled = true;
      } else {
        ++s.anchorRow;
      }
      drawn = s.anchorRow;
      s.text += CopyRowText(drawn) + "\r\n";
      DrawSharedRow(drawn);
    } else if ((anchor == clickRow && a >= row) || (anchor < clickRow && a >= row)) {  // grow up
      if (a == 0) {
        if (!DragScrollUp()) return false;
        --s.scrollCount;
        scrolled = true;
      } else {
        --s.anchorRow;
      }
      drawn = s.anchorRow;
      s.text.insert(0, CopyRowText(drawn) + "\r\n");
      DrawSharedRow(drawn);
    } else if (anchor > clickRow && a > row) {  // shrink from the bottom
      s.b0 = columns;
      drawn = a;
      if (a == 0) {
        if (!DragScrollUp()) return false;
        --s.scrollCount;
        scrolled = true;
        drawn = 0;
        s.b0 = 0;
      } else {
        --s.anchorRow;
      }
      // cut after the line end of the row before the last
      const std::size_t end = s.text.size() >= 2 ? s.text.rfind('\n', s.text.size() - 2) : std::string::npos;
      s.text.resize(end == std::string::npos ? 0 : end + 1);
      GetCopyRow(u16(std::clamp(drawn, 0, std::max(0, rows - 1))));
      DrawSharedRow(drawn);
    } else if (anchor < clickRow && a < row) {  // shrink from the top
      s.b0 = columns;
      drawn = a;
      if (a + 1 >= rows) {
        if (!DragScrollDown()) return false;
        ++s.scrollCount;
        scrolled = true;
        s.b0 = 0;
      } else {
        ++s.anchorRow;
      }
      const std::size_t lf = s.text.find('\n');
      s.text.erase(0, lf == std::string::npos ? s.text.size() : lf + 1);
      GetCopyRow(u16(std::clamp(drawn, 0, std::max(0, rows - 1))));
      DrawSharedRow(drawn);
    }
  } catch (const std::bad_alloc&) {
    AbandonSelection();
    return false;
  }
  return true;
}

void TQNWindow::EndSelection() {
  SelectionState& s = Selection;
  mouseState = kMouseIdle;
  std::string copy;
  const bool rowsCopied = s.textExists;
  if (rowsCopied) {
    copy = std::move(s.text);
  } else if (const u8* text = shared_row(); text && s.b1 > s.b0) {
    try {
      copy.assign(reinterpret_cast<const char*>(text) + s.b0, std::size_t(s.b1 - s.b0));
    } catch (const std::bad_alloc&) {
      memory_error();
      SelectionEnded();
      return;
    }
  }
  SelectionEnded();
  s.textExists = false;
  s.text.clear();
  if (rowsCopied) RepaintAll();
  owl_set_clipboard_text(copy);
  if (!rowsCopied) {
    s.b0 = s.b1 = s.b2;
    s.anchorRow = 0;
    if (clickRow >= 0 && clickRow < rows) {
      GetCopyRow(u16(clickRow));
      TDC dc(*this);
      DrawRow(clickRow, dc);
    }
  }
}

void TQNWindow::CmPageCopy() {
  SelectionStarted();
  // Qt keeps the pointer with the window while a button is held: nothing to capture
  mouseState = kMouseArmed;
  clickRow = clickColumn = 0;
  CopyToClipboard(0, 0);
  mouseState = kMouseNoYield | kMouseSelecting;
  CopyToClipboard(0, rows - 1);
  mouseState = kMouseEnding;
  SelectionTick();
}

// ------------------------------------------------------------ search

u16 TQNWindow::Search(u16 flags, i32 startRow, i32 rowLimit) {
  if (windowIndex == kChildInspect) {
    if (startRow == 0) startRow = 1;
    if (rowLimit == 1) return 0;
  }
  // The string search dialog is not part of this window: a search that would
  // ask takes the kept text as the dialog would offer it.
  if (!(flags & 1) && windowIndex < kChildCommand) previousFoundLine = 0;
  const std::string text = SearchText;
  if (text.empty()) return 0;
  const bool forward = (searchDirection & 1) != 0;
  OwlEscapeWatch watch(Frame.Children.windows[kChildCode]);
  bool waitCursor = false;
  u16 found = 0;
  bool escaped = false;
  std::string row;
  for (i32 r = startRow; r >= 0; r += forward ? 1 : -1) {
    if (rowLimit == 0) break;
    if (rowLimit > 0 && r >= rowLimit && windowIndex != 8) break;
    if (GetRowText(0xFFFF, r, row) == 0xFFFF) break;
    if (row.size() > 1023) row.resize(1023);
    std::size_t start = 0;
    if (r == startRow && previousFoundLine == r + 1 && foundColumn < row.size())
      start = foundColumn + (host_cp932_lead(u8(row[foundColumn])) ? 2 : 1);
    for (; start + text.size() <= row.size(); start += host_cp932_lead(u8(row[start])) ? 2 : 1) {
      if (row.compare(start, text.size(), text) == 0) {
        foundLine = r + 1;
        foundColumn = u16(start);
        foundLength = u16(text.size());
        found = 1;
        break;
      }
    }
    if (found) break;
    if (u32(r) % kSearchCheckRows == 0) {
      if (watch.Poll()) {
        escaped = true;
        break;
      }
      if (!waitCursor && watch.Ticks() > kWaitCursorTicks && !owl_wait_cursor_shown()) {
        owl_set_wait_cursor(true);
        waitCursor = true;
      }
    }
  }
  if (waitCursor) owl_set_wait_cursor(false);
  if (!found && !escaped) sup_raise_error(1, 1);  // not found: a beep and the status message
  return found;
}

// ------------------------------------------------------------ find commands

void TQNWindow::CmFind() {
  if (windowIndex < kChildCommand || !sup_check_not_running()) return;
  sup_set_message_line("\x11\x06", 1);  // Ctrl+Q Ctrl+F
}

void TQNWindow::CmFindNext() {
  if (windowIndex < kChildCommand || !sup_check_not_running()) return;
  sup_set_message_line("\x0C", 1);  // Ctrl+L
}

void TQNWindow::EnableFind(TCommandEnabler& ce) {
  ce.Enable(windowIndex >= kChildCommand && (Run.ExecutionState & 1) == 0 && (Co.WaitKind & kWaitBitBusy) == 0);
}

void TQNWindow::EnableFindNext(TCommandEnabler& ce) {
  ce.Enable(windowIndex >= kChildCommand && (Run.ExecutionState & 1) == 0 && (Co.WaitKind & kWaitBitBusy) == 0 &&
            !SearchText.empty());
}
