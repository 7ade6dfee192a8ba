// A small dialog that asks for one line of text: a label and a one-line edit
// control, centred over its parent, drawn on the dialog itself. Derived
// dialogs supply the caption, the label, the edit's start text and limit,
// and what OK does.
#pragma once

#include <string>
#include <string_view>

#include "platform/owl/owl_edit.h"
#include "platform/owl/owl_window.h"

class TLineDialog : public TDialog {
 public:
  // `caption` and `label` in CP932; the edit holds at most `limit` bytes.
  TLineDialog(TWindow* parent, std::string_view caption, std::string label, std::string_view text, int limit);
  void SetupWindow() override;
  void Paint(TDC& dc, bool erase, TRect& rect) override;
  // The edit's text, cut to `limit` bytes.
  std::string EnteredText(std::size_t limit) const;

  TEdit* edit = nullptr;  // owned as a child window
  std::string label;      // CP932
};
