// The command window, its paste buffer and the history and symbol list dialog.
#include "halv80/gui/win_command.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "halv80/engine/con_editor.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/win_requests.h"
#include "platform/owl/owl_dc.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u32 kSelectedRowColour = 0x00800000;  // navy (0x00BBGGRR), behind white text

constexpr u32 kCmPaste = 409;
constexpr u32 kCmHistory = 484;
constexpr u32 kCmSymbolExtension = 485;
constexpr u16 kStrHistoryCaption = 1019;
constexpr u16 kStrSymbolCaption = 1020;
constexpr std::size_t kHistoryPrefix = 5;  // "%3d: "
constexpr int kListRowsShown = 12;

constexpr ResponseEntry kCommandTable[] = {
    EvCommand<&TCMDWindow::CmHistory>(kCmHistory),
    EvCommandEnable<&TCMDWindow::CeAlways>(kCmHistory),
    EvCommand<&TCMDWindow::CmSymbolExtension>(kCmSymbolExtension),
    EvCommandEnable<&TCMDWindow::CeAlways>(kCmSymbolExtension),
    EvCommand<&TMainWindow::CmPaste>(kCmPaste),
    EvCommandEnable<&TCMDWindow::EnablePaste>(kCmPaste),
};

constexpr ResponseEntry kListTable[] = {
    EvMessage<WM_KEYDOWN, &HistSymExtDialog::EvKeyDown>(),
    EvMessage<WM_LBUTTONDOWN, &HistSymExtDialog::EvLButtonDown>(),
    EvMessage<WM_LBUTTONDBLCLK, &HistSymExtDialog::EvLButtonDblClk>(),
    EvCommand<&HistSymExtDialog::CmOk>(1),
    EvCommand<&HistSymExtDialog::CmCancel>(2),
};

}  // namespace

TCMDWindow::TCMDWindow(TMDIClient& client, std::string_view title) : TMainWindow(client, title, kChildCommand) {}

const ResponseEntry* TCMDWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCommandTable, message, id)) return e;
  return TMainWindow::Find(message, id);
}

void TCMDWindow::HandleKey() {
  TMainWindow::HandleKey();
  // the engine's key cursor went into the code pane: its window takes over
  ChildWindowTable& t = Frame.Children;
  if (Lst.CodeCursorMode == 0 || !t.consoleWindow) return;
  for (u16 i = kChildCode; i <= kChildCode1; ++i)
    if (t.windows[i] == t.consoleWindow && win_active_index() != i) win_activate_child(i);
}

void TCMDWindow::CmHistory() {
  Co.Key.key_code = kKeyF2;
  Co.Key.flags = kKeyShift;
  HandleKey();
}

void TCMDWindow::CmSymbolExtension() {
  Co.Key.key_code = kKeyF6;
  Co.Key.flags = kKeyShift;
  HandleKey();
}

void TCMDWindow::EnablePaste(TCommandEnabler& ce) {
  ce.Enable(!owl_clipboard_text().empty() && (Co.WaitKind & kWaitBitBusy) == 0);
}

void TCMDWindow::ShowListDialog() {
  RequestBlock& q = Co.Request;
  char* buffer = static_cast<char*>(q.p3_ptr);
  HistSymExtDialog dialog(this, q.p1 != 0);
  dialog.Collect(buffer ? q.p2 : 0, buffer);
  std::string chosen;
  if (buffer && dialog.Run(chosen) == kDialogOk) {
    const std::size_t n = std::min(chosen.size(), kEditBufferSize - 1);
    std::memcpy(buffer, chosen.data(), n);
    buffer[n] = '\0';
  } else {
    q.p3_ptr = nullptr;  // cancelled: the engine keeps its line
  }
  // modifier releases while the dialog was open never reached the engine
  Co.Key.flags = u8(win_modifier_mask());
}

void win_free_consumed_paste() {
  if (!Service.PasteBuffer.empty() && Sup.TypedText == nullptr) std::string().swap(Service.PasteBuffer);
}

