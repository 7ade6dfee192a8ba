// The Z80-family line assembler.
#include "halv80/engine/asm_z80.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/intel_8080.h"
#include "halv80/symbols/exp_eval.h"
#include "platform/host/host_text.h"

namespace {

// Operand kinds.
constexpr u8 kReg8 = 0;      // B C D E H L A
constexpr u8 kMem = 1;       // (HL), (IX), (IY), (IX+e), (IX-e), (IY+e), (IY-e)
constexpr u8 kPairMem = 2;   // (BC), (DE)
constexpr u8 kIorR = 3;      // I, R
constexpr u8 kSPMem = 4;     // (SP)
constexpr u8 kCMem = 5;      // (C)
constexpr u8 kAFAlt = 6;     // AF'
constexpr u8 kCond = 8;      // NZ Z NC PO PE P M (C is a register)
constexpr u8 kAF = 47;       // AF
constexpr u8 kSP = 95;       // SP
constexpr u8 kIndex = 111;   // HL, IX, IY
constexpr u8 kPair = 127;    // BC, DE
constexpr u8 kNone = 254;    // no operand
constexpr u8 kExpr = 255;    // anything else: an expression

constexpr u8 kWhole = 0x80;  // on a 4-character name: the operand must end with it

// Values: a register r as r * 9 (destination field AND 38, source field AND
// 07); a condition as its code << 3; a pair as its number << 4; HL, IX, IY as
// 20 with bit 7 for IX and bit 6 for IY; memory as 36 with bit 6 for IX and
// bit 7 for IY.
constexpr u8 kValueA = 0x3F;
constexpr u8 kValueC = 0x09;
constexpr u8 kValueDE = 0x10;
constexpr u8 kValueHL = 0x20;
constexpr u8 kValueMemHL = 0x36;
constexpr u8 kCondC = 0x18;  // the register C as a condition

struct Keyword {
  std::string_view name;  // up to 4 characters
  u8 kind;                // bit 7 on a 4-character name: matched whole
  u8 value;
};
// Searched in this order. A name shorter than 4 characters matches the whole
// operand; a 4-character one the whole operand with kWhole, else its start.
constexpr Keyword kKeywords[] = {
    {"P", kCond, 0x30},          {"A", kReg8, 0x3F},   {"(DE)", kPairMem | kWhole, 0x10},
    {"B", kReg8, 0x00},          {"R", kIorR, 0x08},   {"PE", kCond, 0x28},
    {"C", kReg8, 0x09},          {"BC", kPair, 0x00},  {"D", kReg8, 0x12},
    {"AF", kAF, 0x30},           {"E", kReg8, 0x1B},   {"IX", kIndex, 0xA0},
    {"IY", kIndex, 0x60},        {"(HL)", kMem | kWhole, 0x36},
    {"DE", kPair, 0x10},         {"AF'", kAFAlt, 0x00}, {"PO", kCond, 0x20},
    {"H", kReg8, 0x24},          {"I", kIorR, 0x00},   {"Z", kCond, 0x08},
    {"NZ", kCond, 0x00},         {"SP", kSP, 0x30},    {"L", kReg8, 0x2D},
    {"(IX)", kMem | kWhole, 0x76}, {"M", kCond, 0x38}, {"(IY)", kMem | kWhole, 0xB6},
    {"HL", kIndex, 0x20},        {"(IX+", kMem, 0x76}, {"(C)", kCMem, 0x00},
    {"(SP)", kSPMem | kWhole, 0x00}, {"(IY+", kMem, 0xB6}, {"(BC)", kPairMem | kWhole, 0x00},
    {"(IX-", kMem, 0x76},        {"NC", kCond, 0x10},  {"(IY-", kMem, 0xB6},
};
static_assert(std::size(kKeywords) == 35);

// Encoding routines.
enum class Routine : u8 {
  Plain, Load, PushPop, Exchange, Extended, AddCarry, Arith, IncDec, Mode, Add, Rotate, Bit, BitSet,
  JumpCall, JumpRel, Djnz, Return = 17, Restart, In, Out, In0, Out0, Test, TestIo, Multiply,
};
using R = Routine;

struct Mnemonic {
  const char* name;
  u8 base;
  Routine routine;
};
// ORDER: alphabetical by name.
constexpr Mnemonic kMnemonics[] = {
    {"ADC", 0x88, R::AddCarry}, {"ADD", 0x80, R::Add},       {"AND", 0xA0, R::Arith},
    {"BIT", 0x40, R::Bit},      {"CALL", 0xC4, R::JumpCall}, {"CCF", 0x3F, R::Plain},
    {"CP", 0xB8, R::Arith},     {"CPD", 0xA9, R::Extended},  {"CPDR", 0xB9, R::Extended},
    {"CPI", 0xA1, R::Extended}, {"CPIR", 0xB1, R::Extended}, {"CPL", 0x2F, R::Plain},
    {"DAA", 0x27, R::Plain},    {"DEC", 0x05, R::IncDec},    {"DI", 0xF3, R::Plain},
    {"DJNZ", 0x10, R::Djnz},    {"EI", 0xFB, R::Plain},      {"EX", 0x00, R::Exchange},
    {"EXX", 0xD9, R::Plain},    {"HALT", 0x76, R::Plain},    {"IM", 0x46, R::Mode},
    {"IM0", 0x46, R::Extended}, {"IM1", 0x56, R::Extended},  {"IM2", 0x5E, R::Extended},
    {"IN", 0xDB, R::In},        {"IN0", 0x00, R::In0},       {"INC", 0x04, R::IncDec},
    {"IND", 0xAA, R::Extended}, {"INDR", 0xBA, R::Extended}, {"INI", 0xA2, R::Extended},
    {"INIR", 0xB2, R::Extended}, {"JP", 0xC2, R::JumpCall},  {"JR", 0x18, R::JumpRel},
    {"LD", 0x00, R::Load},      {"LDD", 0xA8, R::Extended},  {"LDDR", 0xB8, R::Extended},
    {"LDI", 0xA0, R::Extended}, {"LDIR", 0xB0, R::Extended}, {"MLT", 0x4C, R::Multiply},
    {"NEG", 0x44, R::Extended}, {"NOP", 0x00, R::Plain},     {"OR", 0xB0, R::Arith},
    {"OTDM", 0x8B, R::Extended}, {"OTDMR", 0x9B, R::Extended}, {"OTDR", 0xBB, R::Extended},
    {"OTIM", 0x83, R::Extended}, {"OTIMR", 0x93, R::Extended}, {"OTIR", 0xB3, R::Extended},
    {"OUT", 0xD3, R::Out},      {"OUT0", 0x01, R::Out0},     {"OUTD", 0xAB, R::Extended},
    {"OUTI", 0xA3, R::Extended}, {"POP", 0xC1, R::PushPop},  {"PUSH", 0xC5, R::PushPop},
    {"RES", 0x80, R::BitSet},   {"RET", 0xC9, R::Return},    {"RETI", 0x4D, R::Extended},
    {"RETN", 0x45, R::Extended}, {"RL", 0x10, R::Rotate},    {"RLA", 0x17, R::Plain},
    {"RLC", 0x00, R::Rotate},   {"RLCA", 0x07, R::Plain},    {"RLD", 0x6F, R::Extended},
    {"RR", 0x18, R::Rotate},    {"RRA", 0x1F, R::Plain},     {"RRC", 0x08, R::Rotate},
    {"RRCA", 0x0F, R::Plain},   {"RRD", 0x67, R::Extended},  {"RST", 0xC7, R::Restart},
    {"SBC", 0x98, R::AddCarry}, {"SCF", 0x37, R::Plain},     {"SET", 0xC0, R::BitSet},
    {"SLA", 0x20, R::Rotate},   {"SLP", 0x76, R::Extended},  {"SRA", 0x28, R::Rotate},
    {"SRL", 0x38, R::Rotate},   {"SUB", 0x90, R::Arith},     {"TST", 0x04, R::Test},
    {"TSTIO", 0x74, R::TestIo}, {"XOR", 0xA8, R::Arith},
};
static_assert(std::size(kMnemonics) == 80);
consteval bool mnemonics_in_order() {
  for (std::size_t i = 1; i < std::size(kMnemonics); ++i)
    if (std::string_view(kMnemonics[i - 1].name) >= std::string_view(kMnemonics[i].name)) return false;
  return true;
}
static_assert(mnemonics_in_order());

struct Operand {
  std::string_view text;  // empty when absent
  u8 kind = kNone;
  u8 value = 0xFF;
  bool whole = false;     // matched a whole-operand keyword: (HL), (IX), (IY), ...
};

void classify(Operand& op) {
  op.kind = kExpr;
  for (const Keyword& k : kKeywords) {
    const bool whole = k.name.size() < 4 || (k.kind & kWhole) != 0;
    if (whole ? op.text.size() != k.name.size() : op.text.size() < k.name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < k.name.size() && same; ++i) same = host_ascii_upper(op.text[i]) == k.name[i];
    if (!same) continue;
    op.kind = k.name.size() == 4 ? u8(k.kind & ~kWhole) : k.kind;
    op.value = k.value;
    op.whole = whole;
    return;
  }
}

// The prefix an index register or indexed memory operand puts first.
constexpr u8 kPrefixIX = 0xDD;
constexpr u8 kPrefixIY = 0xFD;

// One instruction being encoded into Dis.Buffer.
class Encoder {
 public:
  explicit Encoder(u16 address) : address_(address) {}

