// The console windows' base: drawing from the text screen, keys and scroll
// actions to the command side, the caret and the focus.
#include "halv80/gui/win_console.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "halv80/engine/key_bindings.h"
#include "halv80/engine/win_side.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/win_requests.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_app.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u16 kPaneRowsMax = 78;
constexpr u8 kEscapeChar = 0x1B;
constexpr u16 kThumbRange = 1000;
constexpr u16 kNoCaret = 0xFFFF;
constexpr u16 kSelecting = 0x0E;  // mouseState bits 1 to 3: a selection is under way

TMainWindow* FocusWindow = nullptr;  // the console window that has the focus

constexpr ResponseEntry kConsoleTable[] = {
    EvMessage<WM_CREATE, &TMainWindow::EvCreate>(),
    EvMessage<WM_CHAR, &TMainWindow::EvChar>(),
    EvMessage<WM_KEYUP, &TMainWindow::EvKeyUp>(),
    EvMessage<WM_LBUTTONDOWN, &TMainWindow::EvLButtonDown>(),
    EvMessage<WM_LBUTTONUP, &TMainWindow::EvLButtonUp>(),
    EvMessage<WM_SETFOCUS, &TMainWindow::EvSetFocus>(),
    EvMessage<WM_KILLFOCUS, &TMainWindow::EvKillFocus>(),
    EvMessage<WM_MDIACTIVATE, &TMainWindow::EvMDIActivate>(),
    EvMessage<WM_VSCROLL, &TMainWindow::EvVScroll>(),
    EvMessage<WM_GETMINMAXINFO, &TMainWindow::EvGetMinMaxInfo>(),
};

constexpr u8 kCtrlQ = 0x11;

// The keys that pass while the window is minimized or a selection runs.
bool passes_restricted(u32 key) {
  switch (key) {
    case VK_END: case VK_HELP: case VK_HOME: case VK_CLEAR: case VK_ESCAPE:
    case VK_F1 + 4: case VK_F1 + 6: case VK_F1 + 7: case VK_F10: return true;
    default: return false;
  }
}

}  // namespace

u16 console_key_code(u32 key) {
  switch (key) {
    case VK_NEXT: return kKeyPageDown;
    case VK_PRIOR: return kKeyPageUp;
    case VK_INSERT: return kKeyInsert;
    case VK_DELETE: return kKeyDelete;
    case VK_UP: return kKeyUp;
    case VK_LEFT: return kKeyLeft;
    case VK_RIGHT: return kKeyRight;
    case VK_DOWN: return kKeyDown;
    case VK_HOME: case VK_CLEAR: return kKeyHome;
    case VK_END: case VK_HELP: return kKeyEnd;
    default:
      if (key >= VK_F1 && key <= VK_F10) return u16(kKeyF1 + (key - VK_F1));
      return 0;
  }
}

u16 console_scroll_key(u32 code) {
  switch (code) {
    case SB_LINEUP: return key_word(PseudoKey::LineUp);
    case SB_LINEDOWN: return key_word(PseudoKey::LineDown);
    case SB_PAGEUP: return key_word(PseudoKey::PageUp);
    case SB_PAGEDOWN: return key_word(PseudoKey::PageDown);
    case SB_THUMBPOSITION: return key_word(PseudoKey::ThumbPosition);
    case SB_THUMBTRACK: return key_word(PseudoKey::ThumbTrack);
    case SB_TOP: return key_word(PseudoKey::Top);
    case SB_BOTTOM: return key_word(PseudoKey::Bottom);
    default: return 0;  // end-scroll and others
  }
}

TMainWindow* console_focus_window() { return FocusWindow; }

TMainWindow::TMainWindow(TMDIClient& client, std::string_view title, u16 index) : TQNWindow(client, title) {
  windowIndex = index;
  SetVScrollStyle();
  ApplyPlacement(0);
  service_watch_message_line();
}

TMainWindow::~TMainWindow() {
  if (FocusWindow == this) FocusWindow = nullptr;
  if (Service.Serving == this) Service.Serving = nullptr;
}

