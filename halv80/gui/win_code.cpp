// The code windows, their fix modes and the requests that concern them.
#include "halv80/gui/win_code.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/key_bindings.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/dlg_codeline.h"
#include "halv80/gui/dlg_inswatch.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_command.h"
#include "halv80/gui/win_memo.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u16 kStrCodeTitle = 961;
constexpr u16 kWatchLimit = 16;

constexpr ResponseEntry kCodeTable[] = {
    EvMessage<WM_SETFOCUS, &TCODEWindow::EvSetFocus>(),
    EvMessage<WM_TIMER, &TCODEWindow::EvTimer>(),
    EvMessage<WM_DESTROY, &TCODEWindow::EvDestroy>(),
    EvMessage<WM_LBUTTONDOWN, &TCODEWindow::EvLButtonDown>(),
    EvMessage<WM_LBUTTONUP, &TCODEWindow::EvLButtonUp>(),
    EvMessage<WM_LBUTTONDBLCLK, &TCODEWindow::EvLButtonDblClk>(),
    EvMessage<WM_RBUTTONDOWN, &TCODEWindow::EvRButtonDown>(),
    EvMessage<WM_RBUTTONDBLCLK, &TCODEWindow::EvRButtonDblClk>(),
    EvMessage<WM_INITMENUPOPUP, &TCODEWindow::EvInitMenuPopup>(),
    EvCommand<&TCODEWindow::CmToggleView>(445),
    EvCommandEnable<&TCODEWindow::CeToggleView>(445),
    EvCommand<&TCODEWindow::CmModule>(447),
    EvCommandEnable<&TCODEWindow::CeToggleView>(447),
    EvCommand<&TCODEWindow::CmLineNumber>(446),
    EvCommandEnable<&TCODEWindow::CeLineNumber>(446),
    EvCommand<&TCODEWindow::CmTop>(448),
    EvCommandEnable<&TCODEWindow::CeSourceNotBusy>(448),
    EvCommand<&TCODEWindow::CmBottom>(449),
    EvCommandEnable<&TCODEWindow::CeSourceNotBusy>(449),
    EvCommand<&TCODEWindow::CmPcPosition>(450),
    EvCommandEnable<&TCODEWindow::CePcPosition>(450),
    EvCommand<&TCODEWindow::CmFixFile>(451),
    EvCommandEnable<&TCODEWindow::CeFixFile>(451),
    EvCommand<&TCODEWindow::CmFixFunction>(452),
    EvCommandEnable<&TCODEWindow::CeFixFunction>(452),
    EvCommand<&TCODEWindow::CmFlip>(453),
    EvCommandEnable<&TCODEWindow::CeFlip>(453),
    EvCommand<&TCODEWindow::CmWatch>(422),
    EvCommandEnable<&TCODEWindow::CeWatch>(422),
    EvCommand<&TCODEWindow::CmInspect>(423),
    EvCommandEnable<&TCODEWindow::CeInspect>(423),
};

bool stopped() { return (Run.ExecutionState & kExecRunning) == 0; }
bool busy() { return (Co.WaitKind & kWaitBitBusy) != 0; }
bool source_view() { return Lst.ListingMode == kListingSource; }

// Engine work from the window side is possible: the command side exists,
// is not running and has nothing pending.
bool engine_ready() {
  return co_command_side_started() && Co.PendingError == 0 && Sup.StartupFailure == 0 && !Co.OnCommandSide;
}

// A core request from a window command; the pane's changed cells are drawn.
void core_request(CoreRequest request) {
  if (!engine_ready()) return;
  std::string kept(Cmd.StartupArgs, strnlen(Cmd.StartupArgs, sizeof Cmd.StartupArgs));
  sup_run_core_request({}, request);
  std::memcpy(Cmd.StartupArgs, kept.c_str(), kept.size() + 1);
  TMainWindow::DrawDirtyPanes(RequestCode::None);
}

}  // namespace

TCODEWindow::TCODEWindow(TMDIClient& client, std::string_view title)
    : TMainWindow(client, title,
                  title == host_utf8_to_cp932("コード") || title == "Code" ? kChildCode : kChildCode1) {
  // the English caption means the English resource set is in use
  if (title == "Code") Cmd.LanguageJapanese = 0;
  Lst.CodeWindowsShown = 1;
  rows = columns = 10;
}