  bool encode(const Mnemonic& m, const Operand& a, const Operand& b);
  u16 length() const { return u16(length_); }

 private:
  void emit(u8 b) {
    if (length_ < kDisBufferSize) Dis.Buffer[length_++] = b;
  }
  bool byte(const Operand& op);
  bool word(const Operand& op);
  bool port(const Operand& op);
  bool relative(const Operand& op);
  void pair_prefix(const Operand& op);
  void memory_prefix(const Operand& op);
  bool displacement(const Operand& op);
  bool arith(u8 base, const Operand& x);
  bool rotate(u8 op, const Operand& x);
  bool load(const Operand& a, const Operand& b);

  u16 address_;
  std::size_t length_ = 0;
};

bool Encoder::byte(const Operand& op) {
  u32 v = 0;
  if (!asm_eval_operand(op.text, v)) return false;
  emit(u8(v));
  return true;
}

bool Encoder::word(const Operand& op) {
  u32 v = 0;
  if (!asm_eval_operand(op.text, v)) return false;
  emit(u8(v));
  emit(u8(v >> 8));
  return true;
}

// A port number: below 256 in full.
bool Encoder::port(const Operand& op) {
  u32 v = 0;
  if (!asm_eval_operand(op.text, v) || v > 0xFF) return false;
  emit(u8(v));
  return true;
}

// JR and DJNZ: the offset to the target from the next instruction, in 16 bits.
bool Encoder::relative(const Operand& op) {
  u32 target = 0;
  if (!asm_eval_operand(op.text, target)) return false;
  const i16 offset = i16(u16(target - (address_ + 2u)));
  if (offset < -128 || offset > 127) return false;
  emit(u8(offset));
  return true;
}

void Encoder::pair_prefix(const Operand& op) {
  if (op.kind != kIndex) return;
  if (op.value & 0x80) emit(kPrefixIX);
  if (op.value & 0x40) emit(kPrefixIY);
}

void Encoder::memory_prefix(const Operand& op) {
  if (op.kind != kMem) return;
  if (op.value & 0x40) emit(kPrefixIX);
  if (op.value & 0x80) emit(kPrefixIY);
}

// The displacement of (IX+e), (IX-e) or (IX): the text with the register
// replaced by "00" ("(00+e)"), whose full value lies in -128..127.
bool Encoder::displacement(const Operand& op) {
  if (op.kind != kMem || op.value == kValueMemHL) return true;
  std::string text(op.text);
  text[1] = '0';
  text[2] = '0';
  u32 v = 0;
  if (!asm_eval_operand(text, v)) return false;
  if (i32(v) < -128 || i32(v) > 127) return false;
  emit(u8(v));
  return true;
}

// The operand of ADD A,x and its kin: a register, memory, or a byte.
bool Encoder::arith(u8 base, const Operand& x) {
  switch (x.kind) {
    case kReg8: emit(u8(base + (x.value & 7))); return true;
    case kMem:
      memory_prefix(x);
      emit(u8(base + 6));
      return displacement(x);
    case kExpr:
      emit(u8(base + 0x46));
      return byte(x);
    default: return false;
  }
}

// The CB page: CB op+r, or prefix CB e op+6.
bool Encoder::rotate(u8 op, const Operand& x) {
  if (x.kind == kReg8) {
    emit(0xCB);
    emit(u8(op + (x.value & 7)));
    return true;
  }
  if (x.kind != kMem) return false;
  memory_prefix(x);
  emit(0xCB);
  if (!displacement(x)) return false;
  emit(u8(op + 6));
  return true;
}

// An expression in parentheses: a memory address or a port.
bool indirect(const Operand& op) { return op.kind == kExpr && !op.text.empty() && op.text[0] == '('; }

bool Encoder::load(const Operand& a, const Operand& b) {
  const bool b_indirect = indirect(b);
  switch (a.kind) {
    case kReg8:
      switch (b.kind) {
        case kReg8: emit(u8(0x40 + (a.value & 0x38) + (b.value & 7))); return true;
        case kMem:
          memory_prefix(b);
          emit(u8(0x46 + (a.value & 0x38)));
          return displacement(b);
        case kPairMem:  // LD A,(BC) / LD A,(DE)
          if (a.value != kValueA) return false;
          emit(u8(0x0A + b.value));
          return true;
        case kIorR:  // LD A,I / LD A,R
          if (a.value != kValueA) return false;
          emit(0xED);
          emit(u8(0x57 + b.value));
          return true;
        case kExpr:
          if (b_indirect) {  // LD A,(nn)
            if (a.value != kValueA) return false;
            emit(0x3A);
            return word(b);
          }
          emit(u8(0x06 + (a.value & 0x38)));
          return byte(b);
        default: return false;
      }
    case kMem:
      memory_prefix(a);
      if (b.kind == kReg8) {
        emit(u8(0x70 + (b.value & 7)));
        return displacement(a);
      }
      if (b.kind != kExpr) return false;
      emit(0x36);
      return displacement(a) && byte(b);
    case kPairMem:  // LD (BC),A / LD (DE),A
      if (b.kind != kReg8 || b.value != kValueA) return false;
      emit(u8(0x02 + a.value));
      return true;
    case kIorR:  // LD I,A / LD R,A
      if (b.kind != kReg8 || b.value != kValueA) return false;
      emit(0xED);
      emit(u8(0x47 + a.value));
      return true;
    case kIndex:
      if (b.kind != kExpr) return false;
      pair_prefix(a);
      emit(b_indirect ? 0x2A : 0x21);
      return word(b);
    case kSP:
      if (b.kind == kIndex) {
        pair_prefix(b);
        emit(0xF9);
        return true;
      }
      [[fallthrough]];
    case kPair:
      if (b.kind != kExpr) return false;
      if (b_indirect) {
        emit(0xED);
        emit(u8(0x4B + a.value));
      } else {
        emit(u8(0x01 + a.value));
      }
      return word(b);
    case kExpr:  // LD (nn),...
      if (!indirect(a)) return false;
      switch (b.kind) {
        case kReg8:
          if (b.value != kValueA) return false;
          emit(0x32);
          break;
        case kIndex:
          pair_prefix(b);
          emit(0x22);
          break;
        case kPair:
        case kSP:
          emit(0xED);
          emit(u8(0x43 + b.value));
          break;
        default: return false;
      }
      return word(a);
    default: return false;
  }
}

// A condition operand: NZ Z NC C PO PE P M, the register C standing for C.
bool condition(const Operand& op, u8& cc) {
  if (op.kind == kCond) {
    cc = op.value;
    return true;
  }
  if (op.kind == kReg8 && op.value == kValueC) {
    cc = kCondC;
    return true;
  }
  return false;
}

// A register pair of the BC DE HL SP set (HL plain, no index register).
bool plain_pair(const Operand& op) {
  return op.kind == kPair || op.kind == kSP || (op.kind == kIndex && op.value == kValueHL);
}

bool Encoder::encode(const Mnemonic& m, const Operand& a, const Operand& b) {
  const bool none = a.kind == kNone;
  const bool one = a.kind != kNone && b.kind == kNone;
  const bool two = b.kind != kNone;
  u8 cc = 0;
  switch (m.routine) {
    case R::Plain:
      if (!none) return false;
      emit(m.base);
      return true;
    case R::Extended:
      if (!none) return false;
      emit(0xED);
      emit(m.base);
      return true;
    case R::Load: return two && load(a, b);
    case R::PushPop:
      if (!one) return false;
      if (a.kind == kIndex) {
        pair_prefix(a);
        emit(u8(m.base + kValueHL));
        return true;
      }
      if (a.kind != kPair && a.kind != kAF) return false;
      emit(u8(m.base + a.value));
      return true;
    case R::Exchange:
      if (!two) return false;
      if (a.kind == kPair && a.value == kValueDE && b.kind == kIndex && b.value == kValueHL) {
        emit(0xEB);
        return true;
      }
      if (a.kind == kAF && b.kind == kAFAlt) {
        emit(0x08);
        return true;
      }
      if (a.kind == kSPMem && b.kind == kIndex) {
        pair_prefix(b);
        emit(0xE3);
        return true;
      }
      return false;
    case R::AddCarry:
      if (!two) return false;
      if (a.kind == kReg8 && a.value == kValueA) return arith(m.base, b);
      if (a.kind != kIndex || a.value != kValueHL || !plain_pair(b)) return false;
      emit(0xED);
      emit(u8((m.base == 0x88 ? 0x4A : 0x42) + b.value));
      return true;
    case R::Arith: return one && arith(m.base, a);
    case R::IncDec:
      if (!one) return false;
      switch (a.kind) {
        case kReg8: emit(u8(m.base + (a.value & 0x38))); return true;
        case kMem:
          memory_prefix(a);
          emit(u8(m.base + 0x30));
          return displacement(a);
        case kIndex:
        case kPair:
        case kSP:
          pair_prefix(a);
          emit(u8((m.base == 0x04 ? 0x03 : 0x0B) + (a.value & 0x30)));
          return true;
        default: return false;
      }
    case R::Mode: {
      // one character: 0, 1 or 2
      if (!one || a.text.size() != 1 || a.text[0] < '0' || a.text[0] > '2') return false;
      constexpr u8 kModes[] = {0x46, 0x56, 0x5E};
      emit(0xED);
      emit(kModes[a.text[0] - '0']);
      return true;
    }
    case R::Add:
      if (!two) return false;
      if (a.kind == kReg8 && a.value == kValueA) return arith(m.base, b);
      if (a.kind != kIndex) return false;
      // ADD HL,HL / ADD IX,IX / ADD IY,IY; never a mix of the three
      if (b.kind == kIndex ? b.value != a.value : (b.kind != kPair && b.kind != kSP)) return false;
      pair_prefix(a);
      emit(u8(0x09 + (b.value & 0x30)));
      return true;
    case R::Rotate: return one && rotate(m.base, a);
    case R::Bit:
    case R::BitSet:
      // the bit number is one digit 0..7
      if (!two || a.text.size() != 1 || a.text[0] < '0' || a.text[0] > '7') return false;
      return rotate(u8(m.base + 8 * (a.text[0] - '0')), b);
    case R::JumpCall:
      if (one) {
        if (a.kind == kExpr) {
          emit(m.base == 0xC2 ? 0xC3 : 0xCD);
          return word(a);
        }
        // JP (HL) / (IX) / (IY)
        if (m.base != 0xC2 || a.kind != kMem || !a.whole) return false;
        memory_prefix(a);
        emit(0xE9);
        return true;
      }
      if (!two || !condition(a, cc) || b.kind != kExpr) return false;
      emit(u8(m.base + cc));
      return word(b);
    case R::JumpRel:
      if (one) {
        if (a.kind != kExpr) return false;
        emit(0x18);
        return relative(a);
      }
      // NZ Z NC C only
      if (!two || !condition(a, cc) || cc > kCondC || b.kind != kExpr) return false;
      emit(u8(0x20 + cc));
      return relative(b);
    case R::Djnz:
      if (!one || a.kind != kExpr) return false;
      emit(0x10);
      return relative(a);
    case R::Return:
      if (none) {
        emit(0xC9);
        return true;
      }
      if (!one || !condition(a, cc)) return false;
      emit(u8(0xC0 + cc));
      return true;
    case R::Restart: {
      u32 v = 0;
      // a vector address 00, 08, .. 38: no other bits in the full value
      if (!one || a.kind != kExpr || !asm_eval_operand(a.text, v) || (v & ~u32(0x38)) != 0) return false;
      emit(u8(0xC7 + v));
      return true;
    }
    case R::In:
      if (!two || a.kind != kReg8) return false;
      if (b.kind == kCMem) {
        emit(0xED);
        emit(u8(0x40 + (a.value & 0x38)));
        return true;
      }
      if (b.kind != kExpr || a.value != kValueA) return false;
      emit(0xDB);
      return port(b);
    case R::Out:
      if (!two || b.kind != kReg8) return false;
      if (a.kind == kCMem) {
        emit(0xED);
        emit(u8(0x41 + (b.value & 0x38)));
        return true;
      }
      if (a.kind != kExpr || b.value != kValueA) return false;
      emit(0xD3);
      return port(a);
    case R::In0:
      if (!two || a.kind != kReg8 || b.kind != kExpr) return false;
      emit(0xED);
      emit(u8(0x00 + (a.value & 0x38)));
      return port(b);
    case R::Out0:
      if (!two || a.kind != kExpr || b.kind != kReg8) return false;
      emit(0xED);
      emit(u8(0x01 + (b.value & 0x38)));
      return port(a);
    case R::Test:
      if (!one) return false;
      emit(0xED);
      if (a.kind == kReg8) {
        emit(u8(0x04 + (a.value & 0x38)));
        return true;
      }
      if (a.kind == kMem && a.value == kValueMemHL) {
        emit(0x34);
        return true;
      }
      if (a.kind != kExpr) return false;
      emit(0x64);
      return byte(a);
    case R::TestIo:
      if (!one || a.kind != kExpr) return false;
      emit(0xED);
      emit(0x74);
      return byte(a);
    case R::Multiply:
      if (!one || !plain_pair(a)) return false;
      emit(0xED);
      emit(u8(0x4C + a.value));
      return true;
  }
  return false;
}

// The R800 multiplies: MULUB A,r (B C D E) and A,(HL); MULUW HL,BC and HL,SP.
bool r800_multiply(std::string_view name, const Operand& a, const Operand& b, u16& length) {
  const bool byte = name == "MULUB";
  if (b.kind == kNone) return false;
  if (byte) {
    if (a.kind != kReg8 || a.value != kValueA) return false;
    Dis.Buffer[0] = 0xED;
    if (b.kind == kMem && b.value == kValueMemHL) {
      Dis.Buffer[1] = 0xF1;
    } else if (b.kind == kReg8 && (b.value & 7) <= 3) {
      Dis.Buffer[1] = u8(0xC1 + 8 * (b.value & 7));
    } else {
      return false;
    }
  } else {
    if (a.kind != kIndex || a.value != kValueHL) return false;
    Dis.Buffer[0] = 0xED;
    if (b.kind == kPair && b.value == 0x00)
      Dis.Buffer[1] = 0xC3;
    else if (b.kind == kSP)
      Dis.Buffer[1] = 0xF3;
    else
      return false;
  }
  length = 2;
  return true;
}

// One operand text, whole, through the expression evaluator in its
// assembler mode; text it leaves over is an error.
bool read_whole(std::string_view text, u32& value) {
  std::size_t used = 0;
  Exp.Mode = kExpModeAssembler;
  value = exp_eval_number_at_cursor(text, used);
  Exp.Mode = kExpModeCommand;
  return Exp.AbortWord == 0 && used == text.size();
}

}  // namespace

