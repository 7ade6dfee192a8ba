// The character-cell child window base.
#include "halv80/gui/win_cells.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/res_strings.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_system.h"

namespace {

// The font's numbers, between a layout record and a logical font (the two
// keep the same fields under the same names); the face name is copied apart,
// its sizes differing.
template <class To, class From>
void font_fields(To& to, const From& from) {
  to.height = from.height;
  to.width = from.width;
  to.weight = from.weight;
  to.italic = from.italic;
  to.outPrecision = from.outPrecision;
  to.clipPrecision = from.clipPrecision;
  to.quality = from.quality;
  to.pitchAndFamily = from.pitchAndFamily;
  to.charSet = from.charSet;
}

constexpr COLORREF complement(COLORREF c) { return ~c & 0x00FFFFFF; }

// The window that Ctrl+Alt with `key` chooses, or -1.
int window_key(u32 key) {
  switch (key) {
    case '0': case VK_F1: return kChildCode;
    case '1': return kChildCode1;
    case 'C': case VK_F1 + 1: return kChildCommand;
    case 'W': case VK_F1 + 2: return kChildWatch;
    case 'M': case VK_F1 + 3: return 1;
    case 'R': case VK_F1 + 4: return kChildRegister;
    case 'S': case VK_F1 + 5: return 3;
    case 'L': case VK_F1 + 6: return 4;
    case 'T': case VK_F1 + 7: return 5;
    case 'B': case VK_F1 + 8: return 6;
    case 'H': return 8;
    case 'E': case VK_F10: return kChildMemo;
    default: return -1;
  }
}

std::string SearchText;  // CP932
constexpr u32 kCmPageCopy = 410;

constexpr ResponseEntry kCellTable[] = {
    EvMessage<WM_SIZE, &TQNWindow::EvSize>(),
    EvMessage<WM_KEYDOWN, &TQNWindow::EvKeyDown>(),
    EvMessage<WM_SYSKEYDOWN, &TQNWindow::EvSysKeyDown>(),
    EvMessage<WM_ERASEBKGND, &TQNWindow::EvEraseBkgnd>(),
    EvCommand<&TQNWindow::CmPageCopy>(kCmPageCopy),
    EvMessage<WM_LBUTTONDOWN, &TQNWindow::EvLButtonDown>(),
    EvMessage<WM_MOUSEMOVE, &TQNWindow::EvMouseMove>(),
    EvMessage<WM_LBUTTONUP, &TQNWindow::EvLButtonUp>(),
};

}  // namespace

CellColours cell_colours(u8 attribute, bool highlight, const WindowLayoutRecord& layout) {
  const COLORREF b = COLORREF(layout.backgroundColour) & 0x00FFFFFF;
  const COLORREF t = COLORREF(layout.textColour) & 0x00FFFFFF;
  const COLORREF e = COLORREF(layout.highlightColour) & 0x00FFFFFF;
  if (highlight) return {b, t, false};
  switch (attribute) {
    case 0x20:
    case 0x30: return {b, e, false};
    case 0x60: return {complement(t), complement(b), false};
    case 0x03: return {e, b, false};
    case 0x70: return {b, t, false};
    default: return {t, b, true};
  }
}

TQNWindow::TQNWindow(TMDIClient& client, std::string_view title) : TMDIChild(client, title) {}

TQNWindow::~TQNWindow() = default;

const ResponseEntry* TQNWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCellTable, message, id)) return e;
  return TMDIChild::Find(message, id);
}

WindowLayoutRecord& TQNWindow::Layout() { return layout ? *layout : fallback_; }

