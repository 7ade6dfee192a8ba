// The application object of the window side: TMDIApp builds the main window
// (MDI client, frame, menu descriptor, icon, the two control bars and the status
// bar).
#pragma once

#include <string_view>

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
};
