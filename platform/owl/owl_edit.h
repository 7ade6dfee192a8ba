// The multi-line edit control and the edit file (an edit control bound to a
// file name). Texts are CP932; positions count characters, a double-byte
// character as one, and a line end as two (CR LF), as the system's edit
// control does. Keys and characters typed into the control reach the
// window's response table first as WM_KEYDOWN, WM_SYSKEYDOWN and WM_CHAR; a
// handler that calls DefaultProcessing (or no handler) lets the control
// edit with them. WM_SETFOCUS and WM_RBUTTONDOWN reach the table as well.
#pragma once

#include <string>
#include <string_view>

#include "platform/owl/owl_window.h"

class TFont;
struct OwlEditQt;

constexpr u32 CM_EDITUNDO = 24321;
constexpr u32 CM_EDITCUT = 24322;
constexpr u32 CM_EDITCOPY = 24323;
constexpr u32 CM_EDITPASTE = 24324;
constexpr u32 CM_EDITDELETE = 24325;
constexpr u32 CM_EDITCLEAR = 24326;

class TEdit : public TWindow {
 public:
  TEdit(TWindow* parent, u32 id, std::string_view text, int x, int y, int w, int h);
  ~TEdit() override;

  std::string GetText() const;          // CP932, lines end in CR LF
  void SetText(std::string_view cp932); // CR LF or LF line ends
  bool IsModified() const;
  void ClearModify();
  void Clear();                         // removes the whole text (an edit: modified)
  // The clipboard's text at the selection.
  void Paste();

  int GetNumLines() const;
  int GetLineFromPos(int pos) const;
  int GetLineIndex(int line) const;     // position of the line's first character
  int GetLineLength(int line) const;    // without its line end
  void GetSelection(int& start, int& end) const;
  void SetSelection(int start, int end);
  // Scrolls the view by `lines` (negative: up).
  void Scroll(int lines);
  void SetFont(const TFont& font);
  // The text and background colours of the control.
  void SetColours(COLORREF text, COLORREF background);
  // The keyboard focus to the control; whether it has it.
  void Focus();
  bool HasEditFocus() const;
  // The focus that the parent window's client area gets goes to the control
  // (for a control that fills its parent).
  void TakeParentFocus();
  // Finds `text` from the selection's end (down) or start (up); selects it.
  bool Search(std::string_view cp932, bool down, bool matchCase);

  // The framework's edit commands: Undo 24321, Cut 24322, Copy 24323, Paste
  // 24324, Delete 24325 (the selection) and Clear 24326 (the whole text),
  // each with an enabler; they reach the control while it has the focus.
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmEditUndo();
  void CmEditCut();
  void CmEditCopy();
  void CmEditPaste() { Paste(); }
  void CmEditDelete();
  void CmEditClear() { Clear(); }
  void CeEditUndo(TCommandEnabler& ce);
  void CeSelection(TCommandEnabler& ce);
  void CeEditPaste(TCommandEnabler& ce);

  i64 DefWindowProc(OwlMessage& msg) override;
  // Set by DefWindowProc for a key message: the control takes the key.
  bool keyPassed = false;
  // A one-line field of a dialog: Enter runs the parent's command 1 (OK) and
  // Esc its command 2 (Cancel); no line ends are typed. Set before Create.
  bool singleLine = false;
  // Characters the control takes at most (0: no limit).
  int textLimit = 0;

 protected:
  void CreateQt() override;
  void SetupWindow() override;

 private:
  friend struct OwlEditQt;
  std::string initialText_;
  TRect initialRect_;
  OwlEditQt* edit_ = nullptr;  // owned by the Qt side
};

// The edit file: reads its file when set up and writes it back on Save.
class TEditFile : public TEdit {
 public:
  // fileName: CP932 in the system's path form; empty: no file.
  TEditFile(TWindow* parent, u32 id, std::string_view text, int x, int y, int w, int h,
            std::string_view fileName);
  const std::string& FileName() const { return fileName_; }
  void SetFileName(std::string_view name) { fileName_ = std::string(name); }
  // Reads the file into the control; false when it cannot be read (the
  // control is then empty).
  bool Read();
  // Writes the text when modified; false when there is no file name or the
  // file cannot be written (the text stays in the control).
  bool Save();
  bool CanClose() override;

  // The search data: text, and flags bit 0 down, bit 2 match case.
  std::string searchText;
  u32 searchFlags = 0;
  // Searches again with the search data.
  bool FindNext();

 protected:
  void SetupWindow() override;

 private:
  std::string fileName_;
};
