// The application object of the window side: TMDIApp builds the main window
// (MDI client, frame, menu descriptor, icon, the two control bars and the
// status bar) and answers the main menu's commands that concern the bars, the
// window layouts and the child windows.
#pragma once

#include <string_view>

#include "halv80/gui/app_bars.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/win_frame.h"
#include "platform/owl/owl_app.h"

// The dialogs of the main menu that other parts of the window side build. A
// command whose dialog is not there is grey.
struct AppDialogHooks {
  // 406: the program-load dialog with `data`; true on OK, data.fileName the choice.
  bool (*loadDialog)(TWindow& parent, TOpenSaveData& data) = nullptr;
  // 402: the tool-bar settings dialog; true on OK (Frame.ToolBarButtons edited).
  bool (*toolBarDialog)(TWindow& parent) = nullptr;
  // 400: the colour dialog.
  void (*colourDialog)(TWindow& parent) = nullptr;
  // 403: the font dialog for `active`; true when the window took a new font.
  bool (*fontDialog)(TWindow& parent, TMDIChild& active) = nullptr;
  // 510: the event-setting dialog; true on OK.
  bool (*eventDialog)(TWindow& parent) = nullptr;
};
extern AppDialogHooks AppDialogs;

// The framework's application with an empty InitMainWindow.
class QWinApp : public TApplication {
 public:
  explicit QWinApp(std::string_view name) : TApplication(name) {}
  void InitMainWindow() override {}
};

class TMDIApp : public QWinApp {
 public:
  explicit TMDIApp(std::string_view name) : QWinApp(name) {}
  // Runs once before the message loop: builds the main window.
  void InitMainWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;
  void AddEnablerIds(std::vector<u32>& ids) override;

  // 419: hints on the bars on (hintMode 2) or off (1).
  void CmHint();
  void CeHint(TCommandEnabler& ce);
  // 420, 421: the tool bar's or the window bar's direction.
  void CmToolBarDirection() { ToggleBarDirection(0); }
  void CmWindowBarDirection() { ToggleBarDirection(1); }
  void ToggleBarDirection(int bar);
  // 405: WindowResizeMode.
  void CmWindowResize();
  void CeWindowResize(TCommandEnabler& ce);
  // 424-426 load, 427-429 save a user layout.
  void CmLoadLayout1() { prj_read_section(1); }
  void CmLoadLayout2() { prj_read_section(2); }
  void CmLoadLayout3() { prj_read_section(3); }
  void CmSaveLayout1() { prj_write_section(1); }
  void CmSaveLayout2() { prj_write_section(2); }
  void CmSaveLayout3() { prj_write_section(3); }
  // 406: the program-load dialog, then the load; 407: the last program again
  // (program bytes only).
  void CmLoad();
  void CmReload();
  void CeLoad(TCommandEnabler& ce);
  void CeReload(TCommandEnabler& ce);
  // 411, 413-415: run, trace, step, return; 412, 417: come and software break
  // at the code window's cursor. Each is left as the key the engine binds to it.
  void CmGo() { ui_post_run_action(RunAction::Go); }
  void CmCome() { ui_post_run_action(RunAction::Come); }
  void CmTrace() { ui_post_run_action(RunAction::Trace); }
  void CmStep() { ui_post_run_action(RunAction::Step); }
  void CmReturn() { ui_post_run_action(RunAction::Return); }
  void CmSoftwareBreak() { ui_post_run_action(RunAction::SoftwareBreak); }
  void CeRun(TCommandEnabler& ce);
  void CeRunAtCursor(TCommandEnabler& ce);
  // 510: the event-setting dialog; on OK the break list is redrawn.
  void CmEventSetting();
  void CeEventSetting(TCommandEnabler& ce);
  // 465, 481: the break window's hardware break and the history window's
  // real-time trace mode, run by those windows while they exist.
  void CmHardwareBreak() { ForwardToChild(kChildBreak, 465); }
  void CeHardwareBreak(TCommandEnabler& ce) { ce.Enable(ChildAnswers(kChildBreak, 465)); }
  void CmTraceMode() { ForwardToChild(kChildHistory, 481); }
  void CeTraceMode(TCommandEnabler& ce) { ce.Enable(ChildAnswers(kChildHistory, 481)); }
  // 511: ends the debugger and starts the setup program, after a question.
  void CmEnvironmentSetup();
  // 400, 402, 403, 404: the colour, tool-bar, font and options dialogs.
  void CmColour();
  void CeColour(TCommandEnabler& ce) { ce.Enable(AppDialogs.colourDialog != nullptr); }
  void CmToolBarSettings();
  void CeToolBarSettings(TCommandEnabler& ce) { ce.Enable(AppDialogs.toolBarDialog != nullptr); }
  void CmFont();
  void CeFont(TCommandEnabler& ce);
  void CmOptions();
  void CeOptions(TCommandEnabler& ce);
  // 486 contents, 487 keyword search, 488 help on help.
  void CmHelpContents();
  void CmHelpKeyword();
  void CmHelpOnHelp();
  // 416: the forced break (Esc); its enabler arms the heartbeat each time it runs.
  void CmForceBreak();
  void CeForceBreak(TCommandEnabler& ce);
  // 401: stops or starts the heartbeat timer of the primary code window.
  void CmHeartbeatTimer();
  // 530: the About dialog.
  void CmAbout();
  // 531-539, 541-543: bring up child window 0-8, 10-12.
  template <u16 Index>
  void CmActivate() { win_activate_child(Index); }
  // Grey while the window was never made (its class is not there).
  template <u16 Index>
  void CeActivate(TCommandEnabler& ce) { ce.Enable(Frame.Children.windows[Index] != nullptr); }

  TOpenSaveData openFileData;    // the Load command's dialog data
  TMDICltNEW* client = nullptr;  // the MDI client, owned by the frame
  u32 hintMode = 0;              // 1 no tool-bar hints, 2 hints when the mouse enters a button
  QN_Frame* frame = nullptr;     // the main window, owned by the application
  TControlBar* bars[2]{};        // 0 toolBar, 1 windowBar; owned by the frame
  u32 barVertical[2]{};          // 0 toolBarVertical, 1 windowBarVertical: 1 vertical

  TControlBar*& toolBar() { return bars[0]; }
  TControlBar*& windowBar() { return bars[1]; }
  u32& toolBarVertical() { return barVertical[0]; }
  u32& windowBarVertical() { return barVertical[1]; }

 private:
  void InsertBar(int bar);
  // Whether child `index` exists and has a handler for `id`; runs it.
  static bool ChildAnswers(u16 index, u32 id);
  static void ForwardToChild(u16 index, u32 id);
};

// The running application, or null.
TMDIApp* app_current();
// Loads a program through the engine's load request: "L " (flag 0) or "LP "
// (flag 1) and the name. A load error is shown in a box.
void app_load_program(std::string_view name, int flag);
// Starts the setup program for the project file of the current folder, with
// the processor marker when `marker`; false when it could not be started.
bool app_start_setup_program(bool marker);
