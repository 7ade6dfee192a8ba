// Stand-in until the breakpoint table lands: no breakpoints, G's temporary
// break only.
#include "halv80/engine/brk_table.h"

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"

BreakTableState Brk;

void brk_reset() { Brk = BreakTableState{}; }

bool brk_temporary_add(u32 address) {
  if (Brk.TemporarySlot == kNoSlot) {
    Brk.TemporarySlot = 0;
    BreakEntry& e = Brk.Slots[0];
    e = BreakEntry{};
    e.address = address;
    e.state = kBreakEnabled;
    e.pass_count = e.initial_pass_count = 1;
    ++Brk.UsedCount;
  }
  return true;
}

void brk_temporary_delete() {
  if (Brk.TemporarySlot == kNoSlot) return;
  Brk.Slots[Brk.TemporarySlot] = BreakEntry{};
  Brk.TemporarySlot = kNoSlot;
  --Brk.UsedCount;
}

bool brk_arm(u32 pc) {
  bool at_pc = false;
  if (Brk.TemporarySlot != kNoSlot) {
    BreakEntry& e = Brk.Slots[Brk.TemporarySlot];
    const u16 logical = u16(tgt_to_logical(e.address));
    e.saved_code = tgt_read_word(logical);
    if (e.address == pc)
      at_pc = true;
    else
      tgt_write_byte(logical, Cfg.BreakOpcode);
  }
  return at_pc;
}

u16 brk_disarm(u32 stop_pc, bool) {
  Brk.StopNumber = 0;
  Brk.TemporaryReached = 0;
  if (Brk.TemporarySlot == kNoSlot) return kBreakFinal;
  BreakEntry& e = Brk.Slots[Brk.TemporarySlot];
  tgt_write_byte(u16(tgt_to_logical(e.address)), u8(e.saved_code));
  if (e.address == stop_pc) Brk.TemporaryReached = 1;
  brk_temporary_delete();
  return kBreakFinal;
}
