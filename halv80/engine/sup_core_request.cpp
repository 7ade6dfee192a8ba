// The core-request dispatcher. A request runs on the window side's stack
// under a pushed restart point; the scanner, radix and abort flag of the
// command in progress are saved around it, so that a request made while a
// command waits leaves that command as it was.
#include "halv80/engine/sup_core_request.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/brk_hardware.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_builtins.h"
#include "halv80/engine/mem_commands.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"

constinit CoreRequestState CoreReq;

namespace {

constexpr u16 kErrLeftoverRequest = 8;

// CoreRequest::Load: the load runs on a line of its own; the line buffer of the
// command in progress comes back whole afterwards.
void request_load(const char* argument) {
  char saved[kCommandLineSize];
  std::memcpy(saved, Cmd.CommandLine, sizeof saved);
  const std::size_t n = strnlen(argument, kCommandLineSize - 1);
  cmd_set_command_line({argument, n});
  Cmd.ScannerCursor += std::min<std::size_t>(2, n);
  // the caller named the program: no question, whatever the operand
  Dbi.NoConfirm = 1;
  dbi_load_command();
  dbi_keep_loader_error();
  std::memcpy(Cmd.CommandLine, saved, sizeof saved);
}

// CoreRequest::Evaluate: a value in radix 16 into P1; after a comma a second one in
// radix 10 into P2.
void request_evaluate() {
  Cmd.Radix = 16;
  Co.Request.p1 = cmd_get_expression();
  cmd_skip_blanks();
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    Cmd.Radix = 10;
    Co.Request.p2 = cmd_get_expression();
  }
  if (Cmd.AbortFlag && Co.PendingError == 0) cmd_error(kMsgAddress);
}

void request_evaluate_handler(const char*) { request_evaluate(); }

// CoreRequest::CodeToPc: the code window at the program counter.
void request_code_to_pc(const char*) { lst_show_pc(); }

// CoreRequest::CodeGoTo: the code window to a line of the shown file (source mode: the
// argument is all digits) or to an address.
void request_code_goto(const char* argument) {
  const char* p = sup_skip_blanks(argument);
  if (Lst.ListingMode == kListingSource) {
    u32 line = 0;
    const char* q = p;
    while (*q >= '0' && *q <= '9' && line <= 0xFFFF) line = line * 10 + u32(*q++ - '0');
    if (q == p || *sup_skip_blanks(q) != '\0' || line == 0 || line > 0xFFFF) {
      cmd_error(kMsgData);
      return;
    }
    lst_show_source_line(Lst.SourceFile, u16(line));
    return;
  }
  const u32 address = cmd_get_expression();
  if (Cmd.AbortFlag) {
    if (Co.PendingError == 0) cmd_error(kMsgAddress);
    return;
  }
  Lst.ListingAddress = u16(address);
  lst_fill_page();
}
void request_nothing(const char*) {}

// CoreRequest::SetBreak: BP with the argument as its operands.
void request_break(const char*) { brk_cmd_bp(); }
// CoreRequest::CancelWatch: Y with the argument as its operands.
void request_delete_watch(const char*) { cmd_y_delete_watch(); }

// CoreRequest::WriteMemory: the memory window's entry: the argument read as a value in
// radix P2 is stored at P1 in the size of the display kind in P3 (its unit
// letter B, W, D ...); P4 := the bytes taken.
void request_memory_entry(const char*) {
  const u16 kind = u16(host_ascii_upper(char(Co.Request.p3 & 0xFF)));
  const u16 size = mem_edit_element_size(kind);
  if (size == 0) {
    cmd_error(kMsgData);
    return;
  }
  Cmd.Radix = Co.Request.p2 == 10 ? 10 : 16;
  const u32 value = cmd_get_expression();
  if (Cmd.AbortFlag) {
    if (Co.PendingError == 0) cmd_error(kMsgData);
    return;
  }
  if (!mem_write_element(u16(Co.Request.p1), kind, value)) {
    if (Co.PendingError == 0) cmd_error(kMsgVerify);
    return;
  }
  Co.Request.p4 = size;
}

// CoreRequest::LoadBreaks: the saved breakpoints applied; nothing of their errors is kept.
void request_load_breaks(const char*) {
  brk_load_saved();
  Co.PendingError = 0;
  Cmd.AbortFlag = 0;
}
// CoreRequest::SaveBreaks: the break table saved quietly.
void request_save_breaks(const char*) { brk_save(true); }
// CoreRequest::RedrawCode: the code window's listing drawn again where it stands.
void request_code_window(const char*) {
  if (Lst.PaneShows != kListingNone) lst_refresh();
}
// CoreRequest::TraceToggle: the real-time trace stopped while it records, else started.
void request_trace_toggle(const char*) {
  if (EmuCtl.TraceFrameEnd == 0xFFFFFFFF)
    cmd_ts();
  else
    cmd_tg();
}
// The dialogs' command lines: RTM and EV on the request's own (writable) copy.
void request_trace_mode(const char*) { brk_cmd_rtm(); }
void request_event(const char*) { emu_cmd_event(); }

void run_request(const char* argument, CoreRequest request) {
  const CoreRequestHandler handler = u16(request) < kCoreRequestCount ? CoreReq.Handlers[u16(request)] : nullptr;
  // a request whose area is not there answers like an unknown command
  if (handler == nullptr) {
    cmd_error(kMsgCommandError);
    return;
  }
  handler(argument);
}

}  // namespace

