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
};

// The running application, or null.
TMDIApp* app_current();
// Loads a program through the engine's load request: "L " (flag 0) or "LP "
// (flag 1) and the name. A load error is shown in a box.
void app_load_program(std::string_view name, int flag);
// Starts the setup program for the project file of the current folder, with
// the processor marker when `marker`; false when it could not be started.
bool app_start_setup_program(bool marker);
