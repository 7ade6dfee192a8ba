// The Z80-family disassembler.
#include "halv80/engine/dis_z80.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/intel_8080.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_symbols.h"

constinit DisState Dis;

void dis_reset() { Dis = DisState{}; }

namespace {

// The opcode pages. Exact entries: the opcode, then the mnemonic; a 0 ends
// them. Masked entries: one or more (mask, value, operand format) triples,
// then the mnemonic they share (a further triple is told from the mnemonic by
// its mask's bit 7); a mask of 0 ends them.
constexpr char kMainPage[] =
    "\x3F" "CCF\0"
    "\x2F" "CPL\0"
    "\x27" "DAA\0"
    "\xF3" "DI\0"
    "\xFB" "EI\0"
    "\xD9" "EXX\0"
    "\x76" "HALT\0"
    "\x17" "RLA\0"
    "\x07" "RLCA\0"
    "\x1F" "RRA\0"
    "\x0F" "RRCA\0"
    "\x37" "SCF\0"
    "\x00"  // end of the exact entries
    "\xF8\x88\x26\xFF\xCE\x03" "ADC\0"
    "\xF8\x80\x26\xFF\xC6\x03\xCF\x09\x08" "ADD\0"
    "\xF8\xA0\x01\xFF\xE6\x02" "AND\0"
    "\xC7\xC4\x13\xFF\xCD\x14" "CALL\0"
    "\xF8\xB8\x01\xFF\xFE\x02" "CP\0"
    "\xC7\x05\x06\xCF\x0B\x04" "DEC\0"
    "\xFF\x10\x17" "DJNZ\0"
    "\xFF\xEB\x18\xFF\xE3\x19\xFF\x08\x1A" "EX\0"
    "\xFF\xDB\x1C" "IN\0"
    "\xC7\x04\x06\xCF\x03\x04" "INC\0"
    "\xFF\xE9\x15\xC7\xC2\x13\xFF\xC3\x14" "JP\0"
    "\xE7\x20\x16\xFF\x18\x17" "JR\0"
    "\xEF\x02\x11\xEF\x0A\x12\xC0\x40\x09\xC7\x06\x0A\xCF\x01\x0B\xFF\x2A\x0C\xFF\x22\x0D\xFF\x3A\x23\xFF\x32\x24\xFF\xF9\x10" "LD\0"
    "\xFF\xD3\x1E" "OUT\0"
    "\xFF\x00\x00" "NOP\0"
    "\xF8\xB0\x01\xFF\xF6\x02" "OR\0"
    "\xCF\xC1\x20" "POP\0"
    "\xCF\xC5\x20" "PUSH\0"
    "\xFF\xC9\x00\xC7\xC0\x25" "RET\0"
    "\xC7\xC7\x1B" "RST\0"
    "\xF8\x98\x26\xFF\xDE\x03" "SBC\0"
    "\xF8\x90\x01\xFF\xD6\x02" "SUB\0"
    "\xF8\xA8\x01\xFF\xEE\x02" "XOR\0"
    "\x00"; // end of the masked entries

constexpr char kCbPage[] =
    "\x00"  // end of the exact entries
    "\xC0\x40\x05" "BIT\0"
    "\xC0\x80\x05" "RES\0"
    "\xC0\xC0\x05" "SET\0"
    "\xF8\x10\x01" "RL\0"
    "\xF8\x18\x01" "RR\0"
    "\xF8\x00\x01" "RLC\0"
    "\xF8\x08\x01" "RRC\0"
    "\xF8\x20\x01" "SLA\0"
    "\xF8\x28\x01" "SRA\0"
    "\xF8\x38\x01" "SRL\0"
    "\x00"; // end of the masked entries

constexpr char kEdPage[] =
    "\xA9" "CPD\0"
    "\xB9" "CPDR\0"
    "\xA1" "CPI\0"
    "\xB1" "CPIR\0"
    "\xAA" "IND\0"
    "\xBA" "INDR\0"
    "\xA2" "INI\0"
    "\xB2" "INIR\0"
    "\xA8" "LDD\0"
    "\xB8" "LDDR\0"
    "\xA0" "LDI\0"
    "\xB0" "LDIR\0"
    "\x44" "NEG\0"
    "\x8B" "OTDM\0"
    "\x9B" "OTDMR\0"
    "\xBB" "OTDR\0"
    "\x83" "OTIM\0"
    "\x93" "OTIMR\0"
    "\xB3" "OTIR\0"
    "\xAB" "OUTD\0"
    "\xA3" "OUTI\0"
    "\x76" "SLP\0"
    "\x4D" "RETI\0"
    "\x45" "RETN\0"
    "\x6F" "RLD\0"
    "\x67" "RRD\0"
    "\x00"  // end of the exact entries
    "\xCF\x4A\x07" "ADC\0"
    "\xFF\x46\x27\xFF\x56\x28\xFF\x5E\x29" "IM\0"
    "\xC7\x40\x1D" "IN\0"
    "\xC7\x00\x2A" "IN0\0"
    "\xCF\x4B\x0E\xCF\x43\x0F\xF7\x57\x21\xF7\x47\x22" "LD\0"
    "\xCF\x4C\x04" "MLT\0"
    "\xC7\x41\x1F" "OUT\0"
    "\xC7\x01\x2B" "OUT0\0"
    "\xCF\x42\x07" "SBC\0"
    "\xC7\x04\x06\xFF\x64\x02" "TST\0"
    "\xFF\x74\x02" "TSTIO\0"
    "\x00"; // end of the masked entries

// Two-character register names at even indexes; a blank second character
// makes a one-letter name.
constexpr std::string_view kRegisterNames = "B C D E H L F A BCDEHLSPNZZ NCC POPEP M AFIXIY";
constexpr u16 kNameBC = 16;
constexpr u16 kNameHL = 20;
constexpr u16 kNameSP = 22;
constexpr u16 kNameConditions = 24;
constexpr u16 kNameAF = 40;
constexpr u16 kNameIX = 42;
constexpr u16 kNameIY = 44;

std::string_view register_name(u16 index) {
  if (std::size_t(index) + 2 > kRegisterNames.size()) return {};
  std::string_view name = kRegisterNames.substr(index, 2);
  if (name[1] == ' ') name.remove_suffix(1);
  return name;
}

// What an operand shows.
enum class Operand : u8 {
  None, RegLow, RegHigh, Pair, PairAf, Byte, Word, WordIndirect, ByteIndirect, Relative, Condition,
  Condition4, Index, IndexIndirect, PairIndirect, A, HL, DE, SP, AF, AFAlt, SPIndirect, CIndirect,
  Restart, BitNumber, Mode0, Mode1, Mode2, IorR,
};
using O = Operand;
struct Format {
  Operand first, second;
};
// ORDER: operand format number.
constexpr Format kFormats[] = {
    {O::None, O::None},          {O::RegLow, O::None},        {O::Byte, O::None},         // 0 1 2
    {O::A, O::Byte},             {O::Pair, O::None},          {O::BitNumber, O::RegLow},  // 3 4 5
    {O::RegHigh, O::None},       {O::HL, O::Pair},            {O::Index, O::Pair},        // 6 7 8
    {O::RegHigh, O::RegLow},     {O::RegHigh, O::Byte},       {O::Pair, O::Word},         // 9 10 11
    {O::Index, O::WordIndirect}, {O::WordIndirect, O::Index}, {O::Pair, O::WordIndirect}, // 12 13 14
    {O::WordIndirect, O::Pair},  {O::SP, O::Index},           {O::PairIndirect, O::A},    // 15 16 17
    {O::A, O::PairIndirect},     {O::Condition, O::Word},     {O::Word, O::None},         // 18 19 20
    {O::IndexIndirect, O::None}, {O::Condition4, O::Relative}, {O::Relative, O::None},    // 21 22 23
    {O::DE, O::HL},              {O::SPIndirect, O::Index},   {O::AF, O::AFAlt},          // 24 25 26
    {O::Restart, O::None},       {O::A, O::ByteIndirect},     {O::RegHigh, O::CIndirect}, // 27 28 29
    {O::ByteIndirect, O::A},     {O::CIndirect, O::RegHigh},  {O::PairAf, O::None},       // 30 31 32
    {O::A, O::IorR},             {O::IorR, O::A},             {O::A, O::WordIndirect},    // 33 34 35
    {O::WordIndirect, O::A},     {O::Condition, O::None},     {O::A, O::RegLow},          // 36 37 38
    {O::Mode0, O::None},         {O::Mode1, O::None},         {O::Mode2, O::None},        // 39 40 41
    {O::RegHigh, O::ByteIndirect}, {O::ByteIndirect, O::RegHigh},                         // 42 43
};
static_assert(std::size(kFormats) == 44);

// The second bytes an index prefix may carry (DD CB and FD CB apart).
constexpr u8 kIndexValid[] = {0x09, 0x86, 0x19, 0x8E, 0x21, 0x96, 0x22, 0x9E, 0x23, 0xA6, 0x29, 0xAE, 0x34,
                              0xB6, 0x35, 0xBE, 0x36, 0x2B, 0x39, 0xE1, 0x46, 0xE3, 0x4E, 0xE5, 0x56, 0xE9,
                              0x5E, 0xF9, 0x66, 0x6E, 0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x7E, 0x77, 0x2A};
static_assert(std::size(kIndexValid) == 39);

// Inline-data kinds of helper calls.
constexpr u16 kInlineNone = 0;
constexpr u16 kInlineAddress = 1;   // 2 bytes: an address
constexpr u16 kInlineFloat = 2;     // 10 bytes: a temporary real, read from target memory
constexpr u16 kInlineByteWord = 3;  // 3 bytes: a byte and an address
constexpr u16 kInlineByte = 4;      // 1 byte
constexpr u16 kInlineThree = 5;     // 3 bytes

bool z80_family() { return Cfg.CpuType != kCpu8080; }

// One instruction's decoding.
class Decoder {
 public:
  explicit Decoder(u16 address, std::size_t cursor = 0) : address_(address), cursor_(cursor) {}

