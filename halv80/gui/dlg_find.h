// The search dialog (resource 107, "文字列検索"): a text from the run's
// search history and a direction. Every search of the window program asks
// through dlg_find_show: the code and command windows and the memo.
#pragma once

#include <string>

#include "halv80/gui/dlg_frame.h"

// The owner's search-direction word.
constexpr u16 kFindForward = 0x0001;    // toward the end
constexpr u16 kFindNoBackward = 0x8000; // backward search not offered

class FindDialog : public TQNDialog {
 public:
  // text: the caller's buffer, written on OK; direction: the owner's word,
  // read at opening, set to 0 there, and on OK to 1 (forward) or 0.
  FindDialog(TWindow* parent, std::string& text, u16& direction);
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmOk() override;
  void CmBackward();
  void CmForward();

  TComboBox* combo;
  TRadioButton* backward;  // "先頭へ(&U)"
  TRadioButton* forward;   // "最後へ(&D)"

 private:
  std::string& text_;
  u16& direction_;
};

// Runs the search dialog over `parent`: true when the user asked for a
// search, with the text in `text` and `direction` 1 (forward) or 0.
// An empty text counts as Cancel; Cancel leaves `direction` as it was.
bool dlg_find_show(TWindow* parent, std::string& text, u16& direction);