const ResponseEntry* TMainWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kConsoleTable, message, id)) return e;
  return TQNWindow::Find(message, id);
}

i64 TMainWindow::BaseHandling(u32 message, u64 wParam, i64 lParam) {
  OwlMessage m{message, wParam, lParam};
  if (const ResponseEntry* e = TQNWindow::Find(message, 0)) return e->dispatch(*this, m);
  return DefaultProcessing();
}

u16 TMainWindow::ScreenRow(u16 row) const {
  return u16(Pane() == 0 ? row + Con.Geometry.command_first_row : row + 1);
}

int TMainWindow::CaretWindowRow(u16 row) const {
  const u16 p = Con.Geometry.command_first_row;
  int w = -1;
  if (Pane() == 0) {
    if (row > p) w = row - p;  // never on the command window's first row
  } else if (row >= 1 && row + 1 < p) {
    w = row - 1;  // only inside the code pane's band (screen rows 1 to P - 2)
  }
  return w < rows ? w : -1;
}

u16 TMainWindow::GetRowText(u16, i32 row, std::string& buffer) {
  buffer.clear();
  if (row < 0) return 0xFFFF;
  char line[kProviderLineSize]{};
  if (con_window_fetch_line(std::span<char>(line, sizeof line - 1), u32(row)) == kProviderEnd) return 0xFFFF;
  buffer.assign(line, strnlen(line, sizeof line));
  return 0;
}

void TMainWindow::FindInPane() {
  RequestBlock& q = Co.Request;
  const bool again = (q.p2 & kSearchOptionAgain) != 0 || (q.p1 & kSearchAgainThree) != 0;
  foundColumn = u16(q.p4);
  previousFoundLine = i32(q.p5);
  searchDirection = u16(((q.p2 & kSearchOptionBackward) == 0 ? 1 : 0) | (q.p2 & kSearchAssemblyFlag));
  const u16 found = Search(again ? 1 : 0, i32(q.p3), -1);
  q.view.found = found;
  q.p2 = (searchDirection & 1) ? 0 : kSearchOptionBackward;
  q.view.found_row = u32(foundLine - 1);
  q.view.found_column = foundColumn;
  q.view.found_end_column = u16(foundColumn + foundLength);
}

void TMainWindow::CopyScreenRows(u8* characters, u8* attributes, int firstRow, int endRow, int count) {
  const bool trim = count == 0;
  const int width = trim ? int(kScreenColumns) : std::min(count, int(kScreenColumns));
  const int stride = trim ? int(kScreenColumns) + 1 : count;
  for (int w = firstRow; w < endRow; ++w) {
    u8* text = characters + std::size_t(w - firstRow) * std::size_t(stride);
    u8* attr = attributes + std::size_t(w - firstRow) * std::size_t(stride);
    std::memset(text, 0, std::size_t(stride));
    std::memset(attr, 0, std::size_t(stride));
    const u16 s = w < 0 ? kScreenRows : ScreenRow(u16(w));
    if (!Con.Screen || s >= kScreenRows) continue;  // past the screen: an empty row
    const u8* cells = con_screen_row(s);
    int length = 0;
    for (int c = 0; c < width; ++c) {
      text[c] = cells[2 * c];
      attr[c] = cells[2 * c + 1];
      if (cells[2 * c] > 0x20) length = c + 1;
    }
    if (trim) std::memset(text + length, 0, std::size_t(stride - length));
  }
}

u16 TMainWindow::GetCopyRow(u16 row) {
  if (Frame.SharedRowText.size() < kSharedRowSize) Frame.SharedRowText.assign(kSharedRowSize, 0);
  if (Frame.SharedRowAttributes.size() < kSharedRowSize) Frame.SharedRowAttributes.assign(kSharedRowSize, 0);
  std::fill(Frame.SharedRowText.begin(), Frame.SharedRowText.end(), 0);
  std::fill(Frame.SharedRowAttributes.begin(), Frame.SharedRowAttributes.end(), 0);
  static_assert(kSharedRowSize > kScreenColumns);
  CopyScreenRows(Frame.SharedRowText.data(), Frame.SharedRowAttributes.data(), row, row + 1, 0);
  return u16(strnlen(reinterpret_cast<const char*>(Frame.SharedRowText.data()), kScreenColumns));
}

