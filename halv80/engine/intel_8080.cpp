// The Intel 8080/8085 mnemonics.
#include "halv80/engine/intel_8080.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "halv80/engine/asm_z80.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/dis_z80.h"
#include "platform/host/host_text.h"

namespace {

// Operand formats.
enum class Form : u8 {
  None, Move, MoveImmediate, Source, Destination, Pair, PairBD, PairPSW, Byte, PairWord, Word, Restart,
};
using F = Form;

struct IntelOp {
  u8 value, mask;
  Form form;
  const char* name;
};
// A byte is the first entry whose (byte AND mask) equals the value: the
// no-operand entries come first, so 76 is HLT and not MOV M,M.
constexpr IntelOp kIntelTable[] = {
    {0x3F, 0xFF, F::None, "CMC"},   {0x2F, 0xFF, F::None, "CMA"},   {0x27, 0xFF, F::None, "DAA"},
    {0xF3, 0xFF, F::None, "DI"},    {0xFB, 0xFF, F::None, "EI"},    {0x76, 0xFF, F::None, "HLT"},
    {0x17, 0xFF, F::None, "RAL"},   {0x07, 0xFF, F::None, "RLC"},   {0x1F, 0xFF, F::None, "RAR"},
    {0x0F, 0xFF, F::None, "RRC"},   {0x37, 0xFF, F::None, "STC"},   {0x00, 0xFF, F::None, "NOP"},
    {0xC9, 0xFF, F::None, "RET"},   {0xC0, 0xFF, F::None, "RNZ"},   {0xC8, 0xFF, F::None, "RZ"},
    {0xD0, 0xFF, F::None, "RNC"},   {0xD8, 0xFF, F::None, "RC"},    {0xE0, 0xFF, F::None, "RPO"},
    {0xE8, 0xFF, F::None, "RPE"},   {0xF0, 0xFF, F::None, "RP"},    {0xF8, 0xFF, F::None, "RM"},
    {0xE3, 0xFF, F::None, "XTHL"},  {0xE9, 0xFF, F::None, "PCHL"},  {0xEB, 0xFF, F::None, "XCHG"},
    {0xF9, 0xFF, F::None, "SPHL"},  {0x20, 0xFF, F::None, "RIM"},   {0x30, 0xFF, F::None, "SIM"},
    {0x40, 0xC0, F::Move, "MOV"},
    {0x06, 0xC7, F::MoveImmediate, "MVI"},
    {0x80, 0xF8, F::Source, "ADD"}, {0x88, 0xF8, F::Source, "ADC"}, {0x90, 0xF8, F::Source, "SUB"},
    {0x98, 0xF8, F::Source, "SBB"}, {0xA0, 0xF8, F::Source, "ANA"}, {0xA8, 0xF8, F::Source, "XRA"},
    {0xB0, 0xF8, F::Source, "ORA"}, {0xB8, 0xF8, F::Source, "CMP"},
    {0x04, 0xC7, F::Destination, "INR"}, {0x05, 0xC7, F::Destination, "DCR"},
    {0x03, 0xCF, F::Pair, "INX"},   {0x0B, 0xCF, F::Pair, "DCX"},   {0x09, 0xCF, F::Pair, "DAD"},
    {0x02, 0xEF, F::PairBD, "STAX"}, {0x0A, 0xEF, F::PairBD, "LDAX"},
    {0xC1, 0xCF, F::PairPSW, "POP"}, {0xC5, 0xCF, F::PairPSW, "PUSH"},
    {0xC6, 0xFF, F::Byte, "ADI"},   {0xCE, 0xFF, F::Byte, "ACI"},   {0xD6, 0xFF, F::Byte, "SUI"},
    {0xDE, 0xFF, F::Byte, "SBI"},   {0xE6, 0xFF, F::Byte, "ANI"},   {0xEE, 0xFF, F::Byte, "XRI"},
    {0xF6, 0xFF, F::Byte, "ORI"},   {0xFE, 0xFF, F::Byte, "CPI"},   {0xD3, 0xFF, F::Byte, "OUT"},
    {0xDB, 0xFF, F::Byte, "IN"},
    {0x01, 0xCF, F::PairWord, "LXI"},
    {0x22, 0xFF, F::Word, "SHLD"},  {0x2A, 0xFF, F::Word, "LHLD"},  {0x32, 0xFF, F::Word, "STA"},
    {0x3A, 0xFF, F::Word, "LDA"},   {0xC3, 0xFF, F::Word, "JMP"},   {0xC2, 0xFF, F::Word, "JNZ"},
    {0xCA, 0xFF, F::Word, "JZ"},    {0xD2, 0xFF, F::Word, "JNC"},   {0xDA, 0xFF, F::Word, "JC"},
    {0xE2, 0xFF, F::Word, "JPO"},   {0xEA, 0xFF, F::Word, "JPE"},   {0xF2, 0xFF, F::Word, "JP"},
    {0xFA, 0xFF, F::Word, "JM"},    {0xCD, 0xFF, F::Word, "CALL"},  {0xC4, 0xFF, F::Word, "CNZ"},
    {0xCC, 0xFF, F::Word, "CZ"},    {0xD4, 0xFF, F::Word, "CNC"},   {0xDC, 0xFF, F::Word, "CC"},
    {0xE4, 0xFF, F::Word, "CPO"},   {0xEC, 0xFF, F::Word, "CPE"},   {0xF4, 0xFF, F::Word, "CP"},
    {0xFC, 0xFF, F::Word, "CM"},
    {0xC7, 0xC7, F::Restart, "RST"},
};
static_assert(std::size(kIntelTable) == 80);

// Register names by code, one letter each: P stands for PSW and S for SP.
struct RegisterSet {
  std::string_view letters;  // by code
  u8 shift;                  // where the code stands in the opcode
};
constexpr RegisterSet kSource{"BCDEHLMA", 0};
constexpr RegisterSet kDestination{"BCDEHLMA", 3};
constexpr RegisterSet kPairs{"BDHS", 4};
constexpr RegisterSet kPairsBD{"BD", 4};
constexpr RegisterSet kPairsPSW{"BDHP", 4};
constexpr u8 kCodeM = 6;

const RegisterSet* register_set(Form f) {
  switch (f) {
    case F::Source: return &kSource;
    case F::Destination: return &kDestination;
    case F::Pair:
    case F::PairWord: return &kPairs;
    case F::PairBD: return &kPairsBD;
    case F::PairPSW: return &kPairsPSW;
    default: return nullptr;
  }
}

void write_register(const RegisterSet& set, u8 op, std::string& out) {
  const std::size_t code = (op >> set.shift) & (set.letters.size() - 1);
  const char letter = set.letters[code];
  out += letter;
  if (letter == 'P') out += "SW";
  if (letter == 'S') out += 'P';
}

// The code of a register operand in `set`: its first letter, with the
// further letters of PSW and SP; nothing may follow the name.
bool register_code(const RegisterSet& set, std::string_view text, u8& code) {
  if (text.empty()) return false;
  const std::size_t at = set.letters.find(host_ascii_upper(text[0]));
  if (at == std::string_view::npos) return false;
  std::string_view rest = text.substr(1);
  const std::string_view further = set.letters[at] == 'P' ? "SW" : set.letters[at] == 'S' ? "P" : "";
  if (rest.size() != further.size()) return false;
  for (std::size_t i = 0; i < further.size(); ++i)
    if (host_ascii_upper(rest[i]) != further[i]) return false;
  code = u8(at);
  return true;
}

void write_byte(u8 value, std::string& out) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", unsigned(value));
  out += text;
}

}  // namespace

