// The one-line text dialog.
#include "halv80/gui/dlg_line.h"

#include <algorithm>

#include "platform/owl/owl_dc.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 50;

}  // namespace

TLineDialog::TLineDialog(TWindow* parent, std::string_view caption, std::string label_text, std::string_view text,
                         int limit)
    : TDialog(parent, caption), label(std::move(label_text)) {
  edit = new TEdit(this, 101, text, 110, 12, 180, 26);
  edit->singleLine = true;
  edit->textLimit = limit;
}

void TLineDialog::SetupWindow() {
  TDialog::SetupWindow();
  const TRect f = Parent() ? Parent()->GetWindowRect() : TRect{0, 0, kWidth, 60};
  const int x = std::max(0, f.left + (f.Width() - kWidth) / 2), y = std::max(0, f.top + (f.Height() - 60) / 2);
  MoveWindow(TRect{x, y, x + kWidth, y + kHeight}, false);
}

void TLineDialog::Paint(TDC& dc, bool, TRect&) {
  dc.FillRect(GetClientRect(), 0xE0E0E0);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(0);
  dc.TextOut(10, 16, label);
}

std::string TLineDialog::EnteredText(std::size_t limit) const {
  std::string text = edit ? edit->GetText() : std::string();
  text.resize(std::min(text.size(), limit));
  return text;
}
