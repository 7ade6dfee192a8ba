// The memo window and its editor.
#include "halv80/gui/win_memo.h"

#include <algorithm>

#include "halv80/gui/app_mdi.h"
#include "halv80/gui/dlg_find.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u32 kCmPaste = 409;
constexpr u32 kCmFind = 482;
constexpr u32 kCmFindNext = 483;
constexpr u16 kDirectionForward = 1;

constexpr ResponseEntry kEditMemoTable[] = {
    EvMessage<WM_SYSKEYDOWN, &TEditMemo::EvSysKeyDown>(),
    EvMessage<WM_KEYDOWN, &TEditMemo::EvKeyDown>(),
    EvMessage<WM_CHAR, &TEditMemo::EvChar>(),
    EvMessage<WM_SETFOCUS, &TEditMemo::EvSetFocus>(),
    EvMessage<WM_RBUTTONDOWN, &TEditMemo::EvRButtonDown>(),
    EvMessage<WM_DESTROY, &TEditMemo::EvDestroy>(),
    EvCommand<&TEditMemo::CmPaste>(kCmPaste),
    EvCommandEnable<&TEditMemo::CePaste>(kCmPaste),
    EvCommand<&TEditMemo::CmFind>(kCmFind),
    EvCommand<&TEditMemo::CmFindNext>(kCmFindNext),
    EvCommandEnable<&TEditMemo::CeFindNext>(kCmFindNext),
};

constexpr ResponseEntry kMemoTable[] = {
    EvMessage<WM_SETFOCUS, &TMemoWindow::EvSetFocus>(),
    EvCommand<&TMemoWindow::CmPaste>(kCmPaste),
    EvCommandEnable<&TMemoWindow::CePaste>(kCmPaste),
    EvCommand<&TMemoWindow::CmFind>(kCmFind),
    EvCommand<&TMemoWindow::CmFindNext>(kCmFindNext),
    EvCommandEnable<&TMemoWindow::CeFindNext>(kCmFindNext),
};

}  // namespace

bool win_memo_file_unusable() { return Saved.MemoAvailable == 0; }

// ---------------------------------------------------------------- the editor

TEditMemo::TEditMemo(std::string_view fileName) : QEditFile(nullptr, 0, {}, 0, 0, 0, 0, fileName) {
  searchFlags = 5;  // down, match case
}

const ResponseEntry* TEditMemo::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kEditMemoTable, message, id)) return e;
  return QEditFile::Find(message, id);
}

bool TEditMemo::CanClose() {
  if (IsModified() && !win_memo_file_unusable()) Save();
  return true;
}

void TEditMemo::EvKeyDown(u32 key, u32 repeat, u32 flags) {
  const u16 mask = win_modifier_mask();
  const bool ctrl = (mask & kKeyCtrl) != 0;
  if (ctrl && memo) {
    // the window keys of the memo window first
    memo->KeyDown(key, repeat, flags);
    if (memo->lastModifiers == (kKeyCtrl | kKeyAlt)) return;
    if (key == VK_DELETE) {
      Clear();
      return;
    }
  }
  switch (key) {
    case VK_F1: win_toggle_maximize(); return;
    case VK_F1 + 1: win_cycle_focus(ctrl ? 1 : 0); return;
    case VK_F1 + 2: Save(); return;
    case VK_F1 + 3:
      if (ctrl) CmFindNext();
      else CmFind();
      return;
    case VK_F1 + 4: ui_post_run_action(RunAction::Go); return;
    case VK_F1 + 7: ui_post_run_action(RunAction::Trace); return;
    case VK_F10:
      if (mask == kKeyAlt && memo) memo->SendMessage(WM_RBUTTONDOWN, 0xFFFF, 0);  // the context menu
      else ui_post_run_action(RunAction::Step);
      return;
    case VK_HOME:
    case VK_CLEAR: {
      // the code window that last had the focus
      const ChildWindowTable& t = Frame.Children;
      for (u16 i = kChildCode; i <= kChildCode1; ++i)
        if (t.windows[i] && t.windows[i] == t.consoleWindow) win_activate_child(i);
      return;
    }
    default:
      DefaultProcessing();
      return;
  }
}

void TEditMemo::EvSysKeyDown(u32 key, u32 repeat, u32 flags) {
  if (win_modifier_mask() == (kKeyCtrl | kKeyAlt) || key == VK_F10 || key == VK_F1 + 5) {
    EvKeyDown(key, repeat, flags);
    return;
  }
  DefaultProcessing();
}

void TEditMemo::EvChar(u32 character, u32, u32) {
  switch (u8(character)) {
    case 0x1B: ui_post_run_action(RunAction::ForceBreak); return;
    case 0x02: win_cycle_focus(1); return;
    case 0x0F: win_cycle_focus(0); return;
    case 0x06: CmFind(); return;
    case 0x0C: CmFindNext(); return;
    case 0x11: return;
    case 0x05: case 0x18: case 0x12: case 0x03: case 0x04: case 0x13:
      MoveCaret(u8(character));
      return;
    default:
      DefaultProcessing();
      return;
  }
}