TCODEWindow::~TCODEWindow() {
  if (Frame.Children.consoleWindow == this) Frame.Children.consoleWindow = nullptr;
  if (!OtherCodeWindow()) Lst.CodeWindowsShown = 0;
}

const ResponseEntry* TCODEWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCodeTable, message, id)) return e;
  return TMainWindow::Find(message, id);
}

i64 TCODEWindow::ForwardToBase(u32 message, u64 wParam, i64 lParam) {
  if (const ResponseEntry* e = TMainWindow::Find(message, 0)) {
    OwlMessage m{message, wParam, lParam};
    return e->dispatch(*this, m);
  }
  return DefaultProcessing();
}

TCODEWindow* TCODEWindow::OtherCodeWindow() const {
  const u16 other = windowIndex == kChildCode ? kChildCode1 : kChildCode;
  TCODEWindow* w = dynamic_cast<TCODEWindow*>(Frame.Children.windows[other]);
  return w != this ? w : nullptr;
}

void TCODEWindow::TakeSnapshot() {
  snapshotText.assign(std::size_t(columns) * rows, ' ');
  snapshotAttributes.assign(snapshotText.size(), 7);
  if (Con.Screen) CopyScreenRows(snapshotText.data(), snapshotAttributes.data(), 0, rows, columns);
}

void TCODEWindow::MakeCurrent() {
  ChildWindowTable& t = Frame.Children;
  if (t.consoleWindow == this) return;
  TCODEWindow* old = dynamic_cast<TCODEWindow*>(t.consoleWindow);
  bool repaintOld = false;
  if (old) {
    sup_code_view_state(old->viewSnapshot, 0);
    if (!old->IsIconic()) {
      if (engine_ready()) lst_unmark_row();
      old->TakeSnapshot();
      repaintOld = true;
    }
  }
  t.consoleWindow = this;
  Con.Geometry.code_columns = columns;
  Con.Geometry.command_first_row = u16(rows + 2);
  Co.Key.source_window = windowIndex;
  if (engine_ready()) sup_split_screen_panes(windowIndex);
  if (viewSnapshot.valid) sup_code_view_state(viewSnapshot, 1);
  core_request(CoreRequest::RedrawCode);
  if (Co.Request.code != RequestCode::BringCodeWindow && repaintOld) old->RepaintAll();
  RepaintAll();
  SetScrollPos(sup_code_thumb_pos(1));
}

u16 TCODEWindow::MayShowPosition(u32 otherFile, u32 nesting, u32 pc) const {
  const TCODEWindow* other = OtherCodeWindow();
  if (!other || other->IsIconic()) return 0;
  if (IsIconic()) return 1;
  if (fixMode == kFixNone) return 0;
  if (fixMode == kFixFlip) {
    if (nesting == 0x1000) return 0;
    return otherFile != 0 || nesting != 0 ? 1 : 0;
  }
  // the window that fixed the range shows what lies inside it
  const bool inside = pc >= fixStart && pc < fixEnd;
  const bool outsider = (fixMode & kFixOther) != 0;
  return inside == outsider ? 1 : 0;
}

u32 TCODEWindow::MayShowPosition() const {
  const RequestBlock& q = Co.Request;
  return MayShowPosition(q.p1, q.p2, tgt_to_physical(q.p3 & 0xFFFF));
}

void TCODEWindow::ProgramLoaded() {
  DropFixModes();
  if (TCODEWindow* other = OtherCodeWindow()) other->DropFixModes();
}

void TCODEWindow::DropFixModes() {
  fixMode = kFixNone;
  if (IsCurrent()) return;
  viewSnapshot.valid = 0;
  RepaintAll();
}

void TCODEWindow::SetCaption() {
  if (Lst.CodeTitle) captionBase = Lst.CodeTitle;
  std::string caption = captionBase.empty() ? std::string(res_string(kStrCodeTitle)) : captionBase;
  if (fixMode == kFixFile || fixMode == kFixFunction || fixMode == kFixFlip) caption += fixSuffix;
  if (windowIndex == kChildCode1) caption += "-1";
  TWindow::SetCaption(caption);
  Lst.CodeTitle = nullptr;
}

void TCODEWindow::Refresh() {
  RepaintAll();
  if (TCODEWindow* other = OtherCodeWindow()) other->RepaintAll();
}

