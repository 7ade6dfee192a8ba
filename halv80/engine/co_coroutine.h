// The command coroutine: the command side (engine and command language) runs
// on a stack of its own beside the window side, and control passes between the
// two only at the named points below. A failing command unwinds to the restart
// point by throwing CommandUnwind; a restart point is a try scope that catches
// it (the command loop in cmd_main, or a RestartScope pushed by a window-side
// caller). No exception ever crosses from one stack to the other, and no side
// switch may happen inside a catch block or a destructor. The command side
// calls the host (files, the clock, the beep) on its own stack: the host does
// not care which stack a call runs on, so nothing borrows the window side's.
#pragma once

#include <cstddef>
#include <memory>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_fiber.h"
#include "platform/host/host_types.h"

#ifndef HALV80_COMMAND_STACK_SIZE
#define HALV80_COMMAND_STACK_SIZE 131072
#endif
constexpr std::size_t kCommandStackSize = HALV80_COMMAND_STACK_SIZE;

// WaitKind: bit 0 the command side waits (the window side stops entering it),
// bit 2 exit, bit 3 busy (commands that need the engine are greyed).
constexpr u16 kWaitBitWaiting = 0x01;
constexpr u16 kWaitBitExit = 0x04;
constexpr u16 kWaitBitBusy = 0x08;
constexpr u16 kWaitRequest = 0;  // a plain yield to have a request served
constexpr u16 kWaitKey = 1;      // waiting for a key
constexpr u16 kWaitExit = 5;     // exited; never entered again
constexpr u16 kWaitBusy = 9;     // a long command keeping the windows alive

constexpr std::size_t kProviderRows = 160;  // one entry per screen row

// The window side's view state that the engine reads and the replies of the
// search request.
struct ViewFields {
  u16 found = 0;              // request 4 reply: 1 when the text was found
  u32 found_row = 0;          // row or line of the hit
  u16 found_column = 0;       // first column of the hit
  u16 found_end_column = 0;   // column after the hit
  u16 visible_rows = 0;       // rows the code window shows
  u16 source_line_count = 0;  // lines of the shown source file
  u16 click_column = 0;       // cell of a click (PseudoKey::Click, DoubleClick)
  u16 click_row = 0;
  u16 list_index = 0;
  u16 code_window = 0;        // the code window index of request 9
  // The line provider's window over the code listing, filled by the requester
  // of a search in assembly rows: the address and kind of each row; the
  // provider produces row provider_row and slides the arrays at their end.
  u16 provider_row = 0;       // the next row to produce
  u16 provider_rows = 0;      // entries in use (at most kProviderRows)
  u16 provider_end = 0;       // 0xFFFF once the listing wrapped past FFFF
  u16 log_restart = 0;        // 1: the command window's next line is counted from the oldest
  u32 provider_address[kProviderRows]{};
  u8 provider_kind[kProviderRows]{};
};

// The exchange record between the two sides. P1..P5 carry numbers; where a
// request hands over memory (requests 1, 2 and 12, and core request 6) the
// pointer travels beside the number, since a 64-bit host cannot put it in a
// 32-bit word.
struct RequestBlock {
  RequestCode code = RequestCode::None;  // the window side resets it after serving
  u16 key_input = 0;        // changes with every keyboard event (window side)
  u16 key_wait_depth = 0;   // nesting of key waits
  u32 p1 = 0, p2 = 0, p3 = 0, p4 = 0, p5 = 0;
  void* p1_ptr = nullptr;   // core request 6: the register name
  void* p2_ptr = nullptr;   // request 2: the sorted order; core request 6: the value text
  void* p3_ptr = nullptr;   // request 12: the edit buffer; the window side clears it to cancel
  void* p4_ptr = nullptr;
  ViewFields view{};
  u16 message_box_mode = 0; // 1: cmd_error shows messages in the error box
  u16 run_flags = 0;
  u8 busy[2]{};             // code-window cursor and scroll busy marks
};

// The key that the window side leaves before it enters the command side.
struct KeyEvent {
  u16 character = 0;     // 0 none
  u16 key_code = 0;      // kKey*; high byte set: a PseudoKey
  u8 flags = 0;          // kKeyShift, kKeyAlt, kKeyCtrl
  u16 source_window = 0; // window index of the key's source
  u16 thumb = 0;         // scroll-thumb position 0..1000
};
constexpr u8 kKeyShift = 0x01;
constexpr u8 kKeyAlt = 0x08;
constexpr u8 kKeyCtrl = 0x10;

