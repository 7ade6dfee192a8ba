// The emulator error dialog and the program-load dialog.
#include "halv80/gui/dlg_load.h"

#include "platform/host/host_text.h"

namespace {

constexpr u32 kIdText = 100;
constexpr u32 kIdInterface = 101;
constexpr TSize kClient{420, 170};

constexpr ResponseEntry kErrTable[] = {
    EvCommand<&THErrDlg::CmOk>(kErrAnswerOk),
    EvCommand<&THErrDlg::CmInterface>(kIdInterface),
};

}  // namespace

THErrDlg::THErrDlg(TWindow* parent, std::string_view message)
    : TDialog(parent, "QUENDAR ERROR"), message_(message) {
  text = new TStatic(this, kIdText, "Text1", TRect{12, 12, kClient.cx - 12, kClient.cy - 50});
  new TButton(this, kErrAnswerOk, "OK", TRect{kClient.cx - 200, kClient.cy - 38, kClient.cx - 110, kClient.cy - 12},
              true);
  new TButton(this, kIdInterface, host_utf8_to_cp932("I/F設定"),
              TRect{kClient.cx - 100, kClient.cy - 38, kClient.cx - 10, kClient.cy - 12});
}

const ResponseEntry* THErrDlg::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kErrTable, message, id)) return e;
  return TDialog::Find(message, id);
}

void THErrDlg::SetupWindow() {
  TDialog::SetupWindow();
  text->SetText(message_);
  // shown before the main frame is usable: centred on the screen
  const TSize screen = owl_screen_size();
  const TRect r = dlg_centred_rect(TRect{0, 0, kClient.cx, kClient.cy}, TRect{0, 0, screen.cx, screen.cy}, screen);
  MoveWindow(r, false);
}

i64 THErrDlg::DefWindowProc(OwlMessage& msg) {
  // Esc (and the close box): the dialog ends with 2 and nothing else
  if ((msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) || msg.message == WM_CLOSE) {
    CloseWindow(kErrAnswerEscape);
    return 0;
  }
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
    CmOk();
    return 0;
  }
  return TDialog::DefWindowProc(msg);
}

int THErrDlg::RunModal() {
  THErrDlg* outer = Running;
  Running = this;
  const int answer = Execute();
  Running = outer;
  return answer;
}

int dlg_emulator_error_show(TWindow* parent, std::string_view message) {
  THErrDlg dialog(parent, message);
  return dialog.RunModal();
}

void TFileLoadQNDialog::EvInitDialog() {
  const TRect r = GetWindowRect();
  MoveWindow(dlg_centre_on_main(r));
}

bool dlg_load_show(TWindow* parent, TOpenSaveData& data) {
  TFileLoadQNDialog dialog(parent, data);
  return dialog.Execute() == 1;
}