u16 dis_decode_8080(u16 address, std::string& mnemonic, std::string& operand1, std::string& operand2,
                    u16& length) {
  mnemonic.clear();
  operand1.clear();
  operand2.clear();
  const u8 op = Dis.Buffer[0];
  // a helper call shows the bytes behind it, whether or not there are symbols
  const u16 inline_kind = op == 0xCD ? dis_inline_kind(load_le16(&Dis.Buffer[1]), address) : 0;
  const auto entry = std::find_if(std::begin(kIntelTable), std::end(kIntelTable),
                                  [&](const IntelOp& e) { return (op & e.mask) == e.value; });
  if (entry == std::end(kIntelTable)) return 1;
  mnemonic = entry->name;
  std::string& out = operand1;
  u16 cursor = 1;
  switch (entry->form) {
    case F::None: break;
    case F::Move:
      write_register(kDestination, op, out);
      out += ',';
      write_register(kSource, op, out);
      break;
    case F::MoveImmediate:
      write_register(kDestination, op, out);
      out += ',';
      write_byte(Dis.Buffer[cursor++], out);
      break;
    case F::Byte: write_byte(Dis.Buffer[cursor++], out); break;
    case F::PairWord:
      write_register(kPairs, op, out);
      out += ',';
      dis_address_text(load_le16(&Dis.Buffer[cursor]), address, out);
      cursor += 2;
      break;
    case F::Word:
      dis_address_text(load_le16(&Dis.Buffer[cursor]), address, out);
      cursor += 2;
      break;
    case F::Restart: out += char('0' + ((op >> 3) & 7)); break;
    default: write_register(*register_set(entry->form), op, out); break;
  }
  if (inline_kind != 0) {
    out += ',';
    dis_inline_operands(inline_kind, address, cursor, out);
  }
  length = cursor;
  return 0;
}

