// The character-cell child window base.
#include "halv80/gui/win_cells.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/res_strings.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_input.h"
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

constexpr u32 kCmPageCopy = 410;
constexpr u32 kCmLoad = 406;
constexpr u32 kCmFind = 482;
constexpr u32 kCmFindNext = 483;
constexpr u16 kLegendBase = 0x4000;   // a key-hint word: string id - 700 with this bit
constexpr u16 kLegendWindowKeys = 13;
constexpr u32 kPopupTicks = 3;        // ticks after a context menu before the next
constexpr u32 kEscDrainMs = 10000;

// The Esc drain: while the command side is busy, Esc handed to it through the
// console window, for at most 10 s.
void esc_until_idle() {
  const u32 start = host_tick_ms();
  for (;;) {
    auto* console = dynamic_cast<TQNWindow*>(Frame.Children.consoleWindow);
    if (!console || !(Co.WaitKind & kWaitBitBusy) || Co.PendingError != 0) return;
    Co.Key.character = 0x1B;
    Co.Key.key_code = 0;
    Co.Key.flags = 0;
    console->HandleKey();
    if (host_tick_ms() - start > kEscDrainMs) return;
  }
}

constexpr ResponseEntry kCellTable[] = {
    EvMessage<WM_MDIACTIVATE, &TQNWindow::EvMDIActivate>(),
    EvMessage<WM_MOVE, &TQNWindow::EvMove>(),
    EvMessage<WM_SIZE, &TQNWindow::EvSize>(),
    EvMessage<WM_SIZING, &TQNWindow::EvSizing>(),
    EvMessage<WM_SYSCOMMAND, &TQNWindow::EvSysCommand>(),
    EvMessage<WM_LBUTTONDOWN, &TQNWindow::EvLButtonDown>(),
    EvMessage<WM_LBUTTONUP, &TQNWindow::EvLButtonUp>(),
    EvMessage<WM_MOUSEMOVE, &TQNWindow::EvMouseMove>(),
    EvMessage<WM_RBUTTONDOWN, &TQNWindow::EvRButtonDown>(),
    EvMessage<WM_ERASEBKGND, &TQNWindow::EvEraseBkgnd>(),
    EvMessage<WM_SYSKEYDOWN, &TQNWindow::EvSysKeyDown>(),
    EvMessage<WM_KEYDOWN, &TQNWindow::EvKeyDown>(),
    EvMessage<kSelectionStepMessage, &TQNWindow::EvSelectionStep>(),
    EvCommand<&TQNWindow::CmPageCopy>(kCmPageCopy),
    EvCommand<&TQNWindow::CmFind>(kCmFind),
    EvCommand<&TQNWindow::CmFindNext>(kCmFindNext),
    EvCommandEnable<&TQNWindow::EnableFind>(kCmFind),
    EvCommandEnable<&TQNWindow::EnableFindNext>(kCmFindNext),
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

TQNWindow::~TQNWindow() {
  if (Selection.captureWindow == this) Selection.captureWindow = nullptr;  // no tick reaches a window gone
}

const ResponseEntry* TQNWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCellTable, message, id)) return e;
  return TMDIChild::Find(message, id);
}

WindowLayoutRecord& TQNWindow::Layout() { return layout ? *layout : fallback_; }

namespace {

// The record's font as a logical font.
TLogFont record_font(const WindowLayoutRecord& r) {
  TLogFont lf;
  font_fields(lf, r);
  if (lf.weight == 0) lf.weight = FW_NORMAL;
  std::memcpy(lf.faceName, r.faceName, sizeof lf.faceName);
  lf.faceName[sizeof lf.faceName - 1] = 0;
  return lf;
}

}  // namespace