struct CoState {
  RequestBlock Request{};
  u16 WaitKind = 0;
  KeyEvent Key{};
  u16 PendingError = 0;          // error word for the window side; it shows and clears it
  u16 ErrorAcknowledged = 0;     // set by the window side after showing a pending error
  u16 OnCommandSide = 0;         // 1 while the command side runs
  u16 UnwindIsNormal = 0;        // 1 once the command loop has read its first line
  u16 RestartPushed = 0;         // depth of restart points pushed by window-side callers
  u16 BorrowWhileGuiFlagged = 0; // command code on the command stack with OnCommandSide 0
  u16 Terminating = 0;           // the window side is tearing the command side down
  std::unique_ptr<HostFiber> CommandSide;  // the command side's stack and context
  void (*Main)() = nullptr;      // where the command side starts: cmd_main
  u32 KeepAliveLast = 0;         // tick of the last keep-alive yield
  u32 KeepAliveInterval = 300;   // 300 ms before the first yield, then 100 ms
  u16 KeepAliveAnswer = 0;       // what the last keep-alive yield answered
  u32 WatchdogStart = 0;         // tick at which the reply measurement began
  u16 WatchdogRunning = 0;       // 0: the next call starts measuring
  u32 WatchdogLimit = 1000;      // ms a monitor reply may take
};
extern CoState Co;

// An unwind to the restart point. Not a std::exception, on purpose.
struct CommandUnwind {};

// Window side: allocate the zero-filled command stack and preset the command
// side to start at `main` (cmd_main; tests give their own) on the first entry.
void co_start_command_side(void (*main)() = cmd_main, std::size_t stack_size = kCommandStackSize);
// Window side: unwind a suspended command side (its locals are destroyed) and
// free its stack. Safe to call when nothing was started.
void co_end_command_side();
bool co_command_side_started();

// Window side: run the command side until it yields.
void co_enter_command_side();
// Command side: hand control to the window side; does nothing on the window side.
void co_yield_to_gui();
// Unwinds to the innermost restart point. Does not return.
[[noreturn]] void co_abort_to_main();
// Push and pop of the restart point, nested; a push while one is pushed shows
// "PUSH STACK OVER" first (it marks a caller error) but keeps the outer one.
void co_push_restart();
void co_pop_restart();
bool co_has_saved_restart();

// Sets a request code and yields, so that the window side serves it.
void co_post_request(RequestCode code);
// Yields with a wait kind and picks up the pending key; 1 when a key is pending.
u16 co_wait_gui(u16 kind);
void co_keep_alive_begin();
// Yields (wait kind 9) when more than the interval passed since the last yield;
// returns the last answer (1: a key waits).
u16 co_keep_alive();

// The monitor-reply watchdog.
void sup_watchdog_start();
void sup_watchdog_limit(u32 ms);
// 0 while the reply may still come. When the limit is passed: on the window
// side the pending error 0x320 and an unwind; on the command side 0x8320 for
// the window side and the acknowledgement (1: the user had the emulator reset).
u16 emu_reply_watchdog();

// A pushed restart point around command code run by a window-side caller:
// AbortFlag is cleared for the call and restored after it.
class RestartScope {
 public:
  RestartScope() : saved_abort_(Cmd.AbortFlag) {
    Cmd.AbortFlag = 0;
    co_push_restart();
  }
  ~RestartScope() {
    co_pop_restart();
    Cmd.AbortFlag = saved_abort_;
  }
  RestartScope(const RestartScope&) = delete;
  RestartScope& operator=(const RestartScope&) = delete;

 private:
  u16 saved_abort_;
};

// Runs command code for a window-side caller under a pushed restart point, when
// no error is pending. A failure inside leaves its error in PendingError and
// returns here. Returns true when fn ran to its end.
template <class Fn>
bool co_call_guarded(Fn&& fn) {
  bool completed = false;
  {
    RestartScope scope;
    if (Co.PendingError != 0) return false;
    try {
      fn();
      completed = true;
    } catch (const CommandUnwind&) {
    }
  }
  return completed;
}
