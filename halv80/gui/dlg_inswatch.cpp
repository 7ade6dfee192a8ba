// The inspect-or-watch expression dialog.
#include "halv80/gui/dlg_inswatch.h"

#include <algorithm>

#include "halv80/gui/win_frame.h"
#include "platform/host/host_text.h"

namespace {

constexpr std::size_t kHistoryText = 29;
constexpr std::size_t kHistoryEntries = 30;
constexpr std::size_t kExpressionHistory = 2;

constexpr ResponseEntry kInsWatchTable[] = {
    EvCommand<&InsWatchString::CmOk>(1),
    EvCommand<&InsWatchString::CmCancel>(2),
};

// The newest expression entered, or nothing.
std::string_view last_expression() {
  const std::vector<std::string>& history = Frame.Histories[kExpressionHistory];
  return history.empty() ? std::string_view() : std::string_view(history.front());
}

}  // namespace

void win_push_history(std::vector<std::string>& history, std::string text) {
  text.resize(std::min(text.size(), kHistoryText));
  history.erase(std::remove(history.begin(), history.end(), text), history.end());
  while (history.size() >= kHistoryEntries) history.pop_back();
  history.insert(history.begin(), std::move(text));
}

InsWatchString::InsWatchString(TWindow* parent, u16 inspect, std::string& result)
    : TLineDialog(parent, host_utf8_to_cp932(inspect ? "ｲﾝｽﾍﾟｸﾄ設定" : "ｳｫｯﾁ設定"),
                  host_utf8_to_cp932(inspect ? "ｲﾝｽﾍﾟｸﾄ(&I)" : "ｳｫｯﾁ(&W)"), last_expression(), int(kHistoryText)),
      result_(result) {
  result_.clear();
}

const ResponseEntry* InsWatchString::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kInsWatchTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void InsWatchString::CmOk() {
  const std::string text = EnteredText(kHistoryText);
  if (!text.empty()) win_push_history(Frame.Histories[kExpressionHistory], text);
  result_ = text;
  CloseWindow(1);
}

void InsWatchString::CmCancel() {
  result_.clear();
  CloseWindow(2);
}