void TQNWindow::ApplyPlacement(int mode) {
  const TRect client = GetClientRect();
  const TSize clientSize{client.Width(), client.Height()};
  switch (mode) {
    case 0:
      if (windowIndex < kChildCount) layout = &Frame.Children.layout[windowIndex];
      // the frame places the window at the record's rectangle once it is created
      if (windowIndex >= kChildCommand) cellWidths.assign(kMaxCellColumns, 0);
      MakeFont(record_font(Layout()));
      return;
    case 1: {
      win_close_inspect_windows();
      if (auto* active = dynamic_cast<TMDIChild*>(Frame.Children.windows[std::min<u16>(win_active_index(), kChildCount - 1)]);
          active && active->IsZoomed())
        active->SendMessage(WM_SYSCOMMAND, SC_RESTORE);
      const u8 show = Layout().showState;
      if (show == kShowMinimized) {
        if (!IsIconic()) SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
      } else if (show == kShowMaximized || show == kShowNormal) {
        if (IsIconic()) SendMessage(WM_SYSCOMMAND, SC_RESTORE);
      }
      font.reset();
      MakeFont(record_font(Layout()));
      return;
    }
    case 2: {
      if (IsIconic()) return;
      BringWindowToTop();
      const WindowLayoutRecord& r = Layout();
      if (r.showState == kShowMaximized) {
        SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE);
      } else if (Frame.WindowResizeMode & 1) {
        UpdateLayout(kSizeRelayout, clientSize);
        return;
      } else {
        MoveWindow(TRect{r.left, r.top, r.right, r.bottom});
      }
      const TRect now = GetClientRect();
      UpdateLayout(kSizeRelayout, TSize{now.Width(), now.Height()});
      Invalidate();
      UpdateWindow();
      return;
    }
    default:
      return;
  }
}

void TQNWindow::RecordPlacement() {
  WindowLayoutRecord& r = Layout();
  if (IsIconic()) {
    minimized = 1;
    r.showState = kShowMinimized;
    return;
  }
  if (IsZoomed()) {
    r.showState = kShowMaximized;
    return;
  }
  if (r.showState != kShowNormal) {
    // just restored, or a loaded placement still to apply
    if (windowIndex != kChildInspect) {
      TRect to{r.left, r.top, r.right, r.bottom};
      const TRect area = Parent() ? Parent()->GetClientRect() : TRect{};
      const bool overlaps = r.left < area.right && r.right > 0 && r.top < area.bottom && r.bottom > 0;
      // (a client area not laid out yet has nothing to test against)
      if (!overlaps && !area.IsEmpty()) to = TRect{0, 0, area.right / 2, area.bottom / 2};
      // The move's own size and move messages record where the window went
      // (a rectangle off the client area is not kept).
      r.showState = kShowNormal;
      r.keepSize = 0;
      MoveWindow(to);
      Invalidate();
      UpdateWindow();
    }
  } else if ((r.keepSize & 1) == 0) {
    const TRect w = GetWindowRect();
    if (r.keepSize == 0) {
      r.right = w.right;
      r.bottom = w.bottom;
    } else {  // the position only: width and height stay
      r.right = w.left + (r.right - r.left);
      r.bottom = w.top + (r.bottom - r.top);
    }
    r.left = w.left;
    r.top = w.top;
  }
  r.keepSize = u8(Frame.WindowResizeMode & 1);
  r.showState = kShowNormal;
}

void TQNWindow::EvMove(const TPoint&) {
  WindowLayoutRecord& r = Layout();
  if (r.keepSize == 1) r.keepSize = 2;
  RecordPlacement();
  DefaultProcessing();
}

void TQNWindow::EvSizing(u32, TRect&) {
  WindowLayoutRecord& r = Layout();
  r.keepSize = 0;  // a size the user drags is recorded whole
  RecordPlacement();
  r.keepSize = 0;
}

void TQNWindow::EvSysCommand(u32 command, const TPoint&) {
  switch (command & 0xFFF0) {
    case SC_SIZE: Layout().keepSize = 0; break;
    case SC_MINIMIZE: minimized = 1; break;
    case SC_CLOSE:
      // a text window closed from its system menu is only minimized; the
      // inspect window really closes
      if (windowIndex != kChildInspect) {
        PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
        return;
      }
      break;
    default: break;
  }
  DefaultProcessing();
}

