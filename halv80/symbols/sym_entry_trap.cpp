// The function-entry trap over the sorted symbol table.
#include "halv80/symbols/sym_entry_trap.h"

#include <cstring>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

constinit SymTrapState SymTrap;

u8 sym_trap_byte() { return Cfg.BreakOpcode; }

void sym_patch_function_entries(u16 mode) {
  if (sym_is_empty()) return;
  // planting twice would keep the traps themselves as the functions' code
  if (mode == 1 && SymTrap.Planted) sym_patch_function_entries(0);
  sym_sort_symbols();
  if (mode == 1) SymTrap.SkippedAtPc = 0;
  const u8 trap = sym_trap_byte();
  const SymRecord* previous = nullptr;
  for (u16 position = 0; position < Sym.Count; ++position) {
    SymRecord* r = sym_record_sorted(position);
    if (r == nullptr) break;
    const u32 value = r->value.get();
    if (value == kSymDeleted || value < SymFlag.CodeLow) continue;
    if (value > SymFlag.CodeHigh) break;
    const char* name = sym_record_name(*r);
    if (name == nullptr || name[0] != '_') continue;
    if (Sw.ToolchainKind == 2 && name[1] == '_') continue;
    const u16 address = u16(tgt_to_logical(value));
    const u16 word = tgt_read_word(address);
    const bool trapped = u8(word) == trap;
    if (mode == 1) {
      if (trapped && previous != nullptr && previous->value.get() == value) {
        // a second name of one function: the first one kept the code
        r->saved_code.set(previous->saved_code.get());
      } else {
        r->saved_code.set(word);
        if (address == Run.Regs.pc)
          SymTrap.SkippedAtPc = 1;
        else
          tgt_write_byte(address, trap);
      }
      previous = r;
    } else if (trapped) {
      tgt_write_byte(address, u8(r->saved_code.get()));
    }
  }
  SymTrap.Planted = mode == 1 ? 1 : 0;
}
