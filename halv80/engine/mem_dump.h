// The memory display (D DB DW DL DS DD DT) and edit (E EB EW EL ES ED ET)
// commands, and the rows of the window side's memory windows, which come
// from the same line builder. Owns the display and edit settings that a plain
// D or E takes up again. Kinds are the scanner's unit letters (B W D F S L T)
// and A for characters; a banked display or edit takes 20-bit addresses.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/host/host_types.h"

// Radix of the display: the row of the format table.
constexpr u16 kDumpHex = 0;
constexpr u16 kDumpDecimal = 3;
constexpr u16 kDumpOctal = 6;

constexpr u16 kDumpItemsMax = 32;       // items on a line
constexpr u16 kDumpCharactersMax = 128;  // characters on a line of kind A

struct MemState {
  // The display that a plain D continues.
  u32 DumpNext = 0;                  // address of the next line
  u16 DumpRadix = kDumpHex;
  const char* DumpFormat = "%02lx ";  // the item format; null for kinds without one
  u16 DumpItems = 16;                // items per line
  u16 DumpKind = 'B';
  u16 DumpBanked = 0;                // 1: 20-bit banked addresses
  u16 DumpContinues = 0;             // 1: line down at the newest log line prints the next line;
                                     // set by D, cleared by each command line, unwind and typed key
  // What the last memory-window entry set.
  u32 WindowStart = 0;
  u16 WindowRadix = kDumpHex;
  const char* WindowFormat = "%02lx ";
  u16 WindowItems = 16;
  u16 WindowKind = 'B';
  u16 WindowFieldWidth = 2;          // columns one item takes, for the window side
  // The element that a plain E edits.
  u32 EditNext = 0;
};
extern MemState Mem;

void mem_reset();

// D: lines of target memory by kind and radix. Does not need a stopped target.
void mem_cmd_dump();
// The next line of the last display, with its settings, from DumpNext (which
// moves past it); line_break 0 leaves out the line break before it.
void mem_dump_next_line(u16 line_break);
// E: a value list stored at once, or element by element from input lines.
// Needs a stopped target.
void mem_cmd_edit();

// The display line of the memory range start..end (end exclusive) in
// elements of `size` bytes (1, 2 or 4: the kinds B, W and D; others are taken
// as 1) in hexadecimal, in the window form ("%04x " and the line, no line
// break): as many elements as the range holds, at most a line's 32. Reads
// through the target-memory layer; a failed read unwinds.
void mem_dump_lines(u32 start, u32 end, u16 size);

// The rows of a memory window, for the window side: rows.size() lines from
// `address` (16-bit) of `kind` (A B W D F S L T) in `radix` (kDumpHex,
// kDumpDecimal, kDumpOctal), `items` per line (0: the kind's default), each
// row "%04x " and the line without a line break, cut to the capture limit.
// Records the settings in Mem.Window*. Runs under the command error trap: a
// failure leaves its error pending and the rows empty. Returns the rows made.
std::size_t mem_dump_window_lines(u32 address, u16 kind, u16 radix, u16 items, std::span<std::string> rows);