void TQNWindow::ApplyPlacement(int mode) {
  if (mode != 0) return;
  if (windowIndex < kChildCount) layout = &Frame.Children.layout[windowIndex];
  // the frame places the window at the record's rectangle once it is created
  const WindowLayoutRecord& r = Layout();
  if (windowIndex >= kChildCommand) cellWidths.assign(kMaxCellColumns, 0);
  TLogFont lf;
  font_fields(lf, r);
  if (lf.weight == 0) lf.weight = FW_NORMAL;
  std::memcpy(lf.faceName, r.faceName, sizeof lf.faceName);
  lf.faceName[sizeof lf.faceName - 1] = 0;
  MakeFont(lf);
}

void TQNWindow::MakeFont(TLogFont lf) {
  lf.pitchAndFamily |= FIXED_PITCH;
  font = std::make_unique<TFont>(lf);
  cellWidth_ = std::max(1, int(font->Metrics().tmAveCharWidth));
  cellHeight_ = std::max(1, int(font->Metrics().tmHeight));
  std::fill(cellWidths.begin(), cellWidths.end(), cellWidth_);
}

void TQNWindow::SetFont(const TLogFont& lf) {
  MakeFont(lf);
  WindowLayoutRecord& r = Layout();
  const TLogFont& f = font->LogFont();
  std::memcpy(r.faceName, f.faceName, sizeof r.faceName);
  font_fields(r, f);
  const TRect c = GetClientRect();
  UpdateLayout(kSizeRelayout, TSize{c.Width(), c.Height()});
  Invalidate();
}

void TQNWindow::RepaintAll() {
  if (minimized || IsIconic()) return;
  previousFoundLine = 0;
  Invalidate(true);
  UpdateWindow();
}

u16 TQNWindow::GetRowText(u16, i32, std::string& buffer) {
  buffer = Co.PendingError != 0 ? sup_pending_error_text(Co.PendingError) : std::string();
  if (buffer.size() > 1023) buffer.resize(1023);
  return 7;
}

u16 TQNWindow::GetCopyRow(u16) { return 0; }

void TQNWindow::CmPageCopy() {
  std::string text;
  for (u16 r = 0; r < rows; ++r) {
    const u16 n = std::min<u16>(GetCopyRow(r), u16(kSharedRowSize));
    if (Frame.SharedRowText.size() >= n) text.append(reinterpret_cast<const char*>(Frame.SharedRowText.data()), n);
    text += "\r\n";
  }
  owl_set_clipboard_text(text);
}

std::string TQNWindow::SelectionText(int fromColumn, int fromRow, int toColumn, int toRow) {
  std::string text;
  if (fromRow > toRow || (fromRow == toRow && fromColumn > toColumn)) {
    std::swap(fromRow, toRow);
    std::swap(fromColumn, toColumn);
  }
  if (fromRow < 0 || toRow >= rows) return text;
  if (fromRow != toRow) {
    for (int r = fromRow; r <= toRow; ++r) {
      const u16 n = std::min<u16>(GetCopyRow(u16(r)), u16(kSharedRowSize));
      text.append(reinterpret_cast<const char*>(Frame.SharedRowText.data()), n);
      text += "\r\n";
    }
    return text;
  }
  const int n = std::min<int>(GetCopyRow(u16(fromRow)), int(kSharedRowSize));
  const u8* row = Frame.SharedRowText.data();
  if (n == 0 || fromColumn >= n) return text;
  toColumn = std::min(toColumn, n - 1);
  // out to the ends of the words at both ends (double-byte text is never extended)
  int b0 = fromColumn, b1 = toColumn + 1;
  const u16 first = CharClass(row[b0]);
  while (b0 > 0 && first != 3 && CharClass(row[b0 - 1]) == first) --b0;
  const u16 last = CharClass(row[b1 - 1]);
  while (b1 < n && last != 3 && CharClass(row[b1]) == last) ++b1;
  // a double-byte character is never cut in half
  if (host_cp932_lead(row[b1 - 1]) && b1 < n) ++b1;
  text.assign(reinterpret_cast<const char*>(row + b0), std::size_t(b1 - b0));
  return text;
}

