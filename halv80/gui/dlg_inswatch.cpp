// The inspect-or-watch expression dialog.
#include "halv80/gui/dlg_inswatch.h"

namespace {

constexpr u32 kHelpInspect = 660;
constexpr u32 kHelpWatch = 661;

// The newest expression entered, or nothing: the combo box opens showing it.
std::string_view last_expression() {
  const std::vector<std::string>& history = dlg_history(DlgHistory::Expression);
  return history.empty() ? std::string_view() : std::string_view(history.front());
}

}  // namespace

InsWatchString::InsWatchString(TWindow* parent, u16 inspect, std::string& result)
    : TLineDialog(parent, inspect ? "ｲﾝｽﾍﾟｸﾄ設定" : "ｳｫｯﾁ設定", inspect ? "ｲﾝｽﾍﾟｸﾄ(&I)" : "ｳｫｯﾁ(&W)", last_expression(),
                  kComboTextLimit, inspect ? kHelpInspect : kHelpWatch, &dlg_history(DlgHistory::Expression)),
      result_(result) {
  result_.clear();
}

void InsWatchString::CmOk() {
  std::string text;
  PushComboHistory(*combo, text);
  if (!text.empty()) dlg_store_history(*combo, dlg_history(DlgHistory::Expression));
  result_ = text;
  CloseWindow(kIdOk);
}

void InsWatchString::CmCancel() {
  result_.clear();
  CloseWindow(kIdCancel);
}
