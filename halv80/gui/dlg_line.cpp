// The one-line text dialog.
#include "halv80/gui/dlg_line.h"

#include <algorithm>

namespace {

constexpr TSize kClient{380, 100};
constexpr int kFieldTop = 14;

}  // namespace

TLineDialog::TLineDialog(TWindow* parent, std::string_view caption, std::string_view label_text, std::string_view text,
                         int limit, u32 helpContext, const std::vector<std::string>* history)
    : TQNDialog(parent, caption, helpContext, kClient) {
  if (history) {
    combo = AddCombo(101, label_text, kFieldTop, limit);
    dlg_load_history(*combo, *history);
    combo->SetText(text);
    return;
  }
  edit = new TEdit(this, 101, text, 120, kFieldTop, kClient.cx - 130, 24);
  edit->singleLine = true;
  edit->textLimit = std::max(0, limit - 1);
  label = AddLabel(label_text, TRect{10, kFieldTop + 3, 116, kFieldTop + 24}, edit, 100);
}

std::string TLineDialog::EnteredText(std::size_t limit) const {
  std::string text = edit ? edit->GetText() : combo ? combo->GetText() : std::string();
  text.resize(std::min(text.size(), limit));
  return text;
}