void TQNWindow::CellAt(const TPoint& point, int& column, int& row) const {
  column = std::clamp(point.x / cellWidth_, 0, std::max(0, int(columns) - 1));
  row = std::clamp(point.y / cellHeight_, 0, std::max(0, int(rows) - 1));
}

void TQNWindow::EvLButtonDown(u32, const TPoint& point) {
  if (mouseState & 0x8000) {  // the click that activated the window
    mouseState = 0;
    return;
  }
  if (point.x < 0 || point.y < 0 || point.x >= columns * cellWidth_ || point.y >= rows * cellHeight_) return;
  CellAt(point, dragColumn_, dragRow_);
  clickColumn = dragColumn_;
  clickRow = dragRow_;
  mouseState = 2;
}

void TQNWindow::EvMouseMove(u32 modifiers, const TPoint& point) {
  if (mouseState != 2) return;
  if (!(modifiers & MK_LBUTTON)) {
    EvLButtonUp(modifiers, point);
    return;
  }
  CellAt(point, dragColumn_, dragRow_);
}

void TQNWindow::EvLButtonUp(u32, const TPoint& point) {
  if (mouseState != 2) return;
  CellAt(point, dragColumn_, dragRow_);
  mouseState = 0;
  const std::string text = SelectionText(clickColumn, clickRow, dragColumn_, dragRow_);
  if (!text.empty()) owl_set_clipboard_text(text);
}

void win_set_search_text(std::string_view cp932) { SearchText.assign(cp932.substr(0, 255)); }
const std::string& win_search_text() { return SearchText; }

u16 TQNWindow::Search(u16 flags, i32 startRow, i32 rowLimit) {
  if (windowIndex == kChildInspect) {
    if (startRow == 0) startRow = 1;
    if (rowLimit == 1) return 0;
  }
  // the string search dialog is not part of this window: a search that would
  // ask takes the kept text as the dialog would offer it
  if (!(flags & 1) && windowIndex < kChildCommand) previousFoundLine = 0;
  const std::string& text = SearchText;
  if (text.empty()) return 0;
  const bool forward = (searchDirection & 1) != 0;
  std::string row;
  for (i32 r = startRow; r >= 0; r += forward ? 1 : -1) {
    if (rowLimit == 0) break;
    if (rowLimit > 0 && r >= rowLimit && windowIndex != 8) break;
    if (GetRowText(0xFFFF, r, row) == 0xFFFF) break;
    if (row.size() > 1023) row.resize(1023);
    std::size_t start = 0;
    if (r == startRow && previousFoundLine == r + 1 && foundColumn < row.size())
      start = foundColumn + (host_cp932_lead(u8(row[foundColumn])) ? 2 : 1);
    while (start + text.size() <= row.size()) {
      if (row.compare(start, text.size(), text) == 0) {
        foundLine = r + 1;
        foundColumn = u16(start);
        foundLength = u16(text.size());
        return 1;
      }
      start += host_cp932_lead(u8(row[start])) ? 2 : 1;
    }
  }
  sup_raise_error(1, 1);  // not found: a beep and the status message
  return 0;
}

u16 TQNWindow::CharClass(u8 c) const {
  if (c == ' ') return 2;
  if (c < 0x80 && (std::isalnum(c) || c == '_')) return 1;
  return 3;
}

void TQNWindow::UpdateLayout(u32 sizeType, const TSize& size) {
  minimized = IsIconic() ? 1 : 0;
  if (!minimized) {
    columns = u16(std::clamp((size.cx + cellWidth_ - 1) / cellWidth_, 0, int(kMaxCellColumns)));
    int height = size.cy;
    if (windowIndex == kChildMemo) {
      const int reserve = 16 + cellHeight_ / 3;  // a horizontal scroll bar's height and a third of a cell
      height = reserve < height ? height - reserve : 0;
    }
    rows = u16(std::max(0, height / cellHeight_));
  }
  if (sizeType != kSizeRelayout) DefaultProcessing();
}