void TMainWindow::UpdateLayout(u32 sizeType, const TSize& size) {
  layoutBusy = 1;
  TQNWindow::UpdateLayout(sizeType, size);
  layoutBusy = 0;
  if (minimized) return;
  rows = std::min(rows, kPaneRowsMax);
  columns = std::min(columns, kScreenColumns);
  if (Pane() == 1) {
    if (windowIndex == kChildCode) {
      Con.Geometry.code_columns = columns;
      Con.Geometry.command_first_row = u16(rows + 2);
    }
  } else {
    Con.Geometry.command_columns = columns;
    Con.Geometry.command_rows = rows;
  }
  ShowScrollBar(true);
  // the engine re-splits its screen and redraws the code pane
  if (co_command_side_started() && Co.PendingError == 0 && Sup.StartupFailure == 0 && !Co.OnCommandSide) {
    sup_split_screen_panes(windowIndex);
    Co.Key.source_window = windowIndex;
    std::string kept(Cmd.StartupArgs, strnlen(Cmd.StartupArgs, sizeof Cmd.StartupArgs));
    sup_run_core_request({}, CoreRequest::RedrawCode);
    std::snprintf(Cmd.StartupArgs, sizeof Cmd.StartupArgs, "%s", kept.c_str());
  }
  RepaintAll();
}

void TMainWindow::HandleKey() {
  if (Co.PendingError != 0) return;  // the heartbeat shows it first
  if (Co.Request.code == RequestCode::None) {
    TMainWindow* outer = Service.Serving;
    Service.Serving = this;
    const u16 wait = win_pump(GuiSide);
    Service.Serving = outer;
    if (Sup.StartupFailure != 0) return;
    DrawDirtyPanes(RequestCode::None);
    if (!Service.MessageLine.empty()) {
      // a message the command side left on its message line (a stop reason)
      const std::string text = std::move(Service.MessageLine);
      Service.MessageLine.clear();
      win_show_message_line(text);
    }
    if (wait & kWaitBitExit) return;
    PlaceCaret();
  }
  if (Lst.CodeTitle) {
    if (auto* w = dynamic_cast<TMainWindow*>(Frame.Children.consoleWindow)) w->SetCaption();
  }
}

void TMainWindow::SetCaption() {
  if (!Lst.CodeTitle) return;
  std::string caption(Lst.CodeTitle, strnlen(Lst.CodeTitle, kPaneTitleMax));
  if (windowIndex == kChildCode1) caption += "-1";
  Lst.CodeTitle = nullptr;
  SetCaption(caption);
}

void TMainWindow::KeyDown(u32 key, u32 repeat, u32 flags) {
  if (Sup.TypedText) {
    // a key press cancels text still being typed in for the user
    Sup.TypedText = nullptr;
    return;
  }
  TQNWindow::KeyDown(key, repeat, flags);
  if (lastModifiers == (kKeyCtrl | kKeyAlt)) return;
  if ((minimized || (mouseState & kSelecting) != 0) && !passes_restricted(key)) return;
  if (KeyRefused(key, 0, u8(lastModifiers))) {
    owl_beep();
    return;
  }
  ShowCaretState(true);
  if (key == VK_F10 && lastModifiers == kKeyAlt) {
    // the context menu at the lower right corner of the caret cell
    const int column = Con.CaretColumn == kNoCaret ? 0 : Con.CaretColumn;
    const int row = Con.CaretRow == kNoCaret ? 0 : Con.CaretRow;
    const int down = Frame.Children.activeIndex == kChildCommand ? row - Con.Geometry.command_first_row + 1 : row;
    const TPoint at{(column + 1) * CellWidth(), down * CellHeight()};
    SendMessage(WM_RBUTTONDOWN, 0, owl_make_long(u16(at.x), u16(at.y)));
    return;
  }
  if (key == VK_ESCAPE) Co.Key.character = kEscapeChar;
  else if (const u16 code = console_key_code(key)) Co.Key.key_code = code;
  Co.Key.flags = u8(lastModifiers);
  ++Co.Request.key_input;
  HandleKey();
}