bool asm_eval_operand(std::string_view text, u32& value) {
  value = 0;
  if (read_whole(text, value)) return true;
  Cmd.AbortFlag = 1;
  return false;
}

u16 asm_take_words(AsmWords& w) {
  Cmd.AbortFlag = 0;
  asm_split_words(w);
  if (w.count == 0) return 0;
  if (w.surplus) {
    Cmd.AbortFlag = 1;
    return 0;
  }
  for (char* c = w.word[0]; *c != '\0'; ++c) *c = host_ascii_upper(*c);
  return w.count;
}

void asm_split_words(AsmWords& w) {
  std::memcpy(w.text, Cmd.CommandLine, sizeof w.text);
  w.text[sizeof w.text - 1] = '\0';
  const auto blank = [](char c) { return u8(c) <= 0x20 || u8(c) >= 0x80; };
  w.count = 0;
  char* p = w.text;
  char ending = '\0';
  while (w.count < std::size(w.word)) {
    while (*p != '\0' && blank(*p)) ++p;
    if (*p == '\0') break;
    w.word[w.count++] = p;
    while (*p != '\0' && !blank(*p) && *p != ',') ++p;
    ending = *p;
    if (*p != '\0') *p++ = '\0';
  }
  while (*p != '\0' && blank(*p)) ++p;
  w.surplus = ending == ',' || *p != '\0';
}

