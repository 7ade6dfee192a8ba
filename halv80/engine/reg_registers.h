// The register commands R and IM over Run.Regs, and the register table they
// share with the expression evaluator, the register window and its dialogs.
// A table index names one register of the image and how much of its word it
// is; entries 10..19 are the alternate set of 0..9, typed with a trailing "'".
// Entries 10..21 and 24 do not exist on the 8080/8085 (Cfg.CpuType kCpu8080).
#pragma once

#include <cstddef>
#include <iterator>
#include <span>

#include "halv80/engine/run_state.h"
#include "platform/host/host_types.h"

// Size classes: which part of its word a register is.
constexpr u8 kRegLowByte = 1;
constexpr u8 kRegHighByte = 2;
constexpr u8 kRegWord = 3;

struct RegisterEntry {
  const char* name;            // upper case; the alternate entries repeat the main names
  u16 RegisterImage::*word;    // the word of the image holding it
  u8 size;                     // kRegLowByte, kRegHighByte or kRegWord
};

constexpr int kRegAlternate = 10;  // index offset of the alternate set
constexpr int kRegIX = 20;
constexpr int kRegIY = 21;
constexpr int kRegSP = 22;
constexpr int kRegPC = 23;
constexpr int kRegI = 24;
constexpr int kRegR = 25;

// ORDER REGISTER: name; word; size class. Names are matched in this order, so
// a pair comes before its halves (BC before B).
constexpr RegisterEntry RegisterTable[] = {
    {"A", &RegisterImage::af, kRegHighByte},    // 0
    {"BC", &RegisterImage::bc, kRegWord},       // 1
    {"B", &RegisterImage::bc, kRegHighByte},    // 2
    {"C", &RegisterImage::bc, kRegLowByte},     // 3
    {"DE", &RegisterImage::de, kRegWord},       // 4
    {"D", &RegisterImage::de, kRegHighByte},    // 5
    {"E", &RegisterImage::de, kRegLowByte},     // 6
    {"HL", &RegisterImage::hl, kRegWord},       // 7
    {"H", &RegisterImage::hl, kRegHighByte},    // 8
    {"L", &RegisterImage::hl, kRegLowByte},     // 9
    {"A", &RegisterImage::af2, kRegHighByte},   // 10 A'
    {"BC", &RegisterImage::bc2, kRegWord},      // 11 BC'
    {"B", &RegisterImage::bc2, kRegHighByte},   // 12 B'
    {"C", &RegisterImage::bc2, kRegLowByte},    // 13 C'
    {"DE", &RegisterImage::de2, kRegWord},      // 14 DE'
    {"D", &RegisterImage::de2, kRegHighByte},   // 15 D'
    {"E", &RegisterImage::de2, kRegLowByte},    // 16 E'
    {"HL", &RegisterImage::hl2, kRegWord},      // 17 HL'
    {"H", &RegisterImage::hl2, kRegHighByte},   // 18 H'
    {"L", &RegisterImage::hl2, kRegLowByte},    // 19 L'
    {"IX", &RegisterImage::ix, kRegWord},       // 20
    {"IY", &RegisterImage::iy, kRegWord},       // 21
    {"SP", &RegisterImage::sp, kRegWord},       // 22
    {"PC", &RegisterImage::pc, kRegWord},       // 23
    {"I", &RegisterImage::iff, kRegHighByte},   // 24 I and the interrupt state
    {"R", &RegisterImage::r, kRegLowByte},      // 25
};
constexpr int kRegCount = int(std::size(RegisterTable));
static_assert(kRegCount == 26);

// The flag letters of F's bits 0..7. E (bit 3) stands for the interrupt-enable
// state; '*' (bit 5) is unused.
constexpr char kFlagLetters[] = "CNPEH*ZS";

// Register window: lines 0..13 are registers and flags, line 14 is empty, the
// memory-management lines follow.
constexpr u16 kRegWindowLines = 14;
constexpr u16 kRegOptionDecimal = 0x0001;     // values also in decimal
constexpr u16 kRegOptionIndirect = 0x0002;    // the word at the register's address
constexpr u16 kRegOptionLabel = 0x0004;       // the label of the value
constexpr u16 kRegOptionMmuLines = 0x0200;    // memory-management lines
// Register edit list: the window's registers 0..12, then F.
constexpr u16 kRegEditEntries = 14;

// Matches a register name (any case) at Cmd.ScannerCursor: the table index,
// the cursor moved past the name and its "'", or -1 with the cursor left. The
// name must be followed by a byte below 0x21, "'" or "=" unless
// `any_follower`. A name the configured CPU lacks gives -1.
int reg_match_name(bool any_follower);
// Register n of Run.Regs by its size class; 0 for an index outside the table.
u16 reg_get(int n);
// Stores value into register n by its size class (a byte register takes the
// low byte of value); nothing for an index outside the table.
void reg_set(int n, u16 value);
// 1 when the interrupt-enable state of Run.Regs is set.
u16 reg_interrupts_enabled();

// R [name | flag | _name=value]. Pauses a running target around its work.
// Bad names and bad answers report message 1. Reads an answer line for R name
// and R flag.
void reg_cmd_r();
// IM [5 | 6 | 7], 8080/8085 only; message 34 on the Z80 family, 2 for another
// operand, 1 for a bad answer.
void reg_cmd_im();
// Core request 6: "_name=value" from the name in Co.Request.p1_ptr (cut at
// '(') and the value text in Co.Request.p2_ptr, run as R. A missing text or a
// failed assignment leaves AbortFlag set.
void reg_request_set_register(const char* argument);

// The register window's line count for the window options; a memory-
// management option without a memory-management model is cleared.
u16 reg_window_line_count(u16& options);
// Line `line` of the register window into out (terminated, cut to fit); the
// length. Lines past the registers are empty.
std::size_t reg_window_line(u16 line, u16 options, std::span<char> out);
// The flag dialog's word: F with bit 3 the interrupt-enable state in the low
// byte, F' in the high byte.
u16 reg_flag_dialog_word();
// Stores the flag dialog's word back: its bit 3 goes to the interrupt-enable
// state and is cleared in F.
void reg_set_flag_dialog_word(u16 word);
// Entry `index` of the register edit list: its name and value texts
// (terminated, cut to fit); false past the end.
bool reg_edit_entry(u16 index, std::span<char> name, std::span<char> value);