  u16 run(std::string& mnemonic, std::string& op1, std::string& op2, u16& length);
  void inline_operands(u16 kind, std::string& out);
  void word_text(u16 value, std::string& out) const;
  std::size_t cursor() const { return cursor_; }

 private:
  u8 peek(std::size_t at = 0) const { return cursor_ + at < kDisBufferSize ? Dis.Buffer[cursor_ + at] : 0; }
  u8 take() { return cursor_ < kDisBufferSize ? Dis.Buffer[cursor_++] : (cursor_++, 0); }
  bool lookup(const char* page, u8 op, const char*& mnemonic, u8& format) const;
  void write(Operand kind, std::string& out);
  void byte_text(u8 value, std::string& out) const;
  std::string_view index_name() const {
    return index_ == 1 ? register_name(kNameIX) : index_ == 2 ? register_name(kNameIY) : register_name(kNameHL);
  }

  u16 address_;
  std::size_t cursor_ = 0;
  u16 index_ = 0;  // 0 none, 1 IX, 2 IY
  bool exact_labels_ = false;
  u8 op_ = 0;
};

bool Decoder::lookup(const char* page, u8 op, const char*& mnemonic, u8& format) const {
  const char* p = page;
  while (*p != '\0') {  // exact entries
    const u8 code = u8(*p++);
    if (code == op) {
      mnemonic = p;
      format = 0;
      return true;
    }
    p += std::strlen(p) + 1;
  }
  ++p;
  while (*p != '\0') {  // masked entries
    bool hit = false;
    u8 hit_format = 0;
    while (u8(*p) & 0x80) {
      const u8 mask = u8(p[0]), value = u8(p[1]), fmt = u8(p[2]);
      if (!hit && (op & mask) == value) {
        hit = true;
        hit_format = fmt;
      }
      p += 3;
    }
    if (hit) {
      mnemonic = p;
      format = hit_format;
      return true;
    }
    p += std::strlen(p) + 1;
  }
  return false;
}

void Decoder::byte_text(u8 value, std::string& out) const {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value);
  // digits that spell a register pair read as the register: a leading 0 tells them apart
  if (std::strcmp(text, "AF") == 0 || std::strcmp(text, "BC") == 0 || std::strcmp(text, "DE") == 0) out += '0';
  out += text;
}