void TMainWindow::EvKeyUp(u32, u32, u32) {
  lastModifiers = win_modifier_mask();
  if (lastModifiers == (kKeyCtrl | kKeyAlt)) return;
  Co.Key.flags = u8(lastModifiers);
  HandleKey();
}

void TMainWindow::EvChar(u32 character, u32, u32) {
  if (mouseState & kSelecting) return;
  // The menus print the quick keys as "Ctrl+QP": after Ctrl+Q, a letter typed
  // without Ctrl is its control character, which the engine's prefix takes.
  u8 byte = u8(character);
  u8 flags = u8(lastModifiers);
  if (quickPrefix != 0) {
    quickPrefix = 0;
    if (const u8 upper = u8(byte & ~0x20); upper >= 'A' && upper <= 'Z') {
      byte = u8(upper & 0x1F);
      flags |= kKeyCtrl;
    }
  } else if (byte == kCtrlQ) {
    quickPrefix = 1;
  }
  if (KeyRefused(0, byte, flags)) {
    owl_beep();
    return;
  }
  // a byte, sign-extended as the engine reads it
  Co.Key.character = u16(i16(i8(byte)));
  Co.Key.flags = flags;
  ++Co.Request.key_input;
  HandleKey();
}

void TMainWindow::EvCreate() {
  SetScrollRange(0, kThumbRange, false);
  DefaultProcessing();
}

void TMainWindow::EvVScroll(u32 code, u32 thumb) {
  Co.Key.thumb = u16(std::min<u32>(thumb, kThumbRange));
  if (const u16 key = console_scroll_key(code)) Co.Key.key_code = key;
  Co.Key.source_window = windowIndex;
  HandleKey();
}

bool TMainWindow::DragLineScroll(PseudoKey key) {
  Co.Key.key_code = key_word(key);
  Co.Key.source_window = windowIndex;
  // the pane moved when the engine asked for its pixels to move (request 5)
  Service.PaneScrolled = 0;
  HandleKey();
  return Service.PaneScrolled != 0;
}

int TMainWindow::DragScrollUp() {
  if (!DragLineScroll(PseudoKey::LineUp)) return 0;
  TQNWindow::DragScrollUp();
  return 1;
}

int TMainWindow::DragScrollDown() {
  if (!DragLineScroll(PseudoKey::LineDown)) return 0;
  TQNWindow::DragScrollDown();
  return 1;
}

void TMainWindow::EvLButtonDown(u32 modifiers, const TPoint& point) {
  ShowCaretState(false);
  BaseHandling(WM_LBUTTONDOWN, modifiers, owl_make_long(u16(point.x), u16(point.y)));
}

void TMainWindow::EvLButtonUp(u32 modifiers, const TPoint& point) {
  BaseHandling(WM_LBUTTONUP, modifiers, owl_make_long(u16(point.x), u16(point.y)));
  ShowCaretState(true);
}

bool TMainWindow::EngineIdle() {
  return co_command_side_started() && !Co.OnCommandSide && Co.PendingError == 0 && Sup.StartupFailure == 0 &&
         Co.Request.code == RequestCode::None && (Co.WaitKind & kWaitBitWaiting) != 0 &&
         (Co.WaitKind & (kWaitBitBusy | kWaitBitExit)) == 0;
}

void TMainWindow::FollowKeyCursor() {
  // Only between commands: a focus change while a command runs or a request
  // is served (a dialog's owner coming back) leaves the engine alone.
  if (!EngineIdle()) return;
  // the engine's key cursor goes to the pane of the window the user works in
  const bool code = windowIndex >= kChildCode;
  if ((Lst.CodeCursorMode == 0 && code) || (Lst.CodeCursorMode != 0 && !code)) {
    co_call_guarded([] { key_toggle_code_cursor(); });
    HandleKey();
  }
}

