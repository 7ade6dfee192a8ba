// The emulator error dialog (resource 183, "QUENDAR ERROR") that start-up
// shows when the emulator or its interface cannot be reached, and the
// program-load dialog of the Load command.
#pragma once

#include <string>
#include <string_view>

#include "halv80/gui/dlg_frame.h"

// THErrDlg's answers: OK, Esc, and "I/F設定" (the interface settings).
constexpr int kErrAnswerOk = 1;
constexpr int kErrAnswerEscape = 2;
constexpr int kErrAnswerInterface = 101;

class THErrDlg : public TDialog {
 public:
  // message: CP932, shown in static 100.
  THErrDlg(TWindow* parent, std::string_view message);
  const ResponseEntry* Find(u32 message, u32 id) override;
  void SetupWindow() override;
  i64 DefWindowProc(OwlMessage& msg) override;
  void CmOk() { CloseWindow(kErrAnswerOk); }
  void CmInterface() { CloseWindow(kErrAnswerInterface); }
  int RunModal();

  TStatic* text;
  static inline THErrDlg* Running = nullptr;

 private:
  std::string message_;
};

// Shows the emulator error over `parent` (may be null): kErrAnswerOk,
// kErrAnswerInterface or kErrAnswerEscape.
int dlg_emulator_error_show(TWindow* parent, std::string_view message);

// The Load command's file-open dialog, centred on the main frame.
class TFileLoadQNDialog : public TFileOpenDialog {
 public:
  TFileLoadQNDialog(TWindow* parent, TOpenSaveData& data) : TFileOpenDialog(parent, data) {}

 protected:
  void EvInitDialog() override;
};

// Asks for the program to load: true with the file (system path form) in
// data.fileName.
bool dlg_load_show(TWindow* parent, TOpenSaveData& data);
