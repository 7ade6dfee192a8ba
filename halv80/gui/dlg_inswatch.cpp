// The inspect-or-watch expression dialog.
#include "halv80/gui/dlg_inswatch.h"

#include <algorithm>

#include "halv80/gui/win_frame.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_dc.h"

namespace {

constexpr std::size_t kHistoryText = 29;
constexpr std::size_t kHistoryEntries = 30;
constexpr std::size_t kExpressionHistory = 2;

constexpr ResponseEntry kInsWatchTable[] = {
    EvCommand<&InsWatchString::CmOk>(1),
    EvCommand<&InsWatchString::CmCancel>(2),
};

}  // namespace

void win_push_history(std::vector<std::string>& history, std::string text) {
  text.resize(std::min(text.size(), kHistoryText));
  history.erase(std::remove(history.begin(), history.end(), text), history.end());
  while (history.size() >= kHistoryEntries) history.pop_back();
  history.insert(history.begin(), std::move(text));
}

InsWatchString::InsWatchString(TWindow* parent, u16 inspect, std::string& result)
    : TDialog(parent, host_utf8_to_cp932(inspect ? "ｲﾝｽﾍﾟｸﾄ設定" : "ｳｫｯﾁ設定")),
      label(host_utf8_to_cp932(inspect ? "ｲﾝｽﾍﾟｸﾄ(&I)" : "ｳｫｯﾁ(&W)")),
      result_(result) {
  result_.clear();
  const std::vector<std::string>& history = Frame.Histories[kExpressionHistory];
  edit = new TEdit(this, 101, history.empty() ? std::string_view() : std::string_view(history.front()), 110, 12, 180, 26);
  edit->singleLine = true;
  edit->textLimit = int(kHistoryText);
}

const ResponseEntry* InsWatchString::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kInsWatchTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void InsWatchString::SetupWindow() {
  TDialog::SetupWindow();
  const TRect f = Parent() ? Parent()->GetWindowRect() : TRect{0, 0, 320, 60};
  const int x = std::max(0, f.left + (f.Width() - 320) / 2), y = std::max(0, f.top + (f.Height() - 60) / 2);
  MoveWindow(TRect{x, y, x + 320, y + 50}, false);
}

void InsWatchString::Paint(TDC& dc, bool, TRect&) {
  dc.FillRect(GetClientRect(), 0xE0E0E0);
  dc.SetBkMode(TRANSPARENT);
  dc.SetTextColor(0);
  dc.TextOut(10, 16, label);
}

void InsWatchString::CmOk() {
  std::string text = edit ? edit->GetText() : std::string();
  text.resize(std::min(text.size(), kHistoryText));
  if (!text.empty()) win_push_history(Frame.Histories[kExpressionHistory], text);
  result_ = text;
  CloseWindow(1);
}

void InsWatchString::CmCancel() {
  result_.clear();
  CloseWindow(2);
}
