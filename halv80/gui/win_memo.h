// The memo window: a notepad inside the debugger whose text lives in the file
// "Memo.QN" of the working folder, read when the window is made and written
// back when it closes (or on F3). TMemoWindow is the character-cell window
// that gives placement, colours, font and the window keys; TEditMemo, the
// edit control filling it, does the editing with WordStar caret keys.
#pragma once

#include <string_view>

#include "halv80/gui/win_cells.h"
#include "platform/owl/owl_edit.h"

// True when the engine's start-up could neither open nor create "Memo.QN":
// the memo then has no file and is never saved on close.
bool win_memo_file_unusable();

class QEditFile : public TEditFile {
 public:
  QEditFile(TWindow* parent, u32 id, std::string_view text, int x, int y, int w, int h, std::string_view fileName)
      : TEditFile(parent, id, text, x, y, w, h, fileName) {}
};

class TMemoWindow;

class TEditMemo : public QEditFile {
 public:
  explicit TEditMemo(std::string_view fileName);
  const ResponseEntry* Find(u32 message, u32 id) override;
  // A modified text is saved unless the memo has no usable file; closing is
  // always allowed.
  bool CanClose() override;

  void EvKeyDown(u32 key, u32 repeat, u32 flags);
  void EvSysKeyDown(u32 key, u32 repeat, u32 flags);
  void EvChar(u32 character, u32 repeat, u32 flags);
  void EvSetFocus(TWindow* other);
  // The text goes to its file before the control is gone.
  void EvDestroy();
  void EvRButtonDown(u32 modifiers, const TPoint& point);
  void CmPaste() { Paste(); }
  void CePaste(TCommandEnabler& ce);
  // F4: the search with the program's search text, from the caret, in the
  // memo window's direction, case-sensitive.
  void CmFind();
  // Ctrl+F4: again with the program's last search text.
  void CmFindNext();
  void CeFindNext(TCommandEnabler& ce);

  TMemoWindow* memo = nullptr;

 private:
  // The WordStar caret keys Ctrl+E, X, R, C, D, S.
  void MoveCaret(u32 character);
};

class TMemoWindow : public TQNWindow {
 public:
  TMemoWindow(TMDIClient& client, std::string_view title, TEditMemo* editor);
  ~TMemoWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void UpdateLayout(u32 sizeType, const TSize& size) override;
  void SetupWindow() override;

  void EvSetFocus(TWindow* other);
  // The edit commands of the memo, run by its editor.
  void CmPaste() { if (editor) editor->CmPaste(); }
  void CePaste(TCommandEnabler& ce) { if (editor) editor->CePaste(ce); }
  void CmFind() { if (editor) editor->CmFind(); }
  void CmFindNext() { if (editor) editor->CmFindNext(); }
  void CeFindNext(TCommandEnabler& ce) { if (editor) editor->CeFindNext(ce); }
  // The editor painted in the window's layout colours.
  void ApplyColours();

  TEditMemo* editor = nullptr;  // owned as a child window
};

TMDIChild* make_memo_window(TMDICltNEW& client, u16 index, std::string_view title);