void TCODEWindow::UpdateLayout(u32 sizeType, const TSize& size) {
  ChildWindowTable& t = Frame.Children;
  TCODEWindow* remembered = nullptr;
  // a window is laid out as the current one; the current one comes back after
  if (sizeType != SIZE_MINIMIZED && t.consoleWindow != this && (t.consoleWindow || windowIndex == kChildCode)) {
    remembered = dynamic_cast<TCODEWindow*>(t.consoleWindow);
    if (remembered) sup_code_view_state(remembered->viewSnapshot, 0);
    t.consoleWindow = this;
    if (viewSnapshot.valid) sup_code_view_state(viewSnapshot, 1);
  }
  TMainWindow::UpdateLayout(sizeType, size);
  if (sizeType == SIZE_MINIMIZED || IsIconic()) {
    // the other code window comes up in place of a minimized current one
    TCODEWindow* other = OtherCodeWindow();
    if (t.consoleWindow == this && other && !other->IsIconic()) other->BringWindowToTop();
    return;
  }
  if (t.consoleWindow == this && windowIndex == kChildCode1 && engine_ready()) {
    // the base publishes the pane's size for the primary window only
    Con.Geometry.code_columns = columns;
    Con.Geometry.command_first_row = u16(rows + 2);
    sup_split_screen_panes(windowIndex);
    core_request(CoreRequest::RedrawCode);
  }
  snapshotText.assign(std::size_t(columns) * rows, ' ');
  snapshotAttributes.assign(snapshotText.size(), 7);
  if (remembered) remembered->MakeCurrent();
}

void TCODEWindow::HandleKey() {
  TMainWindow::HandleKey();
  ChildWindowTable& t = Frame.Children;
  // the engine's key cursor is in the command pane: the command window takes over
  if (Lst.CodeCursorMode == 0 && t.commandWindow && win_active_index() != kChildCommand)
    win_activate_child(kChildCommand);
}

void TCODEWindow::EvSetFocus(TWindow* other) {
  if (!(Co.PendingError & kErrHighCoding) || !app_is_system_error(Co.PendingError)) MakeCurrent();
  // the base moves the engine's key cursor to the code pane
  ForwardToBase(WM_SETFOCUS, u64(owl_ptr_word(other)), 0);
}

void TCODEWindow::EvTimer(u32) {
  if (windowIndex == kChildCode) timerActive = Frame.HeartbeatRunning;
  app_heartbeat_tick(*this);
}

void TCODEWindow::EvDestroy() {
  if (windowIndex == kChildCode) {
    KillTimer(kHeartbeatTimerId);
    _NT_close_driver();
    timerActive = 0;
  }
  ForwardToBase(WM_DESTROY, 0, 0);
}

bool TCODEWindow::ShiftClick(u32 modifiers) const {
  return (modifiers & MK_SHIFT) != 0 && mouseState == 0 && Frame.Children.activeIndex >= kChildCode;
}

void TCODEWindow::SendClick(PseudoKey key, const TPoint& point) {
  Co.Request.view.click_column = u16(std::max(0, point.x) / CellWidth());
  Co.Request.view.click_row = u16(std::max(0, point.y) / CellHeight() + 1);
  clickColumn = Co.Request.view.click_column;
  clickRow = Co.Request.view.click_row;
  Co.Key.key_code = key_word(key);
  Co.Key.source_window = windowIndex;
  HandleKey();
}

void TCODEWindow::EvLButtonDown(u32 modifiers, const TPoint& point) {
  if (ShiftClick(modifiers)) {
    ui_post_run_action(RunAction::Trace);
    return;
  }
  ForwardToBase(WM_LBUTTONDOWN, modifiers, owl_make_long(u16(point.x), u16(point.y)));
}

void TCODEWindow::EvLButtonUp(u32 modifiers, const TPoint& point) {
  // an armed click moves the engine's key cursor to the cell
  if (mouseState & 1) SendClick(PseudoKey::Click, point);
  ForwardToBase(WM_LBUTTONUP, modifiers, owl_make_long(u16(point.x), u16(point.y)));
}

void TCODEWindow::EvLButtonDblClk(u32 modifiers, const TPoint& point) {
  if (ShiftClick(modifiers)) {
    ui_post_run_action(RunAction::Trace);
    return;
  }
  const i32 column = std::max(0, point.x) / CellWidth();
  const i32 row = std::max(0, point.y) / CellHeight() + 1;
  if (column != clickColumn || row != clickRow) {
    mouseState = 0;
    SendClick(PseudoKey::Click, point);
  }
  Co.Key.key_code = key_word(PseudoKey::DoubleClick);
  Co.Key.source_window = windowIndex;
  HandleKey();
  mouseState = 0;
}

