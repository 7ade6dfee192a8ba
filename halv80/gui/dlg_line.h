// A small dialog that asks for one line of text: a label and a one-line edit
// field or a history combo box, in the dialog frame. Derived dialogs supply
// the caption, the label, the field's start text and limit, and what OK does.
#pragma once

#include <string>
#include <string_view>

#include "halv80/gui/dlg_frame.h"
#include "platform/owl/owl_edit.h"

class TLineDialog : public TQNDialog {
 public:
  // caption and label: UTF-8 ("&" marks the label's mnemonic). With
  // `history`, the field is a combo box filled from it; else an edit field
  // holding `text`. The field takes at most limit - 1 characters.
  TLineDialog(TWindow* parent, std::string_view caption, std::string_view label, std::string_view text, int limit,
              u32 helpContext, const std::vector<std::string>* history = nullptr);
  // The field's text, cut to `limit` bytes.
  std::string EnteredText(std::size_t limit) const;

  TEdit* edit = nullptr;       // owned as a child window; null with a combo box
  TComboBox* combo = nullptr;  // owned as a child window; null with an edit field
  TStatic* label = nullptr;
};
