// The value formatter's fetch mode: the value of an item by its type class,
// read from target memory or a register, handed back instead of printed. The
// evaluator loads every variable through it (exp_load_value).
#pragma once

#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

// Modes of fmt_print_value.
constexpr u16 kPrintFull = 0;    // one item per line
constexpr u16 kPrintInline = 1;  // inside an enclosing listing
constexpr u16 kPrintFetch = 2;   // nothing printed; the value is handed back

// What a fetch hands back.
constexpr u16 kFetchNone = 0;     // struct, union, function, float, void: no value
constexpr u16 kFetchScalar = 1;   // the item gets flag 0x80
constexpr u16 kFetchAddress = 2;  // pointer or array; the item gets flag 0x40
struct FmtFetch {
  u16 kind = kFetchNone;
  u32 value = 0;
};

// The value of `item` in `mode`. Only kPrintFetch is served here; the
// printing modes hand back no value. Stores the item's resolved type into it
// (exp_value_type). A failed target read unwinds; an unknown record kind ends
// the command (message 114).
FmtFetch fmt_print_value(ExprValue& item, u16 mode);
