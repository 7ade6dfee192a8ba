// Every code that crosses between the window side and the command side, named
// once: the key codes and pseudo-keys the window side leaves in the key word,
// the core requests it runs on its own stack, the requests the command side
// leaves in the RequestBlock with what their parameter slots carry, and the
// codings of the error and action words. Both sides use these names; a number
// written at a call site instead is a fault.
#pragma once

#include "platform/host/host_types.h"

// ---------------------------------------------------------------------------
// The key code word (KeyEvent::key_code): keys without a character. Read by
// the key reader (key_input.cpp) through the key maps; left by every window.
constexpr u16 kKeyPageDown = 0x36;
constexpr u16 kKeyPageUp = 0x37;
constexpr u16 kKeyInsert = 0x38;
constexpr u16 kKeyDelete = 0x39;
constexpr u16 kKeyUp = 0x3A;
constexpr u16 kKeyLeft = 0x3B;
constexpr u16 kKeyRight = 0x3C;
constexpr u16 kKeyDown = 0x3D;
constexpr u16 kKeyHome = 0x3E;
constexpr u16 kKeyEnd = 0x3F;
constexpr u16 kKeyF1 = 0x62;  // Fn is kKeyF1 + n - 1, up to F10
constexpr u16 kKeyF2 = 0x63;
constexpr u16 kKeyF5 = 0x66;
constexpr u16 kKeyF6 = 0x67;
constexpr u16 kKeyF7 = 0x68;
constexpr u16 kKeyF8 = 0x69;
constexpr u16 kKeyF9 = 0x6A;
constexpr u16 kKeyF10 = 0x6B;
constexpr u16 kKeyPseudoMask = 0xFF00;  // a word with a high byte is a pseudo-key

// Pseudo-keys: window-side actions that no keyboard has. The window side
// leaves one in the key word and enters the command side; cmd_pseudo_key
// (cmd_pseudo.cpp) runs it and clears the word. The eight listing moves also
// set the code cursor from KeyEvent::source_window. The data windows speak of
// the 0x81xx, 0x83xx and 0x84xx keys without bit 15 and post them with it.
enum class PseudoKey : u16 {
  PageDown = 0x8001,           // the pane one page down: scroll bar
  LineDown = 0x8002,           // one row down: scroll bar, drag past the bottom
  PageUp = 0x8003,             // one page up: scroll bar
  LineUp = 0x8004,             // one row up: scroll bar, drag past the top
  Top = 0x8005,                // to the start: scroll bar, code window's Home
  Bottom = 0x8006,             // to the end: scroll bar, code window's End
  ThumbPosition = 0x8007,      // the view at the dropped thumb (KeyEvent::thumb per mille)
  ThumbTrack = 0x8008,         // the thumb being dragged: the cursor mark only
  ListingUpdate = 0x8009,      // the code pane's cursor and listing after a window-side load
  Click = 0x8010,              // a click at ViewFields::click_column, click_row
  DoubleClick = 0x8011,        // a double click there: inspect at the cursor
  ShowValue = 0x8100,          // inspect the key text (watch and code windows)
  AddWatch = 0x8101,           // add the key text as a watch
  PrintText = 0x8102,          // put the key text on the command line's row
  SourceView = 0x8200,         // code pane: source rows
  AssemblerView = 0x8201,      // code pane: assembler rows
  ChooseModule = 0x8202,       // code pane: the module choice (request ChooseSourceFile)
  SelectionEnded = 0x8203,     // a mouse selection ended: the cursor mark comes back
  SelectionStarted = 0x8204,   // a mouse selection began: the cursor mark goes
  BreakWindowAction = 0x8300,  // the break window's operation in P1 (kBreakRow*)
  JumpToPosition = 0x8400,     // code pane to the "file:line" or ":address" key text
  Exit = 0xFFFF,               // the exit path: state file saved, journal closed
};
constexpr u16 key_word(PseudoKey key) { return u16(key); }

