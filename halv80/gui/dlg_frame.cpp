// The dialog frame.
#include "halv80/gui/dlg_frame.h"

#include <algorithm>

#include "halv80/gui/win_frame.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u32 kHelpContextCommand = 1;  // the help engine's context command
constexpr int kMargin = 10;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kLabelWidth = 110;
constexpr int kRowHeight = 24;

std::string cp932(std::string_view utf8) { return host_utf8_to_cp932(utf8); }

}  // namespace

std::vector<std::string>& dlg_history(DlgHistory which) { return Frame.Histories[std::size_t(which)]; }

TRect dlg_centred_rect(const TRect& dialog, const TRect& frame, TSize screen) {
  const int w = dialog.Width(), h = dialog.Height();
  int x = frame.left + (frame.Width() - w) / 2;
  int y = frame.top + (frame.Height() - h) / 2;
  if (x < 0) x = 0;
  else if (x + w > screen.cx) x = screen.cx - w;
  if (y < 0) y = 0;
  else if (y + h > screen.cy) y = screen.cy - h;
  return TRect{x, y, x + w, y + h};
}

TRect dlg_centre_on_main(const TRect& dialog) {
  TWindow* main = Frame.Children.mainFrame;
  const TSize screen = owl_screen_size();
  const TRect frame = main && main->IsCreated() ? main->GetWindowRect() : TRect{0, 0, screen.cx, screen.cy};
  return dlg_centred_rect(dialog, frame, screen);
}

void CentreOnMainWindow(TWindow& dialog) { dialog.MoveWindow(dlg_centre_on_main(dialog.GetWindowRect()), false); }

void win_push_history(std::vector<std::string>& history, std::string text) {
  text.resize(std::min(text.size(), std::size_t(kComboTextLimit - 1)));
  history.erase(std::remove(history.begin(), history.end(), text), history.end());
  while (history.size() >= kHistoryEntryMax) history.pop_back();
  history.insert(history.begin(), std::move(text));
}

void PushComboHistory(TComboBox& combo, std::string& buffer) {
  buffer = combo.GetText();
  buffer.resize(std::min(buffer.size(), std::size_t(kComboTextLimit - 1)));
  std::vector<std::string> items = combo.Items();
  win_push_history(items, buffer);
  combo.SetItems(items);
  combo.SetText(buffer);
}

void dlg_load_history(TComboBox& combo, const std::vector<std::string>& history) { combo.SetItems(history); }

void dlg_store_history(const TComboBox& combo, std::vector<std::string>& history) {
  history = combo.Items();
  if (history.size() > kHistoryEntryMax) history.resize(kHistoryEntryMax);
}

void dlg_show_help(u32 context) { owl_win_help(Frame.HelpFilePath, kHelpContextCommand, context); }

// ---------------------------------------------------------------- TQNDialog

namespace {

constexpr ResponseEntry kFrameTable[] = {
    EvCommand<&TQNDialog::CmOk>(kIdOk),
    EvCommand<&TQNDialog::CmCancel>(kIdCancel),
    EvCommand<&TQNDialog::CmHelp>(kIdHelp),
};

}  // namespace

TQNDialog::TQNDialog(TWindow* parent, std::string_view caption, u32 context, TSize client, std::string_view ok)
    : TDialog(parent, cp932(caption)), helpContext(context), client_(client) {
  const int y = client.cy - kMargin - kButtonHeight;
  int x = client.cx - kMargin - kButtonWidth;
  if (context) {
    helpButton = new TButton(this, kIdHelp, cp932(kHelpText), TRect{x, y, x + kButtonWidth, y + kButtonHeight});
    x -= kButtonWidth + kMargin;
  }
  cancelButton = new TButton(this, kIdCancel, cp932(kCancelText), TRect{x, y, x + kButtonWidth, y + kButtonHeight});
  x -= kButtonWidth + kMargin;
  okButton = new TButton(this, kIdOk, cp932(ok.empty() ? kOkText : ok), TRect{x, y, x + kButtonWidth, y + kButtonHeight},
                         true);
}

const ResponseEntry* TQNDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kFrameTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void TQNDialog::SetupWindow() {
  TDialog::SetupWindow();
  const TRect r = GetWindowRect();
  MoveWindow(TRect{r.left, r.top, r.left + client_.cx, r.top + client_.cy}, false);
  CentreOnMainWindow(*this);
}

i64 TQNDialog::DefWindowProc(OwlMessage& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
      // keys no control took: Enter is OK, Esc is Cancel
      if (msg.wParam == VK_RETURN) return SendMessage(WM_COMMAND, kIdOk);
      if (msg.wParam == VK_ESCAPE) return SendMessage(WM_COMMAND, kIdCancel);
      return 0;
    case WM_CLOSE:
      // the close box and Esc over a button: Cancel
      return SendMessage(WM_COMMAND, kIdCancel);
    default:
      return TDialog::DefWindowProc(msg);
  }
}

int TQNDialog::RunModal() {
  TQNDialog* outer = Running;
  Running = this;
  const int answer = Execute();
  Running = outer;
  return answer == kIdOk ? kIdOk : answer;
}

TStatic* TQNDialog::AddLabel(std::string_view text, const TRect& rect, TWindow* buddy, u32 id) {
  auto* label = new TStatic(this, id, cp932(text), rect);
  label->SetBuddy(buddy);
  return label;
}

TGroupBox* TQNDialog::AddGroup(u32 id, std::string_view text, const TRect& rect) {
  return new TGroupBox(this, id, cp932(text), rect);
}

TCheckBox* TQNDialog::AddCheck(u32 id, std::string_view text, const TRect& rect) {
  return new TCheckBox(this, id, cp932(text), rect);
}

TRadioButton* TQNDialog::AddRadio(u32 id, std::string_view text, const TRect& rect) {
  return new TRadioButton(this, id, cp932(text), rect);
}

TComboBox* TQNDialog::AddCombo(u32 id, std::string_view label, int top, int limit) {
  const int left = kMargin + kLabelWidth;
  auto* combo = new TComboBox(this, id, TRect{left, top, client_.cx - kMargin, top + kRowHeight}, limit);
  AddLabel(label, TRect{kMargin, top + 3, left - 4, top + kRowHeight}, combo);
  return combo;
}