u16 asm_line(u16 address) {
  if (Sw.MnemonicSet == 0) {
    const u16 length = asm_line_8080();
    // not Intel text: a Z80-family CPU tries it as Zilog text
    if (Cmd.AbortFlag == 0 || Cfg.CpuType == kCpu8080) return length;
  }
  AsmWords w;
  if (asm_take_words(w) == 0) return 0;
  const auto fail = [] {
    Cmd.AbortFlag = 1;
    return u16(0);
  };
  const std::string_view name = w.word[0];
  Operand a, b;
  if (w.count > 1) {
    a.text = w.word[1];
    classify(a);
  }
  if (w.count > 2) {
    b.text = w.word[2];
    classify(b);
  }
  u16 length = 0;
  if (Cfg.CpuType == kCpu8080 && (name == "RIM" || name == "SIM")) {
    if (w.count > 1) return fail();
    Dis.Buffer[0] = name == "RIM" ? 0x20 : 0x30;
    return 1;
  }
  if (Cfg.CpuType == kCpuR800 && (name == "MULUB" || name == "MULUW")) {
    if (!r800_multiply(name, a, b, length)) return fail();
    return length;
  }
  const auto m = std::find_if(std::begin(kMnemonics), std::end(kMnemonics),
                              [&](const Mnemonic& e) { return name == e.name; });
  if (m == std::end(kMnemonics)) return fail();
  Encoder e(address);
  if (!e.encode(*m, a, b) || Cmd.AbortFlag != 0) return fail();
  length = e.length();
  if (Cfg.CpuType == kCpu8080) {
    // what the 8080 family lacks the decoder refuses: prefixes, JR, DJNZ, EX AF,AF', EXX
    std::string mnemonic, op1, op2;
    u16 decoded = 0;
    if (dis_decode_z80(address, mnemonic, op1, op2, decoded) != 0) return fail();
  }
  return length;
}
