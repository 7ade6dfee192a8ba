// Commands over ranges of target memory and over target I/O ports: M (move),
// F (fill), S (search), C (compare), PI (port input), PO (port output), and
// the value list and value store that the memory edit commands share. Every
// one of them needs a stopped target; memory and ports are reached through
// the target-memory layer. The size kind of a command is the unit letter its
// command word carries (Scan.SizeLetter).
#pragma once

#include <array>
#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kValueListMax = 16;  // values, or characters of a quoted string

// Values as the list read them: B, W, D the expression's 32 bits; S and F
// the 4 bytes of the single (alternate for F); L and T the 8 bytes of the
// double (decimal under ToolchainKind 4); each little-endian in the word.
struct MemValueList {
  u16 count = 0;
  std::array<u64, kValueListMax> values{};
};

// Reads a value list of `kind` at the cursor: values separated by one
// character each, up to the end of the line or a "/"; with kind B instead a
// quoted string ('...'). Sets AbortFlag for a bad value, a 17th value, a
// string longer than 16 characters or without its closing quote, or an
// empty list.
void mem_get_value_list(MemValueList& list, u16 kind);
// Bytes one element of `kind` takes in memory edits: B 1, W 2, D F S 4, L 8,
// T 10; 0 for any other kind.
u16 mem_edit_element_size(u16 kind);
// Writes one element (verifying) at logical `address`; false (AbortFlag set)
// when a read-back differs.
bool mem_write_element(u16 address, u16 kind, u64 value);
// The value store: reads a value list of `kind` at the cursor and writes it
// from `address` on (a 20-bit banked address when `banked`), advancing
// `address` past what was written; then the displays are refreshed. False,
// with message 1 (bad list) or 8 (verify) reported, when it fails; the
// values before a verify failure stay written.
bool mem_store_values(u32& address, u16 kind, bool banked);
// Asks the window side to redraw its displays; the size kind stays.
void mem_refresh_displays();

// The command handlers. Each needs a stopped target (message 125).
void mem_cmd_move();      // M start,end,destination
void mem_cmd_fill();      // F[B|W] start,end,values
void mem_cmd_search();    // S[B|W] start,end,values
void mem_cmd_compare();   // C start,end,second start
void mem_cmd_port_in();   // PI[B|W] port[,end port] or port,/C[,/S]
void mem_cmd_port_out();  // PO[B|W] port,value[,/C[,delay ms]]