void Decoder::word_text(u16 value, std::string& out) const {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  out += text;
  const char* label = sym_address_label(value, !exact_labels_);
  if (label == nullptr) label = sym_location_label(address_, value, kFindStatic);
  if (label != nullptr) {
    out += ' ';
    out += label;
    out += ' ';
  }
}

void Decoder::write(Operand kind, std::string& out) {
  const u16 low = op_ & 7;
  const u16 high = (op_ >> 3) & 7;
  const u16 pair = (op_ >> 4) & 3;
  const auto reg = [&](u16 r) {
    if (r != 6) {
      out += register_name(u16(2 * r));
      return;
    }
    if (index_ == 0) {
      out += "(HL)";
      return;
    }
    out += '(';
    out += index_name();
    const u8 d = take();
    if (d != 0) {
      char text[8];
      if (d & 0x80)
        std::snprintf(text, sizeof text, "-%02X", unsigned(256 - d));
      else
        std::snprintf(text, sizeof text, "+%02X", unsigned(d));
      out += text;
    }
    if (Sw.ToolchainKind == 4 && index_ == 1) {
      if (const char* label = sym_location_label(address_, u32(i32(i8(d)) - 2), kFindFrame)) out += label;
    }
    out += ')';
  };
  const auto rp = [&](u16 p) {
    if (p == 2)
      out += index_name();
    else
      out += register_name(u16(kNameBC + 2 * p));
  };
  switch (kind) {
    case O::None: break;
    case O::RegLow: reg(low); break;
    case O::RegHigh: reg(high); break;
    case O::Pair: rp(pair); break;
    case O::PairAf:
      if (pair == 3)
        out += register_name(kNameAF);
      else
        rp(pair);
      break;
    case O::Byte: byte_text(take(), out); break;
    case O::Word: {
      const u8 lo = take();
      word_text(u16(lo | take() << 8), out);
      break;
    }
    case O::WordIndirect: {
      out += '(';
      const u8 lo = take();
      word_text(u16(lo | take() << 8), out);
      out += ')';
      break;
    }
    case O::ByteIndirect:
      out += '(';
      byte_text(take(), out);
      out += ')';
      break;
    case O::Relative: {
      const i8 e = i8(take());
      word_text(u16(address_ + 2 + e), out);
      break;
    }
    case O::Condition: out += register_name(u16(kNameConditions + 2 * high)); break;
    case O::Condition4: out += register_name(u16(kNameConditions + 2 * (high & 3))); break;
    case O::Index: out += index_name(); break;
    case O::IndexIndirect:
      out += '(';
      out += index_name();
      out += ')';
      break;
    case O::PairIndirect:
      out += '(';
      out += register_name(u16(kNameBC + 2 * pair));
      out += ')';
      break;
    case O::A: out += 'A'; break;
    case O::HL: out += "HL"; break;
    case O::DE: out += "DE"; break;
    case O::SP: out += register_name(kNameSP); break;
    case O::AF: out += "AF"; break;
    case O::AFAlt: out += "AF'"; break;
    case O::SPIndirect: out += "(SP)"; break;
    case O::CIndirect: out += "(C)"; break;
    case O::Restart: {
      char text[4];
      std::snprintf(text, sizeof text, "%02X", unsigned(op_ & 0x38));
      out += text;
      break;
    }
    case O::BitNumber: out += char('0' + high); break;
    case O::Mode0: out += '0'; break;
    case O::Mode1: out += '1'; break;
    case O::Mode2: out += '2'; break;
    case O::IorR: out += (op_ & 0x08) ? 'R' : 'I'; break;
  }
}