void TCODEWindow::EvRButtonDown(u32 modifiers, const TPoint& point) {
  if (ShiftClick(modifiers)) {
    ui_post_run_action(RunAction::Step);
    return;
  }
  ForwardToBase(WM_RBUTTONDOWN, modifiers, owl_make_long(u16(point.x), u16(point.y)));
}

void TCODEWindow::EvRButtonDblClk(u32 modifiers, const TPoint&) {
  if (ShiftClick(modifiers)) ui_post_run_action(RunAction::Step);
}

void TCODEWindow::EvInitMenuPopup(TMenu& popup, u32, bool systemMenu) {
  if (!systemMenu) {
    popup.ModifyMenuText(445, res_string(source_view() ? kStrAssemblerItem : kStrSourceItem));
    popup.ModifyMenuText(446, res_string(source_view() ? kStrLineItem : kStrAddressItem));
  }
  DefaultProcessing();
}

void TCODEWindow::CmToggleView() {
  if (sup_check_not_running()) ui_post_pseudo_key(source_view() ? PseudoKey::AssemblerView : PseudoKey::SourceView);
}

void TCODEWindow::CmModule() { ui_post_pseudo_key(PseudoKey::ChooseModule); }

void TCODEWindow::CmTop() {
  Co.Key.key_code = key_word(PseudoKey::Top);
  Co.Key.source_window = windowIndex;
  HandleKey();
}

void TCODEWindow::CmBottom() {
  Co.Key.key_code = key_word(PseudoKey::Bottom);
  Co.Key.source_window = windowIndex;
  HandleKey();
}

void TCODEWindow::CmPcPosition() {
  if (!sup_check_not_running()) return;
  core_request(CoreRequest::CodeToPc);
  SetScrollPos(sup_code_thumb_pos(1));
}

void TCODEWindow::FixRange(u16 mode) {
  TCODEWindow* other = OtherCodeWindow();
  if ((fixMode & 0x0F) == mode && !(fixMode & kFixOther)) {
    fixMode = kFixNone;
    if (other) other->fixMode = kFixNone;
  } else {
    u32 start = 0, end = 0;
    if (!sup_scope_range_at_pc(mode == kFixFile ? 1 : 0, start, end)) return;
    std::string name(Sup.MessageBuffer, strnlen(Sup.MessageBuffer, sizeof Sup.MessageBuffer));
    if (mode == kFixFunction && !name.empty() && name.front() == '_') name.erase(0, 1);
    fixSuffix = mode == kFixFile ? "[" + name + "]" : "[" + name + "()]";
    fixStart = start;
    fixEnd = end;
    fixMode = mode;
    if (other) {
      other->fixStart = start;
      other->fixEnd = end;
      other->fixMode = u16(kFixOther | mode);
    }
  }
  SetCaption();
  if (other) other->SetCaption();
}

void TCODEWindow::CmFlip() {
  TCODEWindow* other = OtherCodeWindow();
  const u16 mode = fixMode == kFixFlip ? kFixNone : kFixFlip;
  for (TCODEWindow* w : {this, other}) {
    if (!w) continue;
    w->fixMode = mode;
    if (mode == kFixFlip) w->fixSuffix = "[Flip Mode]";
    w->SetCaption();
  }
}

bool TCODEWindow::KeyAction(u16 character) {
  Co.Key.character = character;
  Co.Key.key_code = 0;
  Co.Key.flags = kKeyCtrl;
  Sup.SuppressOnce = 1;
  HandleKey();
  // the engine clears the one-shot flag when the error it suppressed happens
  const bool failed = Sup.SuppressOnce == 0;
  // an action that did not fail leaves the flag: it must not swallow a later error
  Sup.SuppressOnce = 0;
  return failed;
}

void TCODEWindow::CmLineNumber() {
  Co.Request.code = RequestCode::None;
  CodeLineDialog dialog(this);
  CodeLineDialog* outer = CodeLineDialog::Current;
  CodeLineDialog::Current = &dialog;
  const int answer = dialog.Execute();
  CodeLineDialog::Current = outer;
  if (answer == 1) {
    SetScrollPos(sup_code_thumb_pos(1));
    RepaintAll();
  }
}