// P1 of PseudoKey::BreakWindowAction: a kind in the high 4 bits and the
// break window's row number (1 first) in the low 8 bits. The kinds reach the
// hardware-break area too (PseudoState::HardwareBreakAction).
constexpr u16 kBreakRowToggle = 0x0000;     // enable or disable that entry
constexpr u16 kBreakRowNoChange = 0x2000;   // nothing changes; the list is redrawn
constexpr u16 kBreakRowAdded = 0x2001;      // after a breakpoint was added
constexpr u16 kBreakRowDelete = 0x4000;     // delete that entry
constexpr u16 kBreakRowDeleteAll = 0x8000;  // delete every entry ("D *")
constexpr u16 kBreakRowKindMask = 0xF000;
constexpr u16 kBreakRowNumberMask = 0x00FF;

// brk_window_row_count: bit 15 set when the break list ends in a hardware row.
constexpr u16 kBreakRowsEndInHardware = 0x8000;

// ---------------------------------------------------------------------------
// Core requests: engine work that the window side runs on its own stack with
// sup_run_core_request(argument text, request), under the engine's error
// trap. The argument becomes the scanner's line for the call; the result is
// 0 when done, 1 after a failure whose error stands in PendingError. Served
// by sup_core_request.cpp through the handlers of the areas that own the
// commands.
enum class CoreRequest : u16 {
  SetBreak = 0,        // BP's operands: address, pass count, command text
  HardwareBreak = 1,   // BH's operands: "D*" or a list of 1, 2, 3, E1, E2, T=, A=, S=
  Load = 2,            // "L name" or "LP name": the load command's body
  CancelWatch = 3,     // the watch number ("*" every watch)
  Evaluate = 4,        // an expression in radix 16 into P1; after a comma one in radix 10 into P2
  WriteMemory = 5,     // the typed data; P1 address, P2 radix, P3 view format; bytes written into P4
  SetRegister = 6,     // register name in p1_ptr, value text in p2_ptr: "_name=value"
  CodeToPc = 7,        // the code pane to the PC's line
  CodeGoTo = 8,        // the code pane to an address or source line given as text
  LoadBreaks = 9,      // the saved breakpoint settings back
  SaveBreaks = 10,     // the breakpoints saved without a message
  RedrawCode = 11,     // redraw the code pane
  TraceMode = 12,      // RTM's operands: mode letter, options, event items
  TraceToggle = 13,    // stop the trace capture while it samples, else restart it
  ProfileSample = 14,  // one profiler sample (the heartbeat, while profiling)
  // 15 to 19 are taken and do nothing.
  Event = 20,          // one EV command line
};
constexpr u16 kCoreRequestCount = 21;  // requests 0..20

// ---------------------------------------------------------------------------
// What the command side asks of the window side: it leaves a code and its
// parameters in the RequestBlock and yields; the window side serves it
// (win_requests.cpp, console_window_side.cpp, the tests' scripted double)
// and clears the code. Every other code is ignored.
enum class RequestCode : u16 {
  None = 0,
  ShowValue = 1,          // inspect window: P1, P2 caret cell; p3_ptr row text, p4_ptr expression
  ChooseSourceFile = 2,   // module choice: P1 count | current << 16, reply chosen << 16 (kNoChoice)
  SearchText = 4,         // search a pane: P1 kSearch*, P2 kSearchOption*, P3 line, P4 column, P5 again
  ScrollPane = 5,         // scroll a pane one row: P1 kPaneCode/kPaneCommand, P2 from, P3 to, P4 rows - 1
  Refresh = 6,            // redraw the command, register and code windows
  BreakListChanged = 7,   // redraw the break list: P1 kBreakList*
  BringCodeWindow = 8,    // activate the code window that agreed to MayShowPosition
  MayShowPosition = 9,    // P1 other file, P2 code window, P3 address; reply in P4 (non-zero: shown)
  WatchListChanged = 10,  // activate child window P1 (the watch window) and reload it
  ErrorBox = 11,          // the message buffer in the "QUENDAR ERROR" box
  PickList = 12,          // history or symbols: P1 kPickList*, P2 count, p3_ptr edit buffer (null: cancelled)
  CaretHint = 13,         // caret form: P1 kHint*
  Help = 14,              // help on topic P1 (0 contents, else a command token - 0x80)
  Paste = 15,             // paste the clipboard into the command line
  PageCopy = 16,          // copy the current page to the clipboard
  Focus = 17,             // focus P1: kFocusNext or kFocusPrevious
  OptionsDialog = 18,     // the options dialog
  Clipboard = 19,         // the message buffer onto the clipboard
  ZoomChild = 20,         // zoom the active child window
  ReloadCodeWindows = 21, // a program was loaded: the code windows re-read their listings
  ScrollThumb = 22,       // a pane's thumb: P1 kThumbCodePane/kThumbCommandPane, P2 per mille
  LineNumberDialog = 23,  // the code window's line-number dialog
  ProjectLayout = 24,     // re-read the window layout from the project file
  CodeToPc = 26,          // the code pane to the PC
  HistoryUpdate = 27,     // the trace history window reloads its rows
  Exit = 100,             // close the main window (P1 kExit*); the command side never runs again
};

