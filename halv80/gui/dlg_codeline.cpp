// The line-number dialog of the code window.
#include "halv80/gui/dlg_codeline.h"

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/win_console.h"

namespace {

constexpr int kTextLimit = 30;  // with its terminating zero: 29 characters
constexpr u32 kHelpSourceLine = 659;
constexpr u32 kHelpAddress = 658;

bool source_view() { return Lst.ListingMode == kListingSource; }

}  // namespace

CodeLineDialog::CodeLineDialog(TWindow* parent)
    : TLineDialog(parent, source_view() ? "行番号指定" : "ｱﾄﾞﾚｽ指定", source_view() ? "行番号(&L)" : "ｱﾄﾞﾚｽ(&A)", {},
                  kTextLimit, source_view() ? kHelpSourceLine : kHelpAddress) {}

void CodeLineDialog::CmOk() {
  const std::string text = EnteredText(kTextLimit - 1);
  if (text.empty()) return;  // an empty text does nothing
  const u16 failed = sup_run_core_request(text, CoreRequest::CodeGoTo);
  TMainWindow::DrawDirtyPanes(RequestCode::None);
  if (failed == 0) CloseWindow(kIdOk);
}
