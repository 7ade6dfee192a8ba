// cmd_main, the command table and dispatcher, and failure reporting.
#include "halv80/engine/cmd_core.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/brk_hardware.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/trc_display.h"
#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/sym_x_command.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_small.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/mem_commands.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/key_bindings.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/def_names.h"
#include "halv80/symbols/fmt_variables.h"
#include "halv80/symbols/rd_program.h"

constinit CmdState Cmd;
constinit CmdLinks Links;

void cmd_reset_state() {
  Cmd = CmdState{};
  Links = CmdLinks{};
  Cmd.ScannerCursor = Cmd.CommandLine;  // not a default: it would point into the temporary
}

void cmd_set_command_line(std::string_view text) {
  const std::size_t n = std::min(text.size(), kCommandLineSize - 1);
  std::memcpy(Cmd.CommandLine, text.data(), n);
  Cmd.CommandLine[n] = '\0';
  Cmd.ScannerCursor = Cmd.CommandLine;
}

namespace {

// MEM is accepted and does nothing.
void cmd_mem() {}

using CommandHandler = void (*)();
struct CommandSlot {
  u8 token;
  CommandHandler run;
};

// ORDER TOKEN: one row per token 0xA0..0xEF, indexed by token - 0xA0. The words
// that reach each token are in the comment; a dash marks a slot no word reaches.
constexpr CommandSlot CommandTable[] = {
    {0xA0, cmd_A},  // A
    {0xA1, brk_cmd_bp},  // BP
    {0xA2, cmd_set_prompt},  // PRMPT
    {0xA3, mem_cmd_dump},  // D DB DW DL DS DD DT
    {0xA4, sym_cmd_x},  // X
    {0xA5, mem_cmd_search},  // S SB SW SL
    {0xA6, mem_cmd_fill},  // F FB FW FL
    {0xA7, cmd_go},  // G
    {0xA8, fmt_cmd_h},  // H
    {0xA9, cmd_backtrace},  // K
    {0xAA, cmd_U},  // U
    {0xAB, mem_cmd_move},  // M
    {0xAC, mem_cmd_port_in},  // PI PIB PIW
    {0xAD, mem_cmd_port_out},  // PO POB POW
    {0xAE, cmd_exit},  // EXIT
    {0xAF, dbi_cmd_load},  // L LP LA
    {0xB0, mem_cmd_edit},  // E EB EW EL ES ED ET
    {0xB1, cmd_trace},  // T
    {0xB2, mem_cmd_compare},  // C
    {0xB3, reg_cmd_r},  // R
    {0xB4, cmd_option},  // OPTION
    {0xB5, cmd_help},  // HELP
    {0xB6, cmd_unknown},  // !
    {0xB7, cmd_unknown},  // -
    {0xB8, cmd_unknown},  // -
    {0xB9, fmt_cmd_print},  // ? VAL
    {0xBA, cmd_ins},  // INS
    {0xBB, cmd_version},  // VER
    {0xBC, cmd_unknown},  // -
    {0xBD, prof_cmd_prof},  // PROF
    {0xBE, cmd_unknown},  // -
    {0xBF, cmd_reset},  // RESET
    {0xC0, brk_cmd_bh},  // BH
    {0xC1, brk_cmd_rtm},  // RTM
    {0xC2, trc_cmd_td},  // TD
    {0xC3, cmd_init},  // INIT
    {0xC4, cmd_unknown},  // FS
    {0xC5, cmd_system_debug_mode},  // %QOR
    {0xC6, cmd_rtc},  // RTC
    {0xC7, cmd_unknown},  // NDP
    {0xC8, cmd_UPUSH},  // UPUSH
    {0xC9, cmd_UPOP},  // UPOP
    {0xCA, cmd_UEND},  // UEND
    {0xCB, def_command},  // DEF #DEFINE
    {0xCC, cmd_radix},  // N
    {0xCD, brk_cmd_manage},  // BE BD BS BL BC
    {0xCE, wr_cmd_write},  // WR
    {0xCF, rd_cmd_read},  // RD
    {0xD0, cmd_mem},      // MEM
    {0xD1, cmd_unknown},  // -
    {0xD2, cmd_time},  // TIME
    {0xD3, cmd_V},  // V
    {0xD4, cmd_unknown},  // -
    {0xD5, cmd_step},  // P
    {0xD6, cmd_w},  // W
    {0xD7, cmd_y_delete_watch},  // Y
    {0xD8, reg_cmd_im},  // IM
    {0xD9, tgt_cmd_mmu},  // MMU
    {0xDA, cmd_unknown},  // IOEM
    {0xDB, cmd_ts},  // TS
    {0xDC, cmd_tg},  // TG
    {0xDD, emu_cmd_event},  // - (the event handler; no word reaches it)
    {0xDE, cmd_unknown},  // -
    {0xDF, cmd_esc},  // ESC
    {0xE0, cmd_unknown},  // -
    {0xE1, cmd_unknown},  // -
    {0xE2, cmd_unknown},  // -
    {0xE3, cmd_unknown},  // -
    {0xE4, cmd_unknown},  // -
    {0xE5, cmd_unknown},  // -
    {0xE6, cmd_unknown},  // -
    {0xE7, cmd_sysc},  // SYSC
    {0xE8, brk_cmd_tm},  // TM
    {0xE9, emu_cmd_event},  // EV
    {0xEA, cmd_unknown},  // BR
    {0xEB, cmd_cd},  // CD
    {0xEC, cmd_dir},  // DIR
    {0xED, cmd_unknown},  // -
    {0xEE, cmd_unknown},  // -
    {0xEF, cmd_unknown},  // -
};
static_assert(std::size(CommandTable) == kLastCommandToken - kFirstCommandToken + 1);
consteval bool rows_in_token_order() {
  for (std::size_t i = 0; i < std::size(CommandTable); ++i)
    if (CommandTable[i].token != kFirstCommandToken + i) return false;
  return true;
}
static_assert(rows_in_token_order());  // a shifted row fails the build

// Start-up, up to the point where the restart point is set; false when it
// failed (the failure was reported).
bool cmd_startup() {
  Cmd.AbortFlag = 0;
  Con.Attribute = kAttrNormal;
  // the command pane's rows come from the split of the screen
  sup_split_screen_panes(kWindowIndexCommand);
  sup_watchdog_limit(1000);
  Cmd.LanguageJapanese = 1;
  sup_start_time_stamp();
  sup_calibrate_delay();

  Cmd.CommandLine[0] = '\0';
  Cmd.ScannerCursor = Cmd.CommandLine;
  std::memcpy(Cmd.SwitchLine, Cmd.StartupArgs, sizeof Cmd.SwitchLine);
  Cmd.SwitchLine[sizeof Cmd.SwitchLine - 1] = '\0';
  std::memset(Cmd.StartupArgs, 0, sizeof Cmd.StartupArgs);

  Sw.SubProcessKbytes = 0;
  Sw.MacroStoreUnits = 2048;
  Sw.SymbolBlockSetting = 0x10000;
  Sw.ToolchainKind = 16;
  Sw.MnemonicSet = 0xFFFF;
  cmd_parse_switches();
  if (!cmd_apply_switches()) return false;
  Cmd.AbortFlag = 0;

  mac_load_builtins();
  if (Links.emulator_startup && Links.emulator_startup(0) != 0) return false;
  // the configured processor family unless the switches chose the mnemonics
  if (Sw.MnemonicSet == 0xFFFF) Sw.MnemonicSet = Cfg.CpuType == kCpu8080 ? 0 : 1;
  con_screen_init();
  if (Links.symbol_store_setup) Links.symbol_store_setup();
  key_journal_open();
  if (Sw.TsukaKeys) key_bindings_use_tsuka();
  Scan.PendingAbort = 0;

  // Clear the command pane and everything above it; the cursor goes to the
  // start of the pane's last row.
  const u16 last_row = u16(Con.Slots[kSlotCommand].bottom - 1);
  con_clear_rows(u16(last_row + 1));
  Cmd.PromptChar = '>';
  con_reset_window();
  con_set_cursor(0, last_row);
  // Until the window side lays out its panes, the command pane takes the
  // lower three-thirteenths of the rows and the code pane the rest.
  Con.Top = u16(last_row * 10 / 13);
  Con.Slots[kSlotCode].bottom = u16(Con.Top - 1);

  Scan.ScreenOutput = 1;
  key_post_cursor_hint();
  cmd_version();
  // The code pane lists the instructions from the listing address (0) from
  // the start, so that its views and the source toggle have a listing.
  lst_set_mode(kListingAssembly);
  lst_redraw_from(kRowInstruction);
  Scan.ScreenOutput = 0;
  if (Links.state_file_load) Links.state_file_load();
  cmd_read_longname();
  return true;
}

// Writes the notices that waited for it, then the prompt unless it already
// stands at the start of the last row.
void cmd_prompt() {
  con_reset_window();
  for (const std::string& notice : Cmd.DeferredNotices) con_puts(notice);
  Cmd.DeferredNotices.clear();
  const u16 last_row = u16(Con.Bottom - 1);
  if (Scan.LastChar == Cmd.PromptChar && Con.Column == 1 && Con.Row == last_row) return;
  if (Scan.LastChar != '\n') con_putc('\n');
  con_set_cursor(0, last_row);
  con_putc(u8(Cmd.PromptChar));
}

}  // namespace