void TQNWindow::EvMDIActivate(TWindow* activated, TWindow*) {
  if (Co.WaitKind & kWaitBitBusy) esc_until_idle();
  if (activated == this) {
    if (windowIndex != kChildInspect) {
      const u8 mine = Layout().activationRank;
      for (u16 i = 0; i < kChildCount; ++i) {
        WindowLayoutRecord& r = Frame.Children.layout[i];
        if (r.activationRank > mine) --r.activationRank;
      }
      Layout().activationRank = kHighestRank;
      win_close_inspect_windows();
    }
    // a true-colour display shows every colour as it is
    background = COLORREF(Layout().backgroundColour) & 0x00FFFFFF;
    RepaintAll();
    if (windowIndex < kChildCount) Frame.Children.activeIndex = windowIndex;
    StatusHint = u16(std::min<u16>(windowIndex, 10) | kLegendBase);
    previousFoundLine = 0;
    mouseState = kMouseActivated;
    pressTick = HeartbeatTick;
  }
  DefaultProcessing();
}

void TQNWindow::EvRButtonDown(u32 modifiers, const TPoint& at) {
  if (win_active_index() != windowIndex) {
    win_activate_child(windowIndex);
    return;
  }
  if (HeartbeatTick - Selection.lastPopupTick < kPopupTicks || mouseState != kMouseIdle) return;
  QN_Frame* frame = Frame.Children.mainFrame;
  if (!frame) return;
  u32 position = 5;  // the active window's own popup; 4 is the Run popup
  const bool keyboard = modifiers == 0xFFFF;
  if (!keyboard && windowIndex >= kChildCode && (modifiers & MK_CONTROL)) {
    position = 4;
    // the click goes to the engine first, as a click on a code row
    Co.Request.view.click_column = Lst.ListingMode == kListingSource ? 5 : 4;
    Co.Request.view.click_row = u16(std::max(0, at.y) / CellHeight() + 1);
    Co.Key.key_code = key_word(PseudoKey::Click);
    Co.Key.source_window = windowIndex;
    HandleKey();
  }
  // A maximized child's system menu sits in the bar's corner, not among its
  // popups, so the position stays as it is.
  TPoint point = at;
  if (keyboard) point = TPoint{(columns / 3 + 1) * CellWidth(), (rows / 2 + 1) * CellHeight()};
  const TMenu popup = frame->GetMenu().GetSubMenu(position);
  if (popup.GetItemCount() == 0) return;
  owl_track_popup(popup, *this, point);
  Selection.lastPopupTick = HeartbeatTick;
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
  // the flag follows the window: a restore may have come after the last size message
  minimized = IsIconic() ? 1 : 0;
  if (minimized) return;
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

u16 TQNWindow::CharClass(u8 c) const {
  if (c == ' ') return 2;
  if (c < 0x80 && (std::isalnum(c) || c == '_')) return 1;
  return 3;
}

void TQNWindow::UpdateLayout(u32 sizeType, const TSize& size) {
  RecordPlacement();
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
  if (mouseState & kMouseActivated) mouseState = kMouseIdle;
  lastModifiers = win_modifier_mask();
  if (lastModifiers == (kKeyCtrl | kKeyAlt)) {
    const int w = window_key(key);
    if (w >= 0) win_activate_child(u16(w));
    StatusHint = kLegendWindowKeys | kLegendBase;
    return;
  }
  if (lastModifiers & kKeyCtrl) {
    if (key == VK_TAB) {
      win_cycle_focus(0);
      lastModifiers = kKeyCtrl | kKeyAlt;
    } else if (key >= '0' && key <= '3') {
      prj_reapply_layout(kReapplyLayout + (key - '0'));  // %SYS, then the user layouts
      lastModifiers = kKeyCtrl | kKeyAlt;
    }
    return;
  }
  if (lastModifiers == kKeyShift && key == VK_F1 + 8) {
    if (QN_Frame* frame = Frame.Children.mainFrame) frame->RouteCommand(kCmLoad);
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
