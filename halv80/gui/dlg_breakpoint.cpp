// The software breakpoint dialog.
#include "halv80/gui/dlg_breakpoint.h"

#include <algorithm>

#include "halv80/gui/gui_engine.h"
#include "halv80/gui/win_console.h"

namespace {

constexpr u32 kIdAddress = 100;
constexpr u32 kIdPass = 101;
constexpr u32 kIdCommand = 102;
constexpr u32 kHelpBreak = 662;
constexpr std::size_t kPassChars = 29;     // edit limit 30 with its terminating zero
constexpr std::size_t kCommandChars = 126; // edit limit 127
constexpr std::size_t kArgumentChars = 127;

std::string_view head(std::string_view text, std::size_t n) { return text.substr(0, std::min(text.size(), n)); }

}  // namespace

std::string dlg_break_argument(std::string_view address, std::string_view pass, std::string_view command) {
  std::string text(address);
  text += ',';
  text += head(pass, kPassChars);
  if (!command.empty()) {
    text += ',';
    text += head(command, kCommandChars);
  }
  text.resize(std::min(text.size(), kArgumentChars));
  return text;
}

BreakPointDialog::BreakPointDialog(TWindow* parent)
    : TQNDialog(parent, "ｿﾌﾄｳｪｱﾌﾞﾚｰｸﾎﾟｲﾝﾄの設定", kHelpBreak, TSize{420, 160}) {
  address = AddCombo(kIdAddress, "ｱﾄﾞﾚｽ(&A)", 12);
  dlg_load_history(*address, dlg_history(DlgHistory::BreakAddress));
  pass = new TEdit(this, kIdPass, "1", 120, 44, 120, 24);
  pass->singleLine = true;
  pass->textLimit = int(kPassChars);
  AddLabel("ﾊﾟｽｶｳﾝﾄ(&P)", TRect{10, 47, 116, 68}, pass);
  command = new TEdit(this, kIdCommand, {}, 120, 76, 290, 24);
  command->singleLine = true;
  command->textLimit = int(kCommandChars);
  AddLabel("ｺﾏﾝﾄﾞ(&M)", TRect{10, 79, 116, 100}, command);
}

void BreakPointDialog::CmOk() {
  std::string where;
  PushComboHistory(*address, where);
  dlg_store_history(*address, dlg_history(DlgHistory::BreakAddress));
  const std::string text = dlg_break_argument(where, pass->GetText(), command->GetText());
  const u16 failed = sup_run_core_request(text, CoreRequest::SetBreak);
  TMainWindow::DrawDirtyPanes(RequestCode::None);
  if (failed == 0) CloseWindow(kIdOk);
}

bool dlg_breakpoint_show(TWindow* parent) {
  BreakPointDialog dialog(parent);
  return dialog.RunModal() == kIdOk;
}
