// The window side's entry: app_main refuses a second instance, takes the -D
// working folder and an @ response file off the command line, leaves the rest
// (upper-cased) in StartupArgs for the command side, and runs the application.
// It writes ProgramFolder and StartupArgs before the message loop starts; both
// live in the engine's state (Sw.ProgramFolder, Cmd.StartupArgs).
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

class TStatusBar;

// The name of the single-instance lock, which is also the frame's caption.
constexpr const char* kInstanceName = "QUENDAR-RZ7(80)/W32";
constexpr const char* kAppName = "QN_WIN";

struct AppState {
  u8 ToolBarFlags = 0;   // bit 0 tool bar shown, 1 vertical, 2 window bar shown, 3 vertical
  u8 StatusBarShown = 0; // nonzero: the status bar is shown
  TStatusBar* StatusBar = nullptr;  // the frame's status bar once built
};
extern AppState App;

void app_reset_state();

// The framework's entry, given the program's arguments in the system's form
// (argv[0] the program file's path, the rest CP932). Returns -1 when another
// instance runs or an option lacks its closing quote, else the result of
// running the application.
int app_main(int argc, char** argv);
// Appends the text of response file `name` (CP932) and one blank to
// StartupArgs. An unreadable file is reported in a box; start-up goes on.
void app_read_response_file(std::string_view name);
