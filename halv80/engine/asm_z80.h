// The Z80-family line assembler: one line of Zilog assembly text from the
// command line into the machine code of one instruction, written to the
// disassembler's instruction buffer. The Z80 with the IX/IY forms, the
// HD64180 additions, the R800 multiplies on CPU type 4, and RIM/SIM on an
// 8080-family CPU. With Sw.MnemonicSet 0 the Intel mnemonics are tried first.
// Failure is reported through Cmd.AbortFlag only; nothing is printed here.
#pragma once

#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "platform/host/host_types.h"

// A line split into a mnemonic and up to two operands, in a copy of the
// command line. A word ends at a blank, a control or high byte, or a comma.
struct AsmWords {
  char text[kCommandLineSize]{};  // the work text, split in place
  char* word[3]{};                // mnemonic, operand 1, operand 2; null when absent
  u16 count = 0;                  // words found, 0..3
  bool surplus = false;           // text (or a comma) after the last word taken
};

// Assembles the command line (Cmd.CommandLine) for the instruction address
// `address` into Dis.Buffer and returns its length. Clears Cmd.AbortFlag, and
// sets it on any error (the length is then 0 and the buffer not to be used).
// A line with no mnemonic gives length 0 and no error.
u16 asm_line(u16 address);

// Copies the command line into `words` and splits it.
void asm_split_words(AsmWords& words);
// The start of both assemblers: clears Cmd.AbortFlag, splits the line and
// upper-cases its mnemonic. The word count; 0 for a line with no mnemonic
// (no error) or with text after its operands (Cmd.AbortFlag set).
u16 asm_take_words(AsmWords& words);
// The value of a whole operand text. Sets Cmd.AbortFlag and returns false
// when the text is no valid expression.
bool asm_eval_operand(std::string_view text, u32& value);
