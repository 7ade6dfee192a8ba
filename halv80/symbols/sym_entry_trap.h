// The function-entry trap: the break instruction written at the entry of every
// C function of the program (and taken out again), so that a run stops each
// time a function is entered. The target word at the entry is kept in the
// function's symbol record; only its first byte is replaced, so a run that
// goes on inside a function's first instructions never meets a changed byte.
// Owns SymTrap.
#pragma once

#include "platform/host/host_types.h"

struct SymTrapState {
  u16 SkippedAtPc = 0;  // a function entry at the PC kept its code
  u16 Planted = 0;      // traps stand in target memory
};
extern SymTrapState SymTrap;

// The trap: the configured break instruction.
u8 sym_trap_byte();
// mode 1 plants the traps, mode 0 takes them out. Only symbols inside the
// program's code range whose names begin with '_' take part (with toolchain
// kind 2 not those beginning with "__").
void sym_patch_function_entries(u16 mode);