void cmd_main() {
  bool started = false;
  try {
    started = cmd_startup();
  } catch (const CommandUnwind&) {
    // no restart point exists yet: the start-up has failed
  }
  if (!started) {
    Sup.StartupFailure = 1;
    cmd_exit_forever();
  }
  // The restart point: every unwind comes back here.
  for (;;) {
    try {
      run_after_abort();
      mac_reset_line_state();
      for (;;) {
        cmd_prompt();
        con_read_line();
        // a stopped target's channel starts each command empty: nothing a
        // failed command left behind is taken for a reply
        emu_channel_reset();
        Co.UnwindIsNormal = 1;
        cmd_run_line();
      }
    } catch (const CommandUnwind&) {
    }
  }
}

void cmd_dispatch(u16 token) {
  if (Cmd.CommandLine[0] != '\0') {
    Cmd.LastToken = token;
    if (token >= kFirstCommandToken && token <= kLastCommandToken)
      CommandTable[token - kFirstCommandToken].run();
    else
      cmd_unknown();
  }
  // the next command reads a running target afresh
  tgt_cache_empty();
}

void cmd_unknown() {
  Mac.CurrentCommand = 0;
  cmd_error(kMsgCommandError);
}

void cmd_error(u16 n) {
  if (Co.OnCommandSide) {
    if (Co.Request.message_box_mode)
      sup_show_error_box(n, {});
    else
      con_puts(sup_load_message(n));
  } else {
    Co.PendingError = u16(n + 1);
  }
  Cmd.AbortFlag = 1;
}

