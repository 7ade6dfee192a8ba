// The line-number dialog of the code window.
#include "halv80/gui/dlg_codeline.h"

#include <algorithm>

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/win_console.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_dc.h"

namespace {

constexpr int kTextLimit = 30;  // with its terminating zero: 29 characters
constexpr u16 kCoreCodeGoTo = 8;

constexpr ResponseEntry kCodeLineTable[] = {
    EvCommand<&CodeLineDialog::CmOk>(1),
    EvCommand<&CodeLineDialog::CmCancel>(2),
};

bool source_view() { return Lst.ListingMode == kListingSource; }

}  // namespace

CodeLineDialog::CodeLineDialog(TWindow* parent)
    : TDialog(parent, host_utf8_to_cp932(source_view() ? "行番号指定" : "ｱﾄﾞﾚｽ指定")),
      label(host_utf8_to_cp932(source_view() ? "行番号(&L)" : "ｱﾄﾞﾚｽ(&A)")) {
  edit = new TEdit(this, 101, {}, 110, 12, 180, 26);
  edit->singleLine = true;
  edit->textLimit = kTextLimit - 1;
}

const ResponseEntry* CodeLineDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCodeLineTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void CodeLineDialog::SetupWindow() {
  TDialog::SetupWindow();
  const TRect f = Parent() ? Parent()->GetWindowRect() : TRect{0, 0, 320, 60};
  const int x = std::max(0, f.left + (f.Width() - 320) / 2), y = std::max(0, f.top + (f.Height() - 60) / 2);
  MoveWindow(TRect{x, y, x + 320, y + 50}, false);
}

void CodeLineDialog::Paint(TDC& dc, bool, TRect&) {
  dc.FillRect(GetClientRect(), 0xE0E0E0);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(0);
  dc.TextOut(10, 16, label);
}

void CodeLineDialog::CmOk() {
  std::string text = edit ? edit->GetText() : std::string();
  text.resize(std::min<std::size_t>(text.size(), kTextLimit - 1));
  if (text.empty()) return;  // an empty text does nothing
  const u16 failed = sup_run_core_request(text, kCoreCodeGoTo);
  TMainWindow::DrawDirtyPanes(RequestCode::None);
  if (failed == 0) CloseWindow(1);
}

void CodeLineDialog::CmCancel() { CloseWindow(2); }
