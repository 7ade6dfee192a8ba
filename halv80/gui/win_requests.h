// The service of the command side's requests: the window-side words the
// requests leave for the heartbeat, the help-context table, the hooks through
// which windows and dialogs built elsewhere take their requests, and the
// window side that the console windows hand to the engine's pump.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "halv80/engine/win_side.h"
#include "platform/owl/owl_window.h"

class TMainWindow;

struct ServiceState {
  u16 pendingViewRequest = 0;   // child index + 1 to activate again after a watch update; 0 none
  std::string PasteBuffer;      // CP932 text of the last paste, kept until the engine typed it
  TMainWindow* Serving = nullptr;  // the console window whose HandleKey runs the command side
  u16 PaneScrolled = 0;         // set when request 5 moved a pane
  std::string MessageLine;      // CP932: a message the command side left for the user; empty none
};
extern ServiceState Service;

// Windows and dialogs of other parts of the window side take their requests
// through these; a null hook leaves the request at its least.
struct ServiceHooks {
  void (*openInspectWindow)() = nullptr;         // request 1: at P1, P2 (MDI client coordinates)
  void (*moduleDialog)(TWindow& parent) = nullptr;   // request 2: reads and writes the request block
  void (*optionsDialog)(TWindow* parent) = nullptr;  // request 18: parent the frame, or none
  void (*systemError)(u16 error) = nullptr;          // a hung target's error word (the re-initialise question)
};
extern ServiceHooks RequestHooks;

// Start-up values of the service's words (the hooks are kept).
void service_reset_state();
// Has the messages that the command side puts on its message line kept for
// the window side (Service.MessageLine).
void service_watch_message_line();

// Help-context numbers by request 14's P1 (0 general, else command token - 0x80).
constexpr std::size_t kHelpContextCount = 112;
constexpr u16 kHelpContextGeneral = 42;
u32 help_context(u32 index);
// The help file opened at the context of index `index`, owner the frame.
void ShowHelpTopic(u32 index);

// Request 11: the message buffer in the error box; at a failed start-up the
// box asks whether to quit.
void win_error_box_request();
// The text the engine left on its message line (a stop reason, the scope at
// the code cursor) in the status bar's message field.
void win_show_message_line(std::string_view cp932);

// The window side of the window program: each request goes to the console
// window that entered the command side.
class GuiWindowSide : public WindowSide {
 public:
  void ServeRequest(RequestCode code) override;
  void ShowPendingError(u16 error) override;
};
extern GuiWindowSide GuiSide;