void cmd_message(u16 n) {
  if (Co.OnCommandSide) con_puts(sup_load_message(n));
}

void cmd_defer_notice(std::string_view text) {
  if (Cmd.DeferredNotices.size() < kDeferredNoticesMax) Cmd.DeferredNotices.emplace_back(text);
}

void cmd_fail(u16 n) {
  con_capture_end();
  Scan.ScreenOutput = 1;
  Mac.Echo = 1;
  cmd_error(n);
  if (n == kMsgCommandError) Cmd.AbortFlag = 0;
  // a redirect file that cannot be completed is reported as well
  if (const u16 failure = redir_close()) cmd_error(failure);
  input_close();
  co_abort_to_main();
}

void cmd_internal_error() {
  con_reset_window();
  cmd_fail(kMsgInternalError);
}

void cmd_exit_cleanup() {
  redir_close();  // the program ends: an open redirect file is completed
  brk_exit_cleanup();
}

void cmd_exit_forever() {
  for (;;) {
    Co.Request.code = RequestCode::Exit;
    co_wait_gui(kWaitExit);
  }
}

u16 cmd_parse_on_off() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') return 2;
  if (cmd_match_keyword("OFF") == 0) return 0;
  if (cmd_match_keyword("ON") == 0) return 1;
  cmd_error(kMsgFormat);
  return 0;
}

void cmd_nop_hook(u16) {}
