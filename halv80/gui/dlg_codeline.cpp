// The line-number dialog of the code window.
#include "halv80/gui/dlg_codeline.h"

#include <algorithm>

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/win_console.h"
#include "platform/host/host_text.h"

namespace {

constexpr int kTextLimit = 30;  // with its terminating zero: 29 characters

constexpr ResponseEntry kCodeLineTable[] = {
    EvCommand<&CodeLineDialog::CmOk>(1),
    EvCommand<&CodeLineDialog::CmCancel>(2),
};

bool source_view() { return Lst.ListingMode == kListingSource; }

}  // namespace

CodeLineDialog::CodeLineDialog(TWindow* parent)
    : TLineDialog(parent, host_utf8_to_cp932(source_view() ? "行番号指定" : "ｱﾄﾞﾚｽ指定"),
                  host_utf8_to_cp932(source_view() ? "行番号(&L)" : "ｱﾄﾞﾚｽ(&A)"), {}, kTextLimit - 1) {}

const ResponseEntry* CodeLineDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCodeLineTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void CodeLineDialog::CmOk() {
  const std::string text = EnteredText(kTextLimit - 1);
  if (text.empty()) return;  // an empty text does nothing
  const u16 failed = sup_run_core_request(text, CoreRequest::CodeGoTo);
  TMainWindow::DrawDirtyPanes(RequestCode::None);
  if (failed == 0) CloseWindow(1);
}

void CodeLineDialog::CmCancel() { CloseWindow(2); }