// RequestCode::ChooseSourceFile: the chosen position when cancelled.
constexpr u16 kNoChoice = 0xFFFF;

// RequestCode::SearchText P1: where the search runs; P2: its options. The
// window side replies in P2 with kSearchOptionBackward when the user chose it.
constexpr u32 kSearchCommandWindow = 0x0001;
constexpr u32 kSearchSource = 0x0002;
constexpr u32 kSearchAssembly = 0x0004;
constexpr u32 kSearchAgainThree = 0x1000;     // search kind 3: the text again
constexpr u32 kSearchOptionAgain = 0x0001;    // P2: the last text again
constexpr u32 kSearchOptionBackward = 0x0002; // P2: backward
constexpr u32 kSearchAssemblyFlag = 0x8000;   // P2: the search runs over assembly rows

// RequestCode::ScrollPane P1.
constexpr u32 kPaneCommand = 0;
constexpr u32 kPaneCode = 1;
// RequestCode::ScrollThumb P1 (the other way round).
constexpr u32 kThumbCodePane = 0;
constexpr u32 kThumbCommandPane = 1;

// RequestCode::BreakListChanged P1.
constexpr u32 kBreakListChanged = 0;   // an entry was deleted, enabled or disabled
constexpr u32 kBreakListSet = 1;       // a breakpoint was set or listed: cursor on the last entry
constexpr u32 kBreakListHardware = 3;  // an event or the hardware break changed

// RequestCode::PickList P1.
constexpr u32 kPickListSymbols = 0;
constexpr u32 kPickListHistory = 1;

// RequestCode::CaretHint P1.
constexpr u32 kHintNone = 0;
constexpr u32 kHintCtrl = 1;
constexpr u32 kHintShift = 2;
constexpr u32 kHintCtrlShift = 0x8000;  // both held

// RequestCode::Exit P1.
constexpr u32 kExitAsk = 0;            // the window side asks first
constexpr u32 kExitWithoutAsking = 1;  // EXIT !

// RequestCode::Focus P1.
constexpr u32 kFocusNext = 0;
constexpr u32 kFocusPrevious = 1;

// ---------------------------------------------------------------------------
// The error word (PendingError) the window side shows and clears, and the
// window-side action word.
constexpr u16 kErrTextInBuffer = 0x4000;    // the text stands in the message buffer
constexpr u16 kErrBusyBase = 0x8014;        // + N: kind 1 (busy)
constexpr u16 kErrWaitWindowSide = 0x801C;  // kind 2 raised on the window side
constexpr u16 kErrStatusBase = 0x2001;      // + N: kind 3
constexpr u16 kErrHighCoding = 0x8000;      // bit 15: 0x8014 + N, 0x801C, 0x8320: no message number
constexpr u16 kErrCodeMask = 0x7FFF;        // the coding without bit 15
constexpr u16 kErrStatusBit = 0x2000;       // set in kErrStatusBase + N: the status bar's kind
// The reply watchdog's errors.
constexpr u16 kErrorTargetHung = 0x320;
constexpr u16 kErrorTargetHungBusy = 0x8320;  // raised on the command side

constexpr u16 kActionQuit = 1;       // window-side action word: quit
constexpr u16 kActionErrorWait = 9;  // window-side action word: an error waits