CoreRequestHandler& sup_core_request_handler(CoreRequest request) { return CoreReq.Handlers[u16(request)]; }

void sup_core_request_reset() {
  CoreReq = CoreRequestState{};
  using enum CoreRequest;
  sup_core_request_handler(SetBreak) = request_break;
  sup_core_request_handler(HardwareBreak) = brk_request_apply;
  sup_core_request_handler(Load) = request_load;
  sup_core_request_handler(CancelWatch) = request_delete_watch;
  sup_core_request_handler(Evaluate) = request_evaluate_handler;
  sup_core_request_handler(WriteMemory) = request_memory_entry;
  sup_core_request_handler(SetRegister) = reg_request_set_register;
  sup_core_request_handler(CodeToPc) = request_code_to_pc;
  sup_core_request_handler(CodeGoTo) = request_code_goto;
  sup_core_request_handler(LoadBreaks) = request_load_breaks;
  sup_core_request_handler(SaveBreaks) = request_save_breaks;
  sup_core_request_handler(RedrawCode) = request_code_window;
  sup_core_request_handler(TraceMode) = request_trace_mode;
  sup_core_request_handler(TraceToggle) = request_trace_toggle;
  sup_core_request_handler(ProfileSample) = prof_request_report;
  sup_core_request_handler(Event) = request_event;
  // the numbers between the profiler's and the event's are taken and do nothing
  for (u16 r = u16(ProfileSample) + 1; r < u16(Event); ++r) CoreReq.Handlers[r] = request_nothing;
}

u16 sup_run_core_request(std::string_view argument, CoreRequest request) {
  const u16 saved_abort = Cmd.AbortFlag;
  const char* saved_cursor = Cmd.ScannerCursor;
  const u16 saved_radix = Cmd.Radix;
  const RequestCode saved_code = Co.Request.code;
  Co.Request.code = RequestCode::None;
  CoreReq.InCoreRequest = 1;
  // The scanner reads a copy: it never writes into the caller's text.
  char line[kCommandLineSize];
  const std::size_t n = std::min(argument.size(), sizeof line - 1);
  std::copy_n(argument.data(), n, line);
  line[n] = '\0';
  Cmd.ScannerCursor = line;
  Cmd.AbortFlag = 0;

  bool failed = false;
  {
    RestartScope scope;
    if (Co.PendingError == 0) {
      try {
        run_request(line, request);
        failed = Cmd.AbortFlag != 0;
      } catch (const CommandUnwind&) {
        failed = true;
      }
    } else {
      failed = true;
    }
  }

  CoreReq.InCoreRequest = 0;
  Cmd.Radix = saved_radix;
  Cmd.ScannerCursor = saved_cursor;
  Cmd.AbortFlag = saved_abort;
  if (!failed && Co.PendingError == 0) {
    if (Co.Request.code != RequestCode::None) {
      // the request asked the window side for work that nobody will serve
      sup_record_error(kErrLeftoverRequest, 1);
      host_beep();
    }
    Co.Request.code = saved_code;
    sup_reset_appended();
    return 0;
  }
  // The failure becomes the error the window side shows: the message the
  // request failed with, else the plain data error.
  const u16 pending = Co.PendingError;
  if (pending == 0)
    sup_record_error(kMsgData, 0);
  else if (pending < kErrStatusBase)
    sup_record_error(u16(pending - 1), 0);  // a message number + 1: reported as kind 0
  // any other coding stands as the error already
  Co.Request.code = saved_code;
  sup_reset_appended();
  return 1;
}

void cmd_help() {
  Co.Request.p1 = 0;
  cmd_skip_blanks();
  std::string word;
  for (const char* p = Cmd.ScannerCursor; u8(*p) > 0x20 && word.size() < 16; ++p) word += host_ascii_upper(*p);
  if (!word.empty())
    for (const BuiltinDefinition& d : mac_builtin_table())
      if (word == d.name) {
        Co.Request.p1 = d.token >= 0x80 ? u32(d.token - 0x80) : 0;
        break;
      }
  co_post_request(RequestCode::Help);
}

std::string sup_project_break_text(std::string_view text) {
  if (text.empty()) {
    brk_save(true);
    if (SymStore.SavedBreakpoints == kNoName) return {};
    std::string saved(kCommandLineSize * 64, '\0');
    saved.resize(sym_store_copy(SymStore.SavedBreakpoints, reinterpret_cast<u8*>(saved.data()), saved.size()));
    while (!saved.empty() && saved.back() == '\0') saved.pop_back();
    return saved;
  }
  std::string stored(text);
  stored += '\0';  // stored with its terminator
  SymStore.SavedBreakpoints = sym_store_blob(stored.size(), stored.data());
  return {};
}

std::string sup_load_startup_program(std::string_view name, bool code_only) {
  std::string command = code_only ? "LP " : "L ";
  command.append(name.substr(0, std::min(name.size(), kCommandLineSize - command.size() - 1)));
  if (sup_run_core_request(command, CoreRequest::Load) == 0) return {};
  const u16 error = Co.PendingError;
  Co.PendingError = 0;
  if (error == 0 || (error & kErrHighCoding) != 0) return {};
  std::string text = sup_pending_error_text(error);
  if (!text.empty() && text.front() == '\n') text.erase(0, 1);
  text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
  return text;
}