void TMainWindow::EvSetFocus(TWindow*) {
  if (Co.PendingError & kErrHighCoding) return;  // the command side waits for the system error's answer
  FollowKeyCursor();
  FocusWindow = this;
  owl_create_caret(*this, CellWidth(), CellHeight());
  placedCaretColumn = placedCaretRow = kNoCaret;
  PlaceCaret();
  if (mouseState == 0 && Con.CaretColumn != kNoCaret) {
    owl_show_caret();
    caretShown = 1;
  } else {
    caretShown = 0;
  }
  DefaultProcessing();
}

void TMainWindow::EvGetMinMaxInfo(TMinMaxInfo& info) {
  info.minTrackSize.cy = 2 * owl_system_metric(SM_CYFRAME) + owl_system_metric(SM_CYCAPTION) + MinClientHeight();
  DefaultProcessing();
}

void TMainWindow::EvKillFocus(TWindow*) {
  if (FocusWindow == this) {
    owl_destroy_caret();
    FocusWindow = nullptr;
  }
  caretShown = 0;
  DefaultProcessing();
}

void TMainWindow::EvMDIActivate(TWindow* activated, TWindow* deactivated) {
  // the base lets a busy command end first
  BaseHandling(WM_MDIACTIVATE, u64(owl_ptr_word(deactivated)), owl_ptr_word(activated));
  if (activated == this) FollowKeyCursor();
}

void TMainWindow::PlaceCaret() {
  if (FocusWindow != this) return;
  const u16 column = Con.CaretColumn, row = Con.CaretRow;
  if (column == kNoCaret || (column == placedCaretColumn && row == placedCaretRow)) return;
  const int w = CaretWindowRow(row);
  if (w < 0) return;  // the other window's band
  placedCaretColumn = column;
  placedCaretRow = row;
  owl_set_caret_pos(column * CellWidth(), w * CellHeight());
}

void TMainWindow::ShowCaretState(bool on) {
  if (FocusWindow != this || mouseState != 0 || (on ? 1 : 0) == caretShown) return;
  if (!on) {
    owl_hide_caret();
    caretShown = 0;
    return;
  }
  if (Con.CaretColumn == kNoCaret) return;
  owl_show_caret();
  caretShown = 1;
}

void TMainWindow::Paint(TDC& dc, bool, TRect& rect) {
  if (IsIconic() || layoutBusy) return;
  minimized = 0;  // painted, so shown: a restore may have come after the last size message
  if (mouseState & kMouseActivated) mouseState = kMouseIdle;
  const int cw = CellWidth(), ch = CellHeight();
  const int firstColumn = std::max(0, rect.left / cw);
  const int endColumn = (rect.right + cw - 1) / cw;
  const int firstRow = std::max(0, rect.top / ch);
  int endRow = (rect.bottom + ch - 1) / ch;
  if (endRow == rows + 1) endRow = rows;
  const bool wasShown = caretShown != 0;
  ShowCaretState(false);
  const std::size_t cells = std::size_t(columns) * rows;
  if (Pane() == 1 && Frame.Children.consoleWindow != this) {
    // a code window that does not show the code pane: its snapshot
    if (endColumn <= columns && endRow <= rows && snapshotText.size() >= cells && snapshotAttributes.size() >= cells)
      PaintCells(dc, snapshotText.data(), snapshotAttributes.data(), firstRow, endRow, firstColumn, endColumn, columns,
                 false);
  } else {
    screenPainted = 1;
    PaintScreenCells(dc, firstColumn, firstRow, endColumn, endRow);
  }
  const TRect client = GetClientRect();
  const COLORREF background = COLORREF(Layout().backgroundColour) & 0x00FFFFFF;
  if (client.bottom > rows * ch) dc.FillRect(TRect{0, rows * ch, client.right, client.bottom}, background);
  if (client.right > columns * cw) dc.FillRect(TRect{columns * cw, 0, client.right, rows * ch}, background);
  if (wasShown) ShowCaretState(true);
}

void TMainWindow::PaintScreenCells(TDC& dc, int firstColumn, int firstRow, int endColumn, int endRow) {
  DrawScreenRows(dc, firstColumn, firstRow, endColumn, endRow);
  Lst.Dirty[Pane()].end_row = 0;
}

