// The service of the command side's requests: both panes brought up to date
// first, then the request by its code. Requests that belong to windows or
// dialogs not present go through ServiceHooks and are left at their least.
#include "halv80/gui/win_requests.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "halv80/gui/app_bars.h"
#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_console.h"
#include "halv80/gui/win_mdi.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"

ServiceState Service;
ServiceHooks RequestHooks;
GuiWindowSide GuiSide;

namespace {

constexpr u16 kStrMayQuitAsk = 803;
constexpr u32 kStatusBarId = 32040;
constexpr u32 kHelpContextCommand = 1;  // the help engine's context command

constexpr u16 HelpContextTable[kHelpContextCount] = {
    42,   56,   55,  45,  53,  47,   47,   47,  46,  49,  51,  44,  522, 42,  42,  596,  // 0-15
    42,   42,   54,  50,  42,  564,  526,  58,  52,  531, 552, 559, 538, 525, 525, 524,  // 16-31
    527,  535,  567, 539, 598, 579,  546,  547, 549, 556, 589, 560, 565, 566, 545, 558,  // 32-47
    542,  582,  537, 571, 507, 551,  523,  42,  42,  592, 555, 593, 42,  2008, 42, 573,  // 48-63
    2002, 2003, 584, 553, 42,  2008, 2005, 42,  589, 589, 589, 541, 561, 530, 597, 572,  // 64-79
    42,   42,   587, 590, 42,  562,  594,  599, 42,  505, 42,  588, 586, 42,  42,  544,  // 80-95
    42,   42,   42,  42,  42,  42,   42,   580, 2004, 2001, 42, 2057, 2058, 42, 42,  42,  // 96-111
};
static_assert(std::size(HelpContextTable) == kHelpContextCount);

// A request whose window-side work is not here: said in a debug build.
void unhandled(RequestCode code) {
#ifndef NDEBUG
  std::fprintf(stderr, "halv80: request %u not served by the window side\n", unsigned(code));
#else
  (void)code;
#endif
}

TMainWindow* console_window(TMDIChild* w) { return dynamic_cast<TMainWindow*>(w); }

// Child `index` gets ScrollToLine with force 1: a full refresh of its rows.
void refresh_child(u16 index) {
  if (index >= kChildCount) return;
  if (auto* w = dynamic_cast<TQNWindow*>(Frame.Children.windows[index]); w && !w->IsIconic()) w->Refresh();
}

// The other code window of `w` (11 and 12 are each other's), or null.
TMainWindow* other_code_window(TMDIChild* w) {
  const ChildWindowTable& t = Frame.Children;
  if (w == t.windows[kChildCode]) return console_window(t.windows[kChildCode1]);
  if (w == t.windows[kChildCode1]) return console_window(t.windows[kChildCode]);
  return nullptr;
}

// The message buffer without one leading line feed and the blanks after it.
std::string message_text() {
  std::string_view text(Sup.MessageBuffer, strnlen(Sup.MessageBuffer, sizeof Sup.MessageBuffer));
  if (!text.empty() && text.front() == '\n') {
    text.remove_prefix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  return std::string(text);
}

// Request 1: the value's position, from the caret cell in the console
// window's client area to the MDI client's coordinates.
void show_value(TMainWindow& self) {
  RequestBlock& r = Co.Request;
  if (Co.Key.key_code != key_word(PseudoKey::ShowValue)) {
    // the inspect command gives its position itself
    auto* console = console_window(Frame.Children.consoleWindow);
    if (!console || console->IsIconic()) return;
    const TPoint client{int(std::min<u32>(r.p1, 0xFFFF)) * self.CellWidth(),
                        int(std::min<u32>(r.p2, 0xFFFF)) * self.CellHeight()};
    TPoint at = console->ClientToScreen(client);
    if (TWindow* mdi = self.Parent()) at = mdi->ScreenToClient(at);
    r.p1 = u32(at.x);
    r.p2 = u32(at.y);
  }
  if (RequestHooks.openInspectWindow) RequestHooks.openInspectWindow();
  else unhandled(RequestCode::ShowValue);
}

// Request 8: the other code window shows the new position.
void use_other_code_window(TMainWindow& self) {
  TMDIChild* current = Frame.Children.consoleWindow;
  TMainWindow* other = other_code_window(current);
  if (!other) return;
  if (current && current->HasFocus()) {
    // its focus handling makes it the console window
    other->BringWindowToTop();
    other->SetFocus();
    other->MakeCurrent();
    self.mouseState = 0;
    self.ShowCaretState(true);
  } else {
    other->MakeCurrent();
  }
}

// Request 10: the watch window shows the new list; the child that was active
// comes back later (the heartbeat counts).
void watch_list_changed() {
  ChildWindowTable& t = Frame.Children;
  Service.pendingViewRequest = u16(t.activeIndex + 1);
  refresh_child(kChildWatch);
  if (t.activeIndex == kChildWatch) Service.pendingViewRequest = 0;
  else win_activate_child(kChildWatch);
}

// RequestCode::ScrollThumb: the thumb of the code pane's or the command pane's window.
void set_thumb() {
  const ChildWindowTable& t = Frame.Children;
  TMDIChild* w = Co.Request.p1 == kThumbCodePane ? t.consoleWindow : t.commandWindow;
  if (w) w->SetScrollPos(int(std::min<u32>(Co.Request.p2, 1000)), true);
}

void message_line_observer(void*, std::string_view text) {
  // told on the command side: kept, and shown once the window side runs again
  if (Co.OnCommandSide) Service.MessageLine.assign(text);
}

}  // namespace

void service_reset_state() {
  Service = ServiceState{};
  GuiSide.closing = false;
  service_watch_message_line();
}

void service_watch_message_line() { sup_set_message_line_observer(message_line_observer, nullptr); }

u32 help_context(u32 index) { return index < kHelpContextCount ? HelpContextTable[index] : kHelpContextGeneral; }

void ShowHelpTopic(u32 index) { owl_win_help(Frame.HelpFilePath, kHelpContextCommand, help_context(index)); }

void win_error_box_request() {
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

void win_show_message_line(std::string_view cp932) {
  // Cursor moves put scope names there too: never a box, only the bar.
  if (!cp932.empty()) app_show_status_message(cp932, kStatusNotice);
}

void GuiWindowSide::ServeRequest(RequestCode code) {
  // the console window that entered the command side, else either console window
  TMainWindow* w = Service.Serving;
  if (!w) w = console_window(Frame.Children.commandWindow);
  if (!w) w = console_window(Frame.Children.consoleWindow);
  if (w) {
    w->ServiceCoreRequest(code);
    return;
  }
  TMainWindow::DrawDirtyPanes(code);
  if (code != RequestCode::None) unhandled(code);
}

void GuiWindowSide::ShowPendingError(u16 error) {
  // busy-kind and status-kind words are status-bar messages; the rest a box
  const bool hung = (error & kErrCodeMask) == kErrorTargetHung;
  if (hung && RequestHooks.systemError) {
    RequestHooks.systemError(error);
    return;
  }
  const bool busy = error >= kErrBusyBase && error != kErrWaitWindowSide && !hung;
  const bool status = error >= kErrStatusBase && error < kErrTextInBuffer;
  if (busy || status) {
    // bit 13 chooses the second colour
    app_show_status_message(sup_pending_error_text(error), (error & kErrStatusBit) ? kStatusNotice : kStatusAlert);
    return;
  }
  host_message_box("QUENDAR ERROR", sup_pending_error_text(error), kBoxIconExclamation | kTaskModal);
}

void TMainWindow::DrawDirtyPanes(RequestCode code) {
  const ChildWindowTable& t = Frame.Children;
  TMainWindow* panes[2] = {console_window(t.commandWindow), console_window(t.consoleWindow)};
  for (u16 pane = 0; pane < 2; ++pane) {
    PaneDirtyRange& d = Lst.Dirty[pane];
    TMainWindow* w = panes[pane];
    if (!w || w->IsIconic() || (d.end_row == 0 && code != RequestCode::ScrollPane)) continue;
    w->ShowCaretState(false);
    if (d.end_row != 0) {
      const int top = pane == 0 ? int(d.first_row) - int(Con.Geometry.command_first_row) : int(d.first_row) - 1;
      const int bottom = pane == 0 ? int(d.end_row) - int(Con.Geometry.command_first_row) : int(d.end_row) - 1;
      w->InvalidateRect(TRect{int(d.first_column) * w->CellWidth(), std::max(top, 0) * w->CellHeight(),
                              int(d.end_column) * w->CellWidth(), std::max(bottom, 0) * w->CellHeight()},
                        false);
      w->UpdateWindow();
    }
    // the engine moves its screen rows after this request: the pixels move now
    if (code == RequestCode::ScrollPane && (Co.Request.p1 != kPaneCommand) == (pane == 1)) w->ScrollPane();
    w->ShowCaretState(true);
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
  Service.PaneScrolled = 1;
  ScrollWindow(0, (to - from) * ch, TRect{0, 0, width, regionRows * ch});
  // the row the move uncovers is blank until the engine writes its text there
  const int exposed = to > from ? 0 : regionRows - 1;
  {
    TDC dc(*this);
    dc.FillRect(TRect{0, exposed * ch, width, (exposed + 1) * ch}, COLORREF(Layout().backgroundColour) & 0x00FFFFFF);
  }
  Con.CaretColumn = 0;
  PlaceCaret();
}

void TMainWindow::ServiceCoreRequest(RequestCode code) {
  DrawDirtyPanes(code);
  ChildWindowTable& t = Frame.Children;
  RequestBlock& r = Co.Request;
  TMainWindow* console = console_window(t.consoleWindow);
  TMainWindow* command = console_window(t.commandWindow);
  switch (code) {
    case RequestCode::ShowValue: show_value(*this); break;
    case RequestCode::ChooseSourceFile:
      if (RequestHooks.moduleDialog) {
        RequestHooks.moduleDialog(*this);
      } else {
        r.p1 = (r.p1 & 0xFFFF) | u32(kNoChoice) << 16;  // what a cancelled dialog leaves
        unhandled(code);
      }
      break;
    case RequestCode::SearchText:
      if (TMainWindow* w = t.activeIndex == kChildCommand ? command : console) w->FindInPane();
      break;
    case RequestCode::ScrollPane: break;  // done by the pane update
    case RequestCode::Refresh:
      if (Frame.ChildrenCreated == 1)
        for (u16 i = 0; i <= kChildBreak; ++i) refresh_child(i);
      break;
    case RequestCode::BreakListChanged: refresh_child(kChildBreak); break;
    case RequestCode::BringCodeWindow: use_other_code_window(*this); break;
    case RequestCode::MayShowPosition: r.p4 = console ? console->MayShowPosition() : 0; break;
    case RequestCode::WatchListChanged: watch_list_changed(); break;
    case RequestCode::ErrorBox: win_error_box_request(); break;
    case RequestCode::PickList:
      if (command) command->ShowListDialog();
      else r.p3_ptr = nullptr;  // nothing chosen
      break;
    case RequestCode::CaretHint:
      if (t.activeIndex >= kChildCommand) StatusHint = u16(((r.p1 + 10) & 0x3FFF) | kHintBit);
      break;
    case RequestCode::Help: ShowHelpTopic(r.p1); break;
    case RequestCode::Paste:
      if (command) command->CmPaste();
      break;
    case RequestCode::PageCopy:
      if (TMainWindow* w = t.activeIndex == kChildCommand ? command : console) w->CmPageCopy();
      break;
    case RequestCode::Focus: win_cycle_focus(u16(r.p1)); break;
    case RequestCode::OptionsDialog:
      if (RequestHooks.optionsDialog) RequestHooks.optionsDialog(t.mainFrame);
      else unhandled(code);
      break;
    case RequestCode::Clipboard:
      owl_set_clipboard_text(std::string_view(Sup.MessageBuffer, strnlen(Sup.MessageBuffer, sizeof Sup.MessageBuffer)));
      break;
    case RequestCode::ZoomChild: win_toggle_maximize(); break;
    case RequestCode::ReloadCodeWindows:
      for (u16 i : {kChildCode, kChildCode1})
        if (TMainWindow* w = console_window(t.windows[i])) w->DropFixModes();
      if (TMainWindow* other = other_code_window(t.consoleWindow)) other->RepaintAll();
      break;
    case RequestCode::ScrollThumb: set_thumb(); break;
    case RequestCode::LineNumberDialog:
      if (t.activeIndex >= kChildCode && console) console->CmLineNumber();
      break;
    case RequestCode::ProjectLayout:
      r.code = RequestCode::None;
      prj_read_section(0x100);
      break;
    case RequestCode::CodeToPc:
      if (t.activeIndex >= kChildCode && console) console->CmPcPosition();
      break;
    case RequestCode::HistoryUpdate: refresh_child(kChildHistory); break;
    case RequestCode::Exit:
      r.code = RequestCode::None;
      GuiSide.closing = true;
      if (t.mainFrame) t.mainFrame->PostMessage(WM_CLOSE);
      break;
    default:
      break;  // codes without a meaning: the pane update only
  }
}
