// The Intel 8080/8085 mnemonics (MOV A,B; LXI H,1234; RST 7), both ways, over
// one opcode table: the decoder that dis_line tries first and the line
// assembler that asm_line tries first when Sw.MnemonicSet is 0. They share
// the disassembler's instruction buffer, labels and helper-call inline data.
#pragma once

#include <string>

#include "platform/host/host_types.h"

// Decodes the instruction buffer, which holds the bytes at `address`: 0
// decoded (the whole operand text in operand1, operand2 empty), 1 no entry.
u16 dis_decode_8080(u16 address, std::string& mnemonic, std::string& operand1, std::string& operand2, u16& length);
// Assembles the command line (Cmd.CommandLine) as Intel text into Dis.Buffer
// and returns its length. Clears Cmd.AbortFlag, and sets it on any error (the
// length is then 0). A line with no mnemonic gives length 0 and no error.
u16 asm_line_8080();