u16 Decoder::run(std::string& mnemonic, std::string& op1, std::string& op2, u16& length) {
  mnemonic.clear();
  op1.clear();
  op2.clear();
  const u8 b = peek();
  exact_labels_ = (b & 0xC7) == 0x00 || (b & 0xC7) == 0xC2 || (b & 0xC7) == 0xC4 || b == 0xC3;
  const char* page = kMainPage;
  u16 inline_kind = kInlineNone;
  bool swapped = false;
  switch (b) {
    case 0x08: case 0x10: case 0x18: case 0x28: case 0x38:
      if (!z80_family()) return 1;
      break;
    case 0x20: case 0x30:
      if (!z80_family()) {
        mnemonic = b == 0x20 ? "RIM" : "SIM";
        length = 1;
        return 0;
      }
      break;
    case 0xD9:  // EXX: the 8080 family has no second register set
      if (!z80_family()) return 1;
      break;
    case 0xCB:
      if (!z80_family()) return 1;
      take();
      page = kCbPage;
      break;
    case 0xED: {
      if (!z80_family()) return 1;
      take();
      const u8 x = peek();
      if (Cfg.CpuType == kCpuR800) {
        const char* multiply = nullptr;
        std::string operand;
        if (x == 0xC3) {
          multiply = "MULUW";
          operand = "HL,BC";
        } else if (x == 0xF3) {
          multiply = "MULUW";
          operand = "HL,SP";
        } else if (x == 0xF1) {
          multiply = "MULUB";
          operand = "A,(HL)";
        } else if ((x & 0xE7) == 0xC1) {
          multiply = "MULUB";
          operand = "A,";
          operand += register_name(u16((x >> 2) & 6));
        }
        if (multiply != nullptr) {
          take();
          mnemonic = multiply;
          op1 = operand;
          length = u16(cursor_);
          return 0;
        }
      }
      page = kEdPage;
      break;
    }
    case 0xDD:
    case 0xFD: {
      if (!z80_family()) return 1;
      index_ = b == 0xDD ? 1 : 2;
      take();
      if (peek() == 0xCB) {
        // DD CB d op: the opcode is read before its displacement
        std::swap(Dis.Buffer[2], Dis.Buffer[3]);
        swapped = true;
        take();
        if ((peek() & 7) != 6) {
          std::swap(Dis.Buffer[2], Dis.Buffer[3]);
          return 1;
        }
        page = kCbPage;
      } else {
        const u8 x = peek();
        if (std::find(std::begin(kIndexValid), std::end(kIndexValid), x) == std::end(kIndexValid)) return 1;
      }
      break;
    }
    case 0xCD:
      if (!sym_is_empty()) inline_kind = dis_inline_kind(u16(peek(1) | peek(2) << 8), address_);
      break;
    default:
      break;
  }
  op_ = take();
  const char* name = nullptr;
  u8 format = 0;
  if (!lookup(page, op_, name, format) || format >= std::size(kFormats)) {
    if (swapped) std::swap(Dis.Buffer[2], Dis.Buffer[3]);
    return 1;
  }
  mnemonic = name;
  write(kFormats[format].first, op1);
  if (inline_kind == kInlineNone) {
    write(kFormats[format].second, op2);
  } else {
    inline_operands(inline_kind, op2);
  }
  if (swapped) std::swap(Dis.Buffer[2], Dis.Buffer[3]);
  length = u16(cursor_);
  return 0;
}