void TMainWindow::DrawScreenRows(TDC& dc, int firstColumn, int firstRow, int endColumn, int endRow) {
  if (!screenPainted || !Con.Screen) return;
  endColumn = std::min({endColumn, int(columns), int(kScreenColumns)});
  endRow = std::min(endRow, int(rows));
  if (firstColumn >= endColumn) return;
  if (font) dc.SelectObject(*font);
  const u16 p = Con.Geometry.command_first_row;
  std::string run;
  for (int w = std::max(firstRow, 0); w < endRow; ++w) {
    const u16 s = ScreenRow(u16(w));
    if (s >= kScreenRows) break;
    if (Pane() == 1 && (s < 1 || s >= p)) continue;  // outside the code pane's band
    const u8* cells = con_screen_row(s);
    int column = firstColumn;
    // a range that starts on a trail byte starts at the row's beginning
    if (column > 0 && host_cp932_lead(cells[2 * (column - 1)])) firstColumn = column = 0;
    while (column < endColumn) {
      const u8 attribute = cells[2 * column + 1];
      const int start = column;
      run.clear();
      while (column < endColumn && cells[2 * column + 1] == attribute) {
        const u8 c = cells[2 * column];
        run += char(c);
        ++column;
        // a lead byte takes its trail byte with it, past the range's end too
        if (host_cp932_lead(c) && column < kScreenColumns) {
          run += char(cells[2 * column]);
          ++column;
        }
      }
      PaintRun(dc, start, w, run, attribute, false);
    }
    if (cells[2 * 5 + 1] == 0x0F) {
      const int y = (w + 1) * CellHeight() - 1;
      dc.Line(firstColumn * CellWidth(), y, endColumn * CellWidth(), y, COLORREF(Layout().textColour) & 0x00FFFFFF);
    }
  }
}

void TMainWindow::MakeCurrent() {
  TMDIChild* old = Frame.Children.consoleWindow;
  if (old == this) return;
  Frame.Children.consoleWindow = this;
  if (auto* w = dynamic_cast<TMainWindow*>(old); w && Co.Request.code != RequestCode::BringCodeWindow) w->RepaintAll();
  RepaintAll();
}

void TMainWindow::CmPcPosition() {
  if (!sup_check_not_running()) return;
  sup_run_core_request({}, CoreRequest::CodeToPc);
  DrawDirtyPanes(RequestCode::None);
}

void TMainWindow::CmLineNumber() {
  // the line-number dialog belongs to the code window
#ifndef NDEBUG
  std::fprintf(stderr, "halv80: request %u not served by the window side\n", unsigned(RequestCode::LineNumberDialog));
#endif
}

void TMainWindow::ShowListDialog() {
  // No list dialog here: the entries are taken from the command side one by
  // one as the dialog would take them, and the choice is cancelled.
  RequestBlock& r = Co.Request;
  const u32 count = std::min<u32>(r.p2, 0xFFFF);
  r.code = RequestCode::None;
  for (u32 i = 0; i < count && !win_command_side_exited() && Co.PendingError == 0; ++i) co_enter_command_side();
  r.p3_ptr = nullptr;
#ifndef NDEBUG
  std::fprintf(stderr, "halv80: request %u not served by the window side\n", unsigned(RequestCode::PickList));
#endif
  // modifier releases while the dialog was open never reached the engine
  Co.Key.flags = u8(win_modifier_mask());
}

void TMainWindow::CmPaste() {
  const std::string text = owl_clipboard_text();
  if (text.empty()) return;
  // the engine reads the system's CR LF line ends (it skips the LF)
  std::string pasted;
  pasted.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) pasted += '\r';
    pasted += text[i];
  }
  Service.PasteBuffer = std::move(pasted);
  Sup.TypedText = Service.PasteBuffer.c_str();
}

TMDIChild* make_console_window(TMDICltNEW& client, u16 index, std::string_view title) {
  if (index < kChildCommand || index > kChildCode1) return nullptr;
  return new TMainWindow(client, title, index);
}