void TCODEWindow::WatchOrInspect(u16 inspect) {
  bool failed = KeyAction(inspect ? 0x09 : 0x17);
  // the key action failed: the expression from the dialog, until the engine takes it
  while (failed) {
    if (!app_is_system_error(Co.PendingError)) Co.PendingError = 0;
    std::string text;
    InsWatchString dialog(this, inspect, text);
    InsWatchString* outer = InsWatchString::Current;
    InsWatchString::Current = &dialog;
    dialog.Execute();
    InsWatchString::Current = outer;
    if (text.empty()) return;
    Co.PendingError = 0;
    const std::size_t n = std::min(text.size(), kKeyTextSize - 1);
    std::memcpy(Keys.KeyText, text.data(), n);
    Keys.KeyText[n] = '\0';
    if (inspect) {
      sup_set_message_line(text, 0);
      // the inspect window opens at the lower left corner of the caret cell
      Co.Request.p1 = u32(std::max<int>(0, Con.CaretColumn == 0xFFFF ? 0 : Con.CaretColumn) * CellWidth());
      Co.Request.p2 = u32((Con.CaretRow == 0xFFFF ? 1 : Con.CaretRow) * CellHeight());
    }
    Sup.SuppressOnce = 1;
    ui_post_pseudo_key(inspect ? PseudoKey::ShowValue : PseudoKey::AddWatch);
    HandleKey();
    failed = Sup.SuppressOnce == 0;
    Sup.SuppressOnce = 0;
  }
}

void TCODEWindow::CeLineNumber(TCommandEnabler& ce) { ce.Enable((source_view() || stopped()) && !busy()); }

void TCODEWindow::CeToggleView(TCommandEnabler& ce) { ce.Enable(SymModules.ModuleCount != 0 && stopped() && !busy()); }
void TCODEWindow::CeSourceNotBusy(TCommandEnabler& ce) { ce.Enable(source_view() && !busy()); }
void TCODEWindow::CePcPosition(TCommandEnabler& ce) { ce.Enable(stopped() && !busy()); }

void TCODEWindow::CeFix(TCommandEnabler& ce, u16 mode) {
  const TCODEWindow* other = OtherCodeWindow();
  bool found = false;
  if (!(fixMode & kFixOther) && other && !other->IsIconic() && stopped()) {
    // the range query leaves the name in the message buffer, which stays as it was
    char kept[kMessageBufferSize];
    std::memcpy(kept, Sup.MessageBuffer, sizeof kept);
    u32 start = 0, end = 0;
    found = sup_scope_range_at_pc(mode == kFixFile ? 1 : 0, start, end) != 0;
    std::memcpy(Sup.MessageBuffer, kept, sizeof kept);
  }
  ce.Enable(found);
  ce.SetCheck((fixMode & 0x0F) == mode ? 1 : 0);
}

void TCODEWindow::CeFlip(TCommandEnabler& ce) {
  const TCODEWindow* other = OtherCodeWindow();
  const bool shown = other && !other->IsIconic();
  ce.Enable(shown);
  ce.SetCheck(shown && fixMode == kFixFlip ? 1 : 0);
}

namespace {
bool watch_window_there() { return Frame.Children.windows[kChildWatch] != nullptr; }
bool inspect_window_possible() { return RequestHooks.openInspectWindow != nullptr; }
}  // namespace

bool TCODEWindow::KeyRefused(u32 key, u16 character, u8 modifiers) const {
  const bool inspect = (key == VK_F1 + 5 && modifiers == 0) || (character == 0x09 && (modifiers & kKeyCtrl) != 0);
  const bool watch = character == 0x17;
  return (inspect && !inspect_window_possible()) || (watch && !watch_window_there());
}

void TCODEWindow::CeWatch(TCommandEnabler& ce) {
  ce.Enable(watch_window_there() && source_view() && stopped() && !busy() && FmtRows.WatchCount < kWatchLimit);
}

void TCODEWindow::CeInspect(TCommandEnabler& ce) {
  ce.Enable(inspect_window_possible() && source_view() && stopped() && !busy());
}

TMDIChild* make_code_window(TMDICltNEW& client, u16 index, std::string_view title) {
  switch (index) {
    case kChildMemo: return make_memo_window(client, index, title);
    case kChildCommand: return new TCMDWindow(client, title);
    case kChildCode:
    case kChildCode1: return new TCODEWindow(client, title);
    default: return nullptr;
  }
}