void TQNWindow::KeyDown(u32 key, u32, u32) {
  if (mouseState & 0x8000) mouseState = 0;
  lastModifiers = win_modifier_mask();
  if (lastModifiers == (kKeyCtrl | kKeyAlt)) {
    const int w = window_key(key);
    if (w >= 0) win_activate_child(u16(w));
    return;
  }
  if (lastModifiers & kKeyCtrl) {
    if (key == VK_TAB) {
      win_cycle_focus(0);
      lastModifiers = kKeyCtrl | kKeyAlt;
    }
  }
}

void TQNWindow::EvSysKeyDown(u32 key, u32 repeat, u32 flags) {
  if (key == VK_F10 || key == VK_F1 + 5) KeyDown(key, repeat, flags);
  else DefaultProcessing();
}

bool TQNWindow::EvEraseBkgnd(TDC&) {
  if (IsIconic()) return DefaultProcessing() != 0;
  return true;
}

void TQNWindow::PaintRun(TDC& dc, int column, int row, std::string_view cells, u8 attribute, bool highlight) {
  if (cells.empty()) return;
  const CellColours c = cell_colours(attribute, highlight, Layout());
  const int x = column * cellWidth_, y = row * cellHeight_;
  std::size_t first = 0, end = cells.size();
  if (const std::size_t nul = cells.find('\0'); nul != std::string_view::npos) end = nul;
  if (c.trim) {
    while (end > first && cells[end - 1] == ' ') --end;
    while (first < end && cells[first] == ' ') ++first;
  }
  // blanks and the cells after a NUL are filled, the rest written
  dc.FillRect(TRect{x, y, x + int(cells.size()) * cellWidth_, y + cellHeight_}, c.background);
  if (end > first) {
    dc.SetTextColor(c.text);
    dc.SetBkColor(c.background);
    dc.SetBkMode(OPAQUE);
    const std::string_view text = cells.substr(first, end - first);
    const int tx = x + int(first) * cellWidth_;
    if (!cellWidths.empty()) {
      std::vector<int> advances(text.size(), cellWidth_);
      dc.TextOut(tx, y, text, advances.data(), advances.size());
    } else {
      dc.TextOut(tx, y, text);
    }
  }
}

void TQNWindow::PaintCells(TDC& dc, const u8* text, const u8* attributes, int rowFrom, int rowTo, int columnFrom,
                           int columnTo, int stride, bool highlight) {
  if (columnTo <= columnFrom) return;
  if (!text) {
    if (Frame.SharedRowText.size() < kSharedRowSize || Frame.SharedRowAttributes.size() < kSharedRowSize) return;
    text = Frame.SharedRowText.data();
    attributes = Frame.SharedRowAttributes.data();
    rowTo = rowFrom + 1;
    stride = 0;
    columnTo = std::min(columnTo, int(kSharedRowSize));
  }
  if (font) dc.SelectObject(*font);
  const WindowLayoutRecord& r = Layout();
  for (int row = rowFrom; row < rowTo; ++row) {
    const std::size_t base = std::size_t(stride) * std::size_t(row - (stride ? 0 : rowFrom));
    const u8* t = text + base;
    const u8* a = attributes + base;
    int start = columnFrom;
    while (start < columnTo) {
      int end = start + 1;
      while (end < columnTo && a[end] == a[start]) ++end;
      PaintRun(dc, start, row, std::string_view(reinterpret_cast<const char*>(t + start), std::size_t(end - start)),
               a[start], highlight);
      start = end;
    }
    if (!highlight && columnTo > 5 && a[5] == 0x0F) {
      const int y = (row + 1) * cellHeight_ - 1;
      dc.Line(columnFrom * cellWidth_, y, columnTo * cellWidth_, y, COLORREF(r.textColour) & 0x00FFFFFF);
    }
  }
}
