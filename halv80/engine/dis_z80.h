// The Z80-family disassembler: one instruction at a target address into one
// line of text (mnemonic, tab, operands) and its length. Zilog mnemonics with
// the CB, DD, ED and FD pages and the DD CB / FD CB forms, the HD64180
// additions, the R800 multiplies on CPU type 4, and RIM/SIM on an 8080-family
// CPU. Address operands carry labels from the symbol database; calls to the
// toolchain's helper routines show the inline bytes that follow them. Owns
// DisState. The decoder reads only its 10-byte instruction buffer, which the
// caller fills for the instruction's address.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/host/host_types.h"

constexpr std::size_t kDisBufferSize = 10;
constexpr std::size_t kDisOperandArea = 2048;

struct DisState {
  u8 Buffer[kDisBufferSize]{};   // the instruction's bytes, filled by the caller
  u32 SkipTable = 0;             // a switch helper's table, for the listing; 0 none
  u16 SkipEntrySize = 0;         // its entry size (3 or 4)
};
extern DisState Dis;

void dis_reset();

// Fills the instruction buffer from target memory at `address`.
void dis_fill_buffer(u16 address);
// One instruction from the buffer, which holds the bytes at `address`: its
// text ("????" for bytes that are no instruction of the configured CPU) and
// its length (1 for an invalid one). With Sw.MnemonicSet 0 the Intel
// mnemonics are tried first.
u16 dis_line(u16 address, std::string& text);
// The Zilog decoder alone over the buffer: 0 decoded (mnemonic, operands and
// length in the out parameters), 1 invalid.
u16 dis_decode_z80(u16 address, std::string& mnemonic, std::string& operand1, std::string& operand2, u16& length);

// The inline-data kind (0..5) of a call to `target` (the toolchain's helper
// routines, only those the symbols name at a non-zero address).
u16 dis_inline_kind(u16 target, u16 address);
// Appends the inline data of a helper call of kind `kind`, read from the
// buffer at `cursor`, to `out`; moves `cursor` over it.
void dis_inline_operands(u16 kind, u16 address, u16& cursor, std::string& out);
// Appends a 16-bit address operand of the instruction at `address`: four hex
// digits and the label of the value (name-plus-offset allowed).
void dis_address_text(u16 value, u16 address, std::string& out);