// The helper's inline bytes that follow its call.
void Decoder::inline_operands(u16 kind, std::string& out) {
  switch (kind) {
    case kInlineAddress: write(O::Word, out); break;
    case kInlineFloat: {
      // ten bytes behind the call, longer than the buffer: read from the target
      out += fmt_temp_real_text(fmt_read_temp_real(u16(address_ + 3)), kLongDigits);
      cursor_ += 10;
      break;
    }
    case kInlineByteWord:
      write(O::Byte, out);
      out += ',';
      write(O::Word, out);
      break;
    case kInlineByte: write(O::Byte, out); break;
    case kInlineThree:
      write(O::Byte, out);
      out += ',';
      write(O::Byte, out);
      out += ',';
      write(O::Byte, out);
      break;
    default: break;
  }
}

struct InlineHelper {
  u16 toolchain_a, toolchain_b;
  const char* name;
  u16 kind;
  u16 skip_entry;  // a switch helper: the entry size of the table behind the call
};
constexpr InlineHelper kInlineHelpers[] = {
    {1, 5, "PUSHEI", kInlineFloat, 0},
    {1, 5, "LAUTO", kInlineAddress, 0},
    {1, 5, "SAUTO", kInlineAddress, 0},
    {2, 2, "ncsv", kInlineAddress, 0},
    {3, 3, "_?ENT01_L11", kInlineAddress, 0},
    {3, 3, "_?ENT11_L11", kInlineByteWord, 0},
    {3, 3, "_?ENT10_L11", kInlineByte, 0},
    {3, 3, "_?STORE_BITS_C_L04", kInlineThree, 0},
    {3, 3, "_?STORE_BITS_E_L04", kInlineThree, 0},
    {3, 3, "_?LOAD_BITS_L04", kInlineThree, 0},
    {3, 3, "_?VC_SWITCH_L05", kInlineNone, 3},
    {3, 3, "_?VI_SWITCH_L05", kInlineNone, 4},
};

}  // namespace