u16 asm_line_8080() {
  AsmWords w;
  if (asm_take_words(w) == 0) return 0;
  const auto fail = [] {
    Cmd.AbortFlag = 1;
    return u16(0);
  };
  const std::string_view name = w.word[0];
  const auto entry = std::find_if(std::begin(kIntelTable), std::end(kIntelTable),
                                  [&](const IntelOp& e) { return name == e.name; });
  if (entry == std::end(kIntelTable)) return fail();
  const u16 operands = u16(w.count - 1);
  const std::string_view first = operands > 0 ? w.word[1] : "";
  const std::string_view second = operands > 1 ? w.word[2] : "";
  const bool two = entry->form == F::Move || entry->form == F::MoveImmediate || entry->form == F::PairWord;
  const bool none = entry->form == F::None;
  if (operands != (two ? 2 : none ? 0 : 1)) return fail();
  u8 code = 0, source = 0;
  u32 value = 0;
  std::size_t length = 0;
  Dis.Buffer[length++] = entry->value;
  switch (entry->form) {
    case F::None: break;
    case F::Move:
      if (!register_code(kDestination, first, code) || !register_code(kSource, second, source)) return fail();
      // MOV M,M is the code of HLT
      if (code == kCodeM && source == kCodeM) return fail();
      Dis.Buffer[0] = u8(entry->value | code << kDestination.shift | source);
      break;
    case F::MoveImmediate:
      if (!register_code(kDestination, first, code) || !asm_eval_operand(second, value)) return fail();
      Dis.Buffer[0] = u8(entry->value | code << kDestination.shift);
      Dis.Buffer[length++] = u8(value);
      break;
    case F::Byte:
      if (!asm_eval_operand(first, value)) return fail();
      Dis.Buffer[length++] = u8(value);
      break;
    case F::PairWord:
      if (!register_code(kPairs, first, code) || !asm_eval_operand(second, value)) return fail();
      Dis.Buffer[0] = u8(entry->value | code << kPairs.shift);
      store_le16(&Dis.Buffer[length], u16(value));
      length += 2;
      break;
    case F::Word:
      if (!asm_eval_operand(first, value)) return fail();
      store_le16(&Dis.Buffer[length], u16(value));
      length += 2;
      break;
    case F::Restart:
      if (!asm_eval_operand(first, value) || value > 7) return fail();
      Dis.Buffer[0] = u8(entry->value + 8 * value);
      break;
    default: {
      const RegisterSet& set = *register_set(entry->form);
      if (!register_code(set, first, code)) return fail();
      Dis.Buffer[0] = u8(entry->value | code << set.shift);
      break;
    }
  }
  return u16(length);
}
