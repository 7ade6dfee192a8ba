// The console windows' base and the service of the command side's requests.
#include "halv80/gui/win_console.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "halv80/engine/win_side.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/res_strings.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u16 kPaneRowsMax = 78;
constexpr u16 kStrMayQuitAsk = 803;
constexpr u8 kEscapeChar = 0x1B;

TMainWindow* Serving = nullptr;  // the console window whose HandleKey runs

// The window side of the window program: each request goes to the console
// window that entered the command side.
class GuiWindowSide : public WindowSide {
 public:
  void ServeRequest(RequestCode code) override {
    if (Serving) Serving->ServiceCoreRequest(code);
  }
  void ShowPendingError(u16 error) override {
    host_message_box("QUENDAR ERROR", sup_pending_error_text(error), kBoxIconExclamation | kTaskModal);
  }
};
GuiWindowSide Side;

// Refreshes child `index` unless it is missing or minimized.
void refresh_child(u16 index) {
  if (index >= kChildCount) return;
  if (auto* w = dynamic_cast<TQNWindow*>(Frame.Children.windows[index]); w && !w->IsIconic()) w->Refresh();
}

// The engine's message buffer without one leading line feed and the blanks after it.
std::string message_text() {
  std::string_view text = Sup.MessageBuffer;
  if (!text.empty() && text.front() == '\n') {
    text.remove_prefix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return std::string(text);
}

void error_box_request() {
  std::string text = message_text();
  unsigned style = kBoxIconExclamation | kTaskModal;
  const bool ask = Sup.StartupFailure == 2;
  if (ask) {
    style |= kBoxOkCancel | kBoxDefaultButton2;
    text += '\n';
    text += res_string(kStrMayQuitAsk);
  }
  const int answer = host_message_box("QUENDAR ERROR", text, style);
  if (!ask) return;
  if (answer == kBoxAnswerOk) {
    Sup.StartupFailure = 1;
    Co.WaitKind = kWaitKey;
    if (Frame.Children.mainFrame) Frame.Children.mainFrame->PostMessage(WM_CLOSE);
  } else {
    Run.ConfirmFlag = 0;
    Sup.StartupFailure = 0;
  }
}

// A request whose window-side work is not built yet: said in a debug build.
void unhandled(RequestCode code) {
#ifndef NDEBUG
  std::fprintf(stderr, "halv80: request %u not served by the window side\n", unsigned(code));
#else
  (void)code;
#endif
}

constexpr ResponseEntry kConsoleTable[] = {
    EvMessage<WM_CHAR, &TMainWindow::EvChar>(),
    EvMessage<WM_KEYUP, &TMainWindow::EvKeyUp>(),
};

}  // namespace

u16 console_key_code(u32 key) {
  switch (key) {
    case VK_NEXT: return 0x36;
    case VK_PRIOR: return 0x37;
    case VK_INSERT: return 0x38;
    case VK_DELETE: return 0x39;
    case VK_UP: return 0x3A;
    case VK_LEFT: return 0x3B;
    case VK_RIGHT: return 0x3C;
    case VK_DOWN: return 0x3D;
    case VK_HOME: case VK_CLEAR: return 0x3E;
    case VK_END: case VK_HELP: return 0x3F;
    default:
      if (key >= VK_F1 && key <= VK_F10) return u16(0x62 + (key - VK_F1));
      return 0;
  }
}

TMainWindow::TMainWindow(TMDIClient& client, std::string_view title, u16 index) : TQNWindow(client, title) {
  windowIndex = index;
  ApplyPlacement(0);
}

const ResponseEntry* TMainWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kConsoleTable, message, id)) return e;
  return TQNWindow::Find(message, id);
}

u16 TMainWindow::ScreenRow(u16 row) const {
  return u16(Pane() == 0 ? row + Con.Geometry.command_first_row : row + 1);
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
  const bool again = (q.p2 & 1) != 0 || (q.p1 & 0x1000) != 0;
  foundColumn = u16(q.p4);
  previousFoundLine = i32(q.p5);
  searchDirection = u16(((q.p2 & 2) == 0 ? 1 : 0) | (q.p2 & 0x8000));
  const u16 found = Search(again ? 1 : 0, i32(q.p3), -1);
  q.view.found = found;
  q.p2 = (searchDirection & 1) ? 0 : 2;
  q.view.found_row = u32(foundLine - 1);
  q.view.found_column = foundColumn;
  q.view.found_end_column = u16(foundColumn + foundLength);
}

