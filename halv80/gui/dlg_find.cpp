// The search dialog.
#include "halv80/gui/dlg_find.h"

namespace {

constexpr u32 kIdText = 100;
constexpr u32 kIdDirection = 101;
constexpr u32 kIdBackward = 102;
constexpr u32 kIdForward = 103;
constexpr u32 kHelpFind = 652;

constexpr ResponseEntry kFindTable[] = {
    EvCommand<&FindDialog::CmBackward>(kIdBackward),
    EvCommand<&FindDialog::CmForward>(kIdForward),
};

}  // namespace

FindDialog::FindDialog(TWindow* parent, std::string& text, u16& direction)
    : TQNDialog(parent, "文字列検索", kHelpFind, TSize{400, 150}, "検索(&N)"), text_(text), direction_(direction) {
  combo = AddCombo(kIdText, "文字列(&F)", 12);
  dlg_load_history(*combo, dlg_history(DlgHistory::Find));
  if (!text.empty()) combo->SetText(text);
  else if (combo->GetCount() > 0) combo->SetText(combo->GetString(0));
  AddGroup(kIdDirection, "方向(&X)", TRect{10, 44, 250, 100});
  backward = AddRadio(kIdBackward, "先頭へ(&U)", TRect{20, 64, 130, 90});
  forward = AddRadio(kIdForward, "最後へ(&D)", TRect{135, 64, 245, 90});
  // the backward search only where the owner offers it
  backward->EnableWindow((direction & kFindNoBackward) == 0);
  (direction & kFindForward ? forward : backward)->SetCheck(BF_CHECKED);
  direction_ = 0;
}

const ResponseEntry* FindDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kFindTable, message, id)) return e;
  return TQNDialog::Find(message, id);
}

void FindDialog::CmBackward() {
  backward->SetCheck(BF_CHECKED);
  forward->SetCheck(BF_UNCHECKED);
}

void FindDialog::CmForward() {
  forward->SetCheck(BF_CHECKED);
  backward->SetCheck(BF_UNCHECKED);
}

void FindDialog::CmOk() {
  PushComboHistory(*combo, text_);
  if (text_.empty()) {  // nothing to search for: no history entry either
    CloseWindow(kIdCancel);
    return;
  }
  dlg_store_history(*combo, dlg_history(DlgHistory::Find));
  direction_ = forward->GetCheck() == BF_CHECKED ? kFindForward : 0;
  CloseWindow(kIdOk);
}

bool dlg_find_show(TWindow* parent, std::string& text, u16& direction) {
  const u16 kept = direction;
  FindDialog dialog(parent, text, direction);
  if (dialog.RunModal() == kIdOk && !text.empty()) return true;
  direction = kept;  // a cancelled search leaves the owner's direction as it was
  return false;
}