u16 dis_inline_kind(u16 target, u16 address) {
  for (const InlineHelper& h : kInlineHelpers) {
    if (Sw.ToolchainKind != h.toolchain_a && Sw.ToolchainKind != h.toolchain_b) continue;
    u16 helper = 0;
    // a helper no loader found has no address: a call to 0000 is no helper call
    if (sym_lookup_value(h.name, helper) == 0 || helper == 0 || helper != target) continue;
    if (h.skip_entry != 0) {
      Dis.SkipTable = u16(address + 3);
      Dis.SkipEntrySize = h.skip_entry;
    }
    return h.kind;
  }
  return kInlineNone;
}

void dis_fill_buffer(u16 address) { tgt_read_block(std::span<u8>(Dis.Buffer, kDisBufferSize), address); }

u16 dis_decode_z80(u16 address, std::string& mnemonic, std::string& operand1, std::string& operand2, u16& length) {
  Decoder d(address);
  length = 1;
  return d.run(mnemonic, operand1, operand2, length);
}

void dis_inline_operands(u16 kind, u16 address, u16& cursor, std::string& out) {
  Decoder d(address, cursor);
  d.inline_operands(kind, out);
  cursor = u16(d.cursor());
}

void dis_address_text(u16 value, u16 address, std::string& out) { Decoder(address).word_text(value, out); }

u16 dis_line(u16 address, std::string& text) {
  std::string mnemonic, op1, op2;
  u16 length = 1;
  // The Intel set first when it is selected; after it the Zilog set only on a Z80-family CPU.
  bool decoded = Sw.MnemonicSet == 0 && dis_decode_8080(address, mnemonic, op1, op2, length) == 0;
  if (!decoded && (Sw.MnemonicSet != 0 || z80_family()))
    decoded = dis_decode_z80(address, mnemonic, op1, op2, length) == 0;
  if (!decoded) {
    text = "????";
    return 1;
  }
  // bounded like the system's operand area
  if (op1.size() + op2.size() > kDisOperandArea) op2.resize(kDisOperandArea - std::min(op1.size(), kDisOperandArea));
  text = mnemonic + '\t' + op1 + (op2.empty() ? "" : ",") + op2;
  return length;
}