u16 TMainWindow::GetCopyRow(u16 row) {
  if (Frame.SharedRowText.size() < kSharedRowSize) Frame.SharedRowText.assign(kSharedRowSize, 0);
  if (Frame.SharedRowAttributes.size() < kSharedRowSize) Frame.SharedRowAttributes.assign(kSharedRowSize, 0);
  std::fill(Frame.SharedRowText.begin(), Frame.SharedRowText.end(), 0);
  std::fill(Frame.SharedRowAttributes.begin(), Frame.SharedRowAttributes.end(), 0);
  const u16 s = ScreenRow(row);
  if (!Con.Screen || s >= kScreenRows) return 0;
  const u8* cells = con_screen_row(s);
  u16 length = 0;
  for (u16 c = 0; c < kScreenColumns; ++c) {
    Frame.SharedRowText[c] = cells[2 * c];
    Frame.SharedRowAttributes[c] = cells[2 * c + 1];
    if (cells[2 * c] > 0x20) length = u16(c + 1);
  }
  std::fill(Frame.SharedRowText.begin() + length, Frame.SharedRowText.end(), 0);
  return length;
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
  // the engine re-splits its screen and redraws the code pane
  if (co_command_side_started() && Co.PendingError == 0 && Sup.StartupFailure == 0 && !Co.OnCommandSide) {
    sup_split_screen_panes(windowIndex);
    Co.Key.source_window = windowIndex;
    std::string kept(Cmd.StartupArgs, strnlen(Cmd.StartupArgs, sizeof Cmd.StartupArgs));
    sup_run_core_request({}, 11);
    std::snprintf(Cmd.StartupArgs, sizeof Cmd.StartupArgs, "%s", kept.c_str());
  }
  RepaintAll();
}

void TMainWindow::HandleKey() {
  if (Co.PendingError != 0) return;
  if (Co.Request.code == RequestCode::None) {
    TMainWindow* outer = Serving;
    Serving = this;
    const u16 wait = win_pump(Side);
    Serving = outer;
    if (Sup.StartupFailure != 0) return;
    DrawDirtyPanes(RequestCode::None);
    if (wait & kWaitBitExit) return;
  }
}

