// The listing commands U (and UX), V, UPUSH, UPOP, UEND and A, with the code
// row they print and the instruction fetch that the listing, the trace
// display and the register display share. Their state (the position stack
// and the A address) lives in LstState. Handlers read their operands through
// the scanner and report failures by message number.
#pragma once

#include <string>

#include "platform/host/host_types.h"

constexpr u16 kMsgCannotOpen = 12;  // "\n 指定ファイルがオープンできません"

// Column of the code row where the disassembly text starts, and the bytes it
// shows at most (a longer instruction gets "." in column 19).
constexpr u16 kCodeRowTextColumn = 21;
constexpr u16 kCodeRowBytesShown = 7;

// Fills the disassembler's instruction buffer for `address`: from the
// listing's memory cache while it holds the bytes, else from target memory
// (the first miss drops the cache). Wraps at FFFF.
void dis_fetch(u16 address);
// dis_fetch, then dis_line into `out`; the instruction's length.
u16 dis_row_at(u16 address, std::string& out);
// The address after the code row of the instruction of `length` at
// `address`: past the instruction, and past the table of a switch helper
// that the disassembler left for exactly that address (entries while the
// target word is non-zero, then the zero entry; never past FFFF). Clears the
// disassembler's skip table. May be above FFFF.
u32 lst_row_end(u16 address, u16 length);
// The code row for the instruction at ListingAddress into `out`: address,
// up to 7 bytes, "." when it has 8 or more, the disassembly from column 21.
// Moves ListingAddress past the row (lst_row_end); unless no_print, prints
// the row.
void lst_format_code_row(bool no_print, std::string& out);
// A line break and, when `address` has a label, the label and ":"; 1 when a
// label was written.
u16 lst_label_line(u16 address, bool offset_allowed);

// U [address | .] lists a page of assembly in the code pane from the address,
// the program counter, or where the last page ended; UX [start | .][,end]
// lists labels, source lines and code rows into the command pane.
void cmd_U();
// V [file:line | .] shows source in the code pane.
void cmd_V();
// UPUSH [address], UPOP, UEND: the stack of listing positions (assembly mode).
void cmd_UPUSH();
void cmd_UPOP();
void cmd_UEND();
// A [address] assembles lines read one by one into target memory.
void cmd_A();