void TEditMemo::MoveCaret(u32 character) {
  int pos = 0, end = 0;
  GetSelection(pos, end);
  int line = GetLineFromPos(pos);
  const int column = pos - GetLineIndex(line);
  const int lines = GetNumLines();
  const u16 rows = memo ? memo->rows : 1;
  const int page = rows >= 2 ? rows - 1 : rows;
  switch (character) {
    case 0x05:  // Ctrl+E: up
      if (line == 0) return;
      --line;
      break;
    case 0x18:  // Ctrl+X: down
      if (line >= lines - 1) return;
      ++line;
      break;
    case 0x12:  // Ctrl+R: page up
      line = std::max(line - page, 0);
      Scroll(-page);
      break;
    case 0x03:  // Ctrl+C: page down
      line = std::min(line + page, lines - 1);
      Scroll(page);
      break;
    case 0x04:  // Ctrl+D: right, over the line end at a line's end
      pos += column >= GetLineLength(line) ? 2 : 1;
      SetSelection(pos, pos);
      return;
    case 0x13:  // Ctrl+S: left, over the line end at a line's start
      if (pos == 0) return;
      pos -= column == 0 ? 2 : 1;
      SetSelection(std::max(pos, 0), std::max(pos, 0));
      return;
    default:
      return;
  }
  pos = GetLineIndex(line) + std::min(column, GetLineLength(line));
  SetSelection(pos, pos);
}

void TEditMemo::EvSetFocus(TWindow*) {
  // the editor always shows the font chosen for the memo window
  if (memo && memo->font) SetFont(*memo->font);
  DefaultProcessing();
}

void TEditMemo::EvDestroy() {
  CanClose();
  DefaultProcessing();
}

void TEditMemo::EvRButtonDown(u32 modifiers, const TPoint& point) {
  if (memo) memo->SendMessage(WM_RBUTTONDOWN, modifiers, owl_make_long(u16(point.x), u16(point.y)));
}

void TEditMemo::CePaste(TCommandEnabler& ce) { ce.Enable(!owl_clipboard_text().empty()); }

void TEditMemo::CmFind() {
  // the search dialog: its text becomes the program's search text, its
  // direction the memo window's
  std::string text = win_search_text();
  u16 direction = memo ? memo->searchDirection : kDirectionForward;
  const bool asked = dlg_find_show(this, text, direction);
  if (memo) memo->searchDirection = direction;
  if (!asked) return;
  win_set_search_text(text);
  searchText = text;
  searchFlags = (direction & kFindForward) ? (searchFlags | 1) : (searchFlags & ~1u);
  FindNext();
}

void TEditMemo::CmFindNext() {
  searchText = win_search_text();
  FindNext();
}

void TEditMemo::CeFindNext(TCommandEnabler& ce) { ce.Enable(!win_search_text().empty()); }

// ---------------------------------------------------------------- the window

TMemoWindow::TMemoWindow(TMDIClient& client, std::string_view title, TEditMemo* edit)
    : TQNWindow(client, title), editor(edit) {
  windowIndex = kChildMemo;
  ApplyPlacement(0);
  if (editor) {
    editor->SetParent(this);
    editor->memo = this;
  }
}

TMemoWindow::~TMemoWindow() = default;

const ResponseEntry* TMemoWindow::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kMemoTable, message, id)) return e;
  return TQNWindow::Find(message, id);
}

void TMemoWindow::SetupWindow() {
  TQNWindow::SetupWindow();
  if (editor && !editor->IsCreated()) editor->Create();
  if (editor) editor->TakeParentFocus();
  ApplyColours();
}

void TMemoWindow::ApplyColours() {
  if (!editor) return;
  editor->SetColours(COLORREF(Layout().textColour) & 0xFFFFFF, COLORREF(Layout().backgroundColour) & 0xFFFFFF);
  if (font) editor->SetFont(*font);
}

void TMemoWindow::UpdateLayout(u32 sizeType, const TSize& size) {
  TQNWindow::UpdateLayout(sizeType, size);
  if (!editor || sizeType == SIZE_MINIMIZED) return;
  editor->MoveWindow(GetClientRect());
  ApplyColours();
}

void TMemoWindow::EvSetFocus(TWindow*) {
  if (editor) editor->Focus();
}

TMDIChild* make_memo_window(TMDICltNEW& client, u16, std::string_view title) {
  auto* editor = new TEditMemo(win_memo_file_unusable() ? std::string_view() : kMemoFileName);
  (void)title;  // the memo window has an empty title
  return new TMemoWindow(client, {}, editor);
}