void TMainWindow::KeyDown(u32 key, u32 repeat, u32 flags) {
  if (Sup.TypedText) {
    // a key press cancels text still being typed in for the user
    Sup.TypedText = nullptr;
    return;
  }
  TQNWindow::KeyDown(key, repeat, flags);
  if (lastModifiers == (kKeyCtrl | kKeyAlt)) return;
  const bool restricted = minimized || (mouseState & 0x0E) != 0;
  if (restricted) {
    switch (key) {
      case VK_END: case VK_HELP: case VK_HOME: case VK_CLEAR: case VK_ESCAPE:
      case VK_F1 + 4: case VK_F1 + 6: case VK_F1 + 7: case VK_F10: break;
      default: return;
    }
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
  if (mouseState & 0x0E) return;
  // a byte, sign-extended as the engine reads it
  Co.Key.character = u16(i16(i8(u8(character))));
  Co.Key.flags = u8(lastModifiers);
  ++Co.Request.key_input;
  HandleKey();
}

void TMainWindow::Paint(TDC& dc, bool, TRect& rect) {
  if (minimized || IsIconic() || layoutBusy) return;
  if (mouseState & 0x8000) mouseState = 0;
  const int cw = CellWidth(), ch = CellHeight();
  const int firstColumn = std::max(0, rect.left / cw);
  const int endColumn = (rect.right + cw - 1) / cw;
  const int firstRow = std::max(0, rect.top / ch);
  int endRow = (rect.bottom + ch - 1) / ch;
  if (endRow == rows + 1) endRow = rows;
  screenPainted = 1;
  DrawScreenRows(dc, firstColumn, firstRow, endColumn, endRow);
  Lst.Dirty[Pane()].end_row = 0;
  const TRect client = GetClientRect();
  const COLORREF background = COLORREF(Layout().backgroundColour) & 0x00FFFFFF;
  if (client.bottom > rows * ch) dc.FillRect(TRect{0, rows * ch, client.right, client.bottom}, background);
  if (client.right > columns * cw) dc.FillRect(TRect{columns * cw, 0, client.right, rows * ch}, background);
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

void TMainWindow::DrawDirtyPanes(RequestCode code) {
  const ChildWindowTable& t = Frame.Children;
  TMainWindow* panes[2] = {dynamic_cast<TMainWindow*>(t.commandWindow), dynamic_cast<TMainWindow*>(t.consoleWindow)};
  for (u16 pane = 0; pane < 2; ++pane) {
    PaneDirtyRange& d = Lst.Dirty[pane];
    TMainWindow* w = panes[pane];
    if (!w || w->IsIconic() || (d.end_row == 0 && code != RequestCode::ScrollPane)) continue;
    if (d.end_row != 0) {
      const int top = pane == 0 ? int(d.first_row) - int(Con.Geometry.command_first_row) : int(d.first_row) - 1;
      const int bottom = pane == 0 ? int(d.end_row) - int(Con.Geometry.command_first_row) : int(d.end_row) - 1;
      w->InvalidateRect(TRect{int(d.first_column) * w->CellWidth(), std::max(top, 0) * w->CellHeight(),
                              int(d.end_column) * w->CellWidth(), std::max(bottom, 0) * w->CellHeight()},
                        false);
      w->UpdateWindow();
    }
    // the engine moves its screen rows after this request: the pixels move now
    if (code == RequestCode::ScrollPane && (Co.Request.p1 != 0) == (pane == 1)) w->ScrollPane();
    d.end_row = 0;
  }
}

void TMainWindow::ScrollPane() {
  const int ch = CellHeight();
  const int width = GetClientRect().right;
  const int regionRows = int(std::min<u32>(Co.Request.p4, kScreenRows)) + 1;
  const int from = int(std::min<u32>(Co.Request.p2, kScreenRows));
  const int to = int(std::min<u32>(Co.Request.p3, kScreenRows));
  if (from == to) return;
  ScrollWindow(0, (to - from) * ch, TRect{0, 0, width, regionRows * ch});
  // the row the move uncovers is blank until the engine writes its text there
  const int exposed = to > from ? 0 : regionRows - 1;
  TDC dc(*this);
  dc.FillRect(TRect{0, exposed * ch, width, (exposed + 1) * ch}, COLORREF(Layout().backgroundColour) & 0x00FFFFFF);
  Con.CaretColumn = 0;
}

void TMainWindow::ServiceCoreRequest(RequestCode code) {
  DrawDirtyPanes(code);
  ChildWindowTable& t = Frame.Children;
  switch (code) {
    case RequestCode::ScrollPane:
      break;  // done by the pane update
    case RequestCode::SearchText: {
      TMainWindow* w = dynamic_cast<TMainWindow*>(t.activeIndex == kChildCommand ? t.commandWindow : t.consoleWindow);
      if (w) w->FindInPane();
      break;
    }
    case RequestCode::Refresh:
      if (Frame.ChildrenCreated == 1)
        for (u16 i = 0; i <= 6; ++i) refresh_child(i);
      break;
    case RequestCode::BreakListChanged: refresh_child(6); break;
    case RequestCode::WatchListChanged: refresh_child(kChildWatch); break;
    case RequestCode::HistoryUpdate: refresh_child(8); break;
    case RequestCode::ErrorBox: error_box_request(); break;
    case RequestCode::PageCopy:
      if (auto* w = dynamic_cast<TQNWindow*>(t.activeIndex == kChildCommand ? t.commandWindow : t.consoleWindow))
        w->CmPageCopy();
      break;
    case RequestCode::Clipboard:
      owl_set_clipboard_text(std::string_view(Sup.MessageBuffer, strnlen(Sup.MessageBuffer, sizeof Sup.MessageBuffer)));
      break;
    case RequestCode::Focus: win_cycle_focus(u16(Co.Request.p1)); break;
    case RequestCode::KeyAction20: win_toggle_maximize(); break;
    case RequestCode::ProjectLayout:
      Co.Request.code = RequestCode::None;
      prj_read_section(0x100);
      break;
    case RequestCode::Exit:
      Co.Request.code = RequestCode::None;
      Side.closing = true;
      if (t.mainFrame) t.mainFrame->PostMessage(WM_CLOSE);
      break;
    case RequestCode::ShowValue:
    case RequestCode::ChooseSourceFile:
    case RequestCode::BringCodeWindow:
    case RequestCode::MayShowPosition:
    case RequestCode::PickList:
    case RequestCode::CaretHint:
    case RequestCode::Help:
    case RequestCode::Paste:
    case RequestCode::OptionsDialog:
    case RequestCode::ReloadCodeWindows:
    case RequestCode::ScrollThumb:
    case RequestCode::LineNumberDialog:
    case RequestCode::CodeToPc:
      unhandled(code);
      break;
    default:
      break;  // codes without a meaning: the pane update only
  }
}

TMDIChild* make_console_window(TMDICltNEW& client, u16 index, std::string_view title) {
  if (index < kChildCommand || index > kChildCode1) return nullptr;
  return new TMainWindow(client, title, index);
}