bool win_paste_pending() { return !Service.PasteBuffer.empty(); }

// ------------------------------------------------------------ the list dialog

HistSymExtDialog::HistSymExtDialog(TWindow* parent, bool historyMode)
    : TDialog(parent, res_string(historyMode ? kStrHistoryCaption : kStrSymbolCaption)), history(historyMode) {}

const ResponseEntry* HistSymExtDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kListTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void HistSymExtDialog::Collect(u32 count, const char* itemBuffer) {
  items.clear();
  for (u32 i = 0; i < count && itemBuffer; ++i) {
    // the command side puts the next item into its buffer and yields
    co_enter_command_side();
    items.emplace_back(itemBuffer, strnlen(itemBuffer, kEditBufferSize - 1));
  }
  if (history) {
    // The line editor hands the newest line first. The list shows the oldest
    // at the top with the highest number and the newest last, numbered 1 and
    // selected.
    std::reverse(items.begin(), items.end());
    for (std::size_t j = 0; j < items.size(); ++j) {
      char number[16];
      std::snprintf(number, sizeof number, "%3u: ", unsigned(items.size() - j));
      items[j] = number + items[j];
    }
  }
  selected = history && !items.empty() ? int(items.size()) - 1 : 0;
}

int HistSymExtDialog::Run(std::string& chosen) {
  if (items.empty()) return kDialogCancel;
  result.clear();
  HistSymExtDialog* outer = Current;
  Current = this;
  const int answer = Execute();
  Current = outer;
  if (answer != kDialogOk) return kDialogCancel;
  chosen = result;
  return kDialogOk;
}

void HistSymExtDialog::SetupWindow() {
  TDialog::SetupWindow();
  MoveWindow(TRect{100, 100, 500, 100 + 16 * kListRowsShown + 8}, false);
  SetFocus();  // the list takes the keys
}

void HistSymExtDialog::CmOk() {
  if (selected >= 0 && std::size_t(selected) < items.size()) {
    const std::string& item = items[std::size_t(selected)];
    result = history ? item.substr(std::min(item.size(), kHistoryPrefix)) : item;
  }
  CloseWindow(kDialogOk);
}

void HistSymExtDialog::CmCancel() { CloseWindow(kDialogCancel); }

void HistSymExtDialog::Paint(TDC& dc, bool, TRect&) {
  const TRect client = GetClientRect();
  dc.FillRect(client, 0xFFFFFF);
  const int h = 16;
  const int first = std::max(0, selected - kListRowsShown + 1);
  for (int i = first; i < int(items.size()) && (i - first) * h < client.bottom; ++i) {
    const int y = (i - first) * h;
    if (i == selected) dc.FillRect(TRect{0, y, client.right, y + h}, kSelectedRowColour);
    dc.SetTextColor(i == selected ? 0xFFFFFF : 0x000000);
    dc.SetBkMode(1);
    dc.TextOut(4, y, items[std::size_t(i)]);
  }
}

void HistSymExtDialog::EvKeyDown(u32 key, u32, u32) {
  const int last = int(items.size()) - 1;
  switch (key) {
    case VK_UP: selected = std::max(0, selected - 1); break;
    case VK_DOWN: selected = std::min(last, selected + 1); break;
    case VK_HOME: selected = 0; break;
    case VK_END: selected = std::max(0, last); break;
    case VK_RETURN: CmOk(); return;
    case VK_ESCAPE: CmCancel(); return;
    default: return;
  }
  Invalidate();
}

void HistSymExtDialog::EvLButtonDown(u32, const TPoint& point) {
  const int first = std::max(0, selected - kListRowsShown + 1);
  const int row = first + point.y / 16;
  if (row >= 0 && row < int(items.size())) selected = row;
  Invalidate();
}

void HistSymExtDialog::EvLButtonDblClk(u32 modifiers, const TPoint& point) {
  EvLButtonDown(modifiers, point);
  CmOk();
}
