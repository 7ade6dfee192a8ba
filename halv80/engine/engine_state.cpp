// reset_engine_state(): every area back to its start-up values.
#include "halv80/engine/engine_state.h"

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_small.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/cmd_pseudo.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/key_bindings.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/lst_actions.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/mac_store.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/rd_program.h"
#include "halv80/symbols/sym_state_file.h"

void reset_engine_state() {
  co_end_command_side();
  Co = CoState{};
  cmd_reset_state();
  Sw = SwitchState{};
  Con = ConState{};
  Log = LogRing{};
  Lst = LstState{};
  Scan = ScanState{};
  Keys = KeyState{};
  key_journal_close();
  Journal = KeyJournal{};
  key_bindings_reset();
  Editor = EditorState{};
  Saved = SavedState{};
  cmd_pseudo_reset();
  option_reset();
  Mac = MacState{};
  Sup = SupState{};
  SupHost = SupHostState{};
  SupPath = SupPathState{};
  Paging = PagingState{};
  Lap = LapState{};
  Startup = StartupState{};
  EmuInfo = EmulatorInfo{};
  Exp = ExpState{};
  ExpShow = ExpShowState{};
  fmt_value_reset();
  fmt_rows_reset();
  dbi_reset();
  lst_actions_reset();
  rd_reset();
  // a redirect file left open by a test or an aborted run is closed, not leaked
  if (Redir.Handle >= 0) sup_file_close(Redir.Handle);
  Redir = RedirState{};
  input_close();
  Input = InputState{};
  mac_store_reset();
  Run = RunState{};
  sup_core_request_reset();
  Fmt = FormatState{};
  emu_access_reset();
  emu_monitor_reset();
  emu_areas_reset();
  emu_boot_reset();
  emu_hardware_reset();
  cfg_reset();
  emu_control_reset();
  run_control_reset();
  run_exec_reset();
  brk_reset();
  stk_reset();
  tgt_memory_reset();
  mem_reset();
  tgt_mmu_reset();
}
