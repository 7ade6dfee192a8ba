// The parser and the operator handlers. exp_parse reads a prefix operator or
// a primary, then hands each following operator character to its handler;
// a handler returns 1 when its operator does not bind at the item's level
// (the level ends and the caller sees the character again), 0 otherwise.
// Handlers that fail set the abort word and return 0: the loop then ends
// the level. Every exp_parse call counts against kExpDepthLimit.
#include "halv80/symbols/exp_eval.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/def_names.h"
#include "halv80/symbols/exp_operand.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/sym_types.h"

constinit ExpState Exp;

namespace {

// Precedence levels: an operator binds while the item's level is below its
// number, and parses its right operand at that number.
constexpr u16 kLevelIndex = 5;       // closing ']'
constexpr u16 kLevelBracket = 10;    // closing ')'
constexpr u16 kLevelComma = 12;
constexpr u16 kLevelAssign = 15;     // '=', compound assignments, '++', '--'
constexpr u16 kLevelChoice = 17;     // '?' ':'
constexpr u16 kLevelOrElse = 20;     // '||'
constexpr u16 kLevelAndAlso = 30;    // '&&'
constexpr u16 kLevelBitOr = 40;
constexpr u16 kLevelBitXor = 50;
constexpr u16 kLevelBitAnd = 60;
constexpr u16 kLevelEquality = 70;
constexpr u16 kLevelRelation = 80;
constexpr u16 kLevelShift = 90;
constexpr u16 kLevelAdditive = 100;
constexpr u16 kLevelMultiply = 110;
constexpr u16 kLevelCast = 115;      // the operand of a cast
constexpr u16 kLevelPrefix = 120;    // the operand of a prefix operator
constexpr u16 kLevelPostfix = 130;   // '.', '->', a call

// Target-function calls.
constexpr std::size_t kCallWords = 32;  // argument words at most
constexpr u8 kCallTrap = 0xFF;          // the byte the callee returns onto
constexpr u16 kCallRunMode = 1;         // run-and-wait with the short reply time-out

void fail(u16 code = kExpSyntax) {
  if (Exp.AbortWord == 0) Exp.AbortWord = code;
}
bool aborted() { return Exp.AbortWord != 0; }
bool typed() { return Exp.Mode >= kExpModeTyped; }
u16 level_of(const ExprValue& item) { return item.parser_level.get(); }
bool has_value(const ExprValue& v) { return (v.flags & (kValueScalar | kValueAddress)) != 0; }
bool is_scalar(const ExprValue& v) { return (v.flags & kValueScalar) != 0; }
bool is_address(const ExprValue& v) { return (v.flags & kValueAddress) != 0; }

void skip_blanks() {
  while (*Exp.Cursor != '\0' && u8(*Exp.Cursor) < 0x21) ++Exp.Cursor;
}

// A computed scalar: class 0, flags 0x80, no bit field.
void make_computed(ExprValue& item, u32 value, u32 type) {
  item.storage_class = kStorageComputed;
  item.flags = kValueScalar;
  item.type.set(type);
  item.bit_field.set(0);
  item.value.set(value);
}

// Parses the right operand of an operator at `level` into a fresh item;
// false when it failed.
bool right_operand(ExprValue& right, u16 level) {
  right = ExprValue{};
  exp_parse(right, level);
  return !aborted();
}

// Puts the evaluation mode back on every exit, also when a target read
// unwinds the command.
class ModeScope {
 public:
  explicit ModeScope(i16 mode) : saved_(Exp.Mode) { Exp.Mode = mode; }
  ~ModeScope() { Exp.Mode = saved_; }
  ModeScope(const ModeScope&) = delete;
  ModeScope& operator=(const ModeScope&) = delete;

 private:
  i16 saved_;
};

bool load_text(std::string_view text) {
  if (text.size() >= sizeof Exp.Text) return false;  // longer than any operand
  std::memcpy(Exp.Text, text.data(), text.size());
  Exp.Text[text.size()] = '\0';
  Exp.Cursor = Exp.Text;
  Exp.Depth = 0;
  return true;
}

// --- Types of results ---------------------------------------------------------------

bool unsigned_code(u32 code) {
  const u32 nibble = code & 0x0F;
  return code < 256 && (code & kBasePointerBits) == 0 && nibble >= 4 && nibble <= 6;
}

// Division and remainder are unsigned only when both operands are of an
// unsigned type; an untyped constant counts with the other operand's type.
bool unsigned_division(const ExprValue& a, const ExprValue& b) {
  u32 ta = a.type.get();
  u32 tb = b.type.get();
  if (ta == kTypeUntyped) ta = tb;
  if (tb == kTypeUntyped) tb = ta;
  return unsigned_code(ta) && unsigned_code(tb);
}

// A typed comparison is unsigned when either base type is uchar, uint or ulong.
bool unsigned_comparison(const ExprValue& a, const ExprValue& b) {
  const auto base = [](const ExprValue& v) {
    const u32 b7 = v.type.get() & 0x7F;
    return b7 >= 4 && b7 <= 6;
  };
  return base(a) || base(b);
}

// --- Arithmetic -------------------------------------------------------------------

enum class Arith : u8 { Mul, Div, Mod, Shl, Shr, And, Xor, Or };

u32 arith_value(Arith op, const ExprValue& left, const ExprValue& right) {
  const u32 a = left.value.get();
  const u32 b = right.value.get();
  switch (op) {
    case Arith::Mul: return a * b;
    case Arith::Div:
    case Arith::Mod: {
      if (b == 0) return 0;  // a zero divisor gives 0, no error
      if (unsigned_division(left, right)) return op == Arith::Div ? a / b : a % b;
      const i32 sa = i32(a);
      const i32 sb = i32(b);
      if (sa == INT32_MIN && sb == -1) return op == Arith::Div ? a : 0;  // the one quotient that overflows
      return u32(op == Arith::Div ? sa / sb : sa % sb);
    }
    case Arith::Shl: return a << (b % 32);
    case Arith::Shr: return a >> (b % 32);  // logical
    case Arith::And: return a & b;
    case Arith::Xor: return a ^ b;
    case Arith::Or: return a | b;
  }
  return 0;
}

void arithmetic(ExprValue& item, u16 level, Arith op) {
  ExprValue right;
  if (!right_operand(right, level)) return;
  right.value.set(arith_value(op, item, right));
  exp_combine_result(item, right, level);
}

// Binary operators whose only second character is a compound '='.
u16 simple_operator(ExprValue& item, u16 precedence, Arith op) {
  const u16 level = exp_binds(item, precedence);
  if (level == 0) return 1;
  arithmetic(item, level, op);
  return 0;
}

// Addition and subtraction in the typed modes, with pointer scaling; at level
// 15 (compound assignment, '++', '--') the result is stored into the left
// object in mode 3.
void add_subtract(ExprValue& left, ExprValue& right, bool subtract, u16 level) {
  const bool both_addresses = is_address(left) && is_address(right);
  if (!has_value(left) || !(is_scalar(right) || (subtract && both_addresses))) {
    fail();
    return;
  }
  u32 scale = 1;
  if (is_address(left)) {
    // a pointed-to type without size (void) steps by bytes
    const u32 element = exp_element_type(left.type.get());
    if (const u32 size = exp_type_size(element); size != 0) scale = size;
  }
  const u32 a = left.value.get();
  const u32 b = right.value.get();
  if (both_addresses) {
    make_computed(left, (a - b) / scale, kTypeInt);
    return;
  }
  const u32 result = subtract ? a - b * scale : a + b * scale;
  if (!is_address(left)) {
    right.value.set(result);
    exp_combine_result(left, right, level);
    return;
  }
  if (level == kLevelAssign) {
    if (Exp.Mode != kExpModeCall) {
      fail(kExpSideEffect);
      return;
    }
    ExprValue source = left;
    source.value.set(result);
    if (left.storage_class == kStorageComputed || exp_store_value(left, source) != 0) {
      fail();
      return;
    }
  }
  // an array steps on as a pointer to its element
  std::span<const u8> record;
  const u32 resolved = exp_resolve_type(left.type.get());
  if (sym_type_record(resolved, record) && record[0] == kKindArray) {
    const u32 pointer = exp_make_pointer_type(exp_element_type(resolved), kPointerFar);
    if (pointer == kNoType) return;
    left.type.set(pointer);
  }
  left.storage_class = kStorageComputed;
  left.flags = kValueAddress;
  left.bit_field.set(0);
  left.value.set(result);
}

// '++' and '--' (delta +1 or -1): the object takes the new value; the result
// is the new value, or the old one for the postfix forms.
void step_object(ExprValue& item, bool decrement, bool postfix) {
  if (!typed() || item.storage_class == kStorageComputed) {
    fail();
    return;
  }
  const u32 old = item.value.get();
  ExprValue one{};
  one.flags = kValueScalar;
  one.type.set(kTypeUntyped);
  one.value.set(1);
  add_subtract(item, one, decrement, kLevelAssign);
  if (!aborted() && postfix) item.value.set(old);
}

// --- Casts ---------------------------------------------------------------------------

void apply_cast(ExprValue& item, const ExprValue& cast) {
  item.flags = 0;
  if (item.storage_class != kStorageComputed) {
    ExprValue probe = item;
    const u32 type_class = exp_value_type(probe);
    if (probe.type.get() >= kFirstTypeIndex && (type_class & 0x80) != 0) {
      // of the records without a plain value only an array casts: to its address
      std::span<const u8> record;
      if (!sym_type_record(probe.type.get(), record) || record[0] != kKindArray || cast.flags == 0) {
        fail();
        return;
      }
      u32 register_value = 0;
      bool is_register = false;
      const u32 address = exp_value_address(item, register_value, is_register);
      item.storage_class = kStorageComputed;
      item.value.set(address);
      item.type.set(cast.type.get());
      item.flags = cast.flags;
      item.bit_field.set(0);
      return;
    }
    // the storage is read again as the cast type
    item.type.set(cast.type.get());
    item.bit_field.set(0);
    exp_load_value(item);
    return;
  }
  if (cast.flags == 0) {  // no value of a struct, union or float type can be made
    fail();
    return;
  }
  item.type.set(cast.type.get());
  item.flags = cast.flags;
  item.bit_field.set(0);
}

// --- Prefix handlers (the character is consumed) ---------------------------------

void prefix_error(ExprValue&) { fail(); }

void prefix_not(ExprValue& item) {
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (!has_value(item)) return fail();
  make_computed(item, item.value.get() == 0 ? 1 : 0, kTypeInt);
}

void prefix_address(ExprValue& item) {
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (item.storage_class == kStorageComputed) return fail();  // no object
  u32 register_value = 0;
  bool is_register = false;
  const u32 address = exp_value_address(item, register_value, is_register);
  if (is_register) return fail();  // a register has no address
  const u32 pointer = exp_make_pointer_type(item.type.get(), kPointerFar);
  if (pointer == kNoType) return;
  item.storage_class = kStorageComputed;
  item.flags = kValueAddress;
  item.type.set(pointer);
  item.bit_field.set(0);
  item.value.set(address);
}

void prefix_bracket(ExprValue& item) {
  ExprValue cast{};
  if (const char* after = exp_parse_cast_type(cast, Exp.Cursor)) {
    Exp.Cursor += after - Exp.Cursor;
    if (exp_parse(item, kLevelCast) != 0) return;
    apply_cast(item, cast);
    return;
  }
  if (aborted()) return;  // the type store is full
  if (exp_parse(item, kLevelBracket) != 0) return;
  if (*Exp.Cursor != ')') return fail();
  ++Exp.Cursor;
}

void prefix_star(ExprValue& item) {
  if (Exp.Mode == kExpModeAssembler) return fail();
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (!typed()) {
    make_computed(item, tgt_read_word(u16(item.value.get())), item.type.get());
    return;
  }
  if (exp_select_element(item, 0) == 0) return fail();
  exp_load_value(item);
}

void prefix_plus(ExprValue& item) {
  if (*Exp.Cursor == '+') {
    ++Exp.Cursor;
    if (exp_parse(item, kLevelPrefix) != 0) return;
    step_object(item, false, false);
    return;
  }
  if (level_of(item) > kLevelAssign) return fail();
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (!is_scalar(item)) return fail();
  make_computed(item, item.value.get(), item.type.get());
}

void prefix_minus(ExprValue& item) {
  if (*Exp.Cursor == '-') {
    ++Exp.Cursor;
    if (exp_parse(item, kLevelPrefix) != 0) return;
    step_object(item, true, false);
    return;
  }
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (!is_scalar(item)) return fail();
  make_computed(item, 0u - item.value.get(), item.type.get());
}

void prefix_complement(ExprValue& item) {
  if (level_of(item) > kLevelAssign) return fail();
  if (exp_parse(item, kLevelPrefix) != 0) return;
  if (!is_scalar(item)) return fail();
  make_computed(item, ~item.value.get(), item.type.get());
}

using PrefixHandler = void (*)(ExprValue&);
// ORDER PREFIX: characters 33 ('!') to 45 ('-'); '$' and the apostrophe start
// primaries and never reach the table.
constexpr PrefixHandler kPrefixHandlers[] = {
    prefix_not,      // !
    prefix_error,    // "
    prefix_error,    // #
    prefix_error,    // $ (a hexadecimal number)
    prefix_error,    // %
    prefix_address,  // &
    prefix_error,    // ' (a character constant)
    prefix_bracket,  // ( a cast or a bracketed expression
    prefix_error,    // )
    prefix_star,     // *
    prefix_plus,     // +
    prefix_error,    // ,
    prefix_minus,    // -
};
static_assert(std::size(kPrefixHandlers) == '-' - '!' + 1);

// "VAL(" in mode 0: a typed sub-expression whose scalar becomes the number.
void val_operand(ExprValue& item) {
  {
    ModeScope typed_mode(kExpModeTyped);
    exp_parse(item, kLevelBracket);
  }
  if (aborted()) return;
  if (*Exp.Cursor != ')') return fail();
  ++Exp.Cursor;
  if (!is_scalar(item)) fail();
}

// SIZEOF: of a type name in brackets, else of the operand's type (an untyped
// constant counts 2 bytes).
void sizeof_operand(ExprValue& item) {
  skip_blanks();
  if (*Exp.Cursor == '(') {
    ExprValue cast{};
    if (const char* after = exp_parse_cast_type(cast, Exp.Cursor + 1)) {
      Exp.Cursor += after - Exp.Cursor;
      make_computed(item, exp_type_size(cast.type.get()), kTypeUInt);
      return;
    }
    if (aborted()) return;
  }
  if (exp_parse(item, kLevelPrefix) != 0) return;
  const u32 type = item.type.get();
  make_computed(item, type == kTypeUntyped ? 2 : exp_type_size(type), kTypeUInt);
}

// --- Binary handlers (the operator's first character is consumed) ------------------

u16 op_error(ExprValue&) {
  fail();
  return 0;
}

u16 op_multiply(ExprValue& item) { return simple_operator(item, kLevelMultiply, Arith::Mul); }
u16 op_divide(ExprValue& item) { return simple_operator(item, kLevelMultiply, Arith::Div); }
u16 op_remainder(ExprValue& item) { return simple_operator(item, kLevelMultiply, Arith::Mod); }
u16 op_bit_xor(ExprValue& item) { return simple_operator(item, kLevelBitXor, Arith::Xor); }

// '.' and '->' in the typed modes: the member named up to the next operator
// character, loaded.
u16 member(ExprValue& item, bool arrow) {
  if (level_of(item) >= kLevelPostfix) {
    if (arrow) --Exp.Cursor;  // the '>' is seen again with the '-'
    return 1;
  }
  if (!typed()) return op_error(item);
  if (arrow && exp_select_element(item, 0) == 0) return op_error(item);
  skip_blanks();
  const char* end = exp_token_end(Exp.Cursor);
  const std::string_view name(Exp.Cursor, std::size_t(end - Exp.Cursor));
  if (name.empty() || exp_select_member(item, name) == 0) return op_error(item);
  Exp.Cursor += end - Exp.Cursor;
  exp_load_value(item);
  return 0;
}

u16 op_plus_minus(ExprValue& item, bool minus) {
  if (!typed()) {
    const u16 level = exp_binds(item, kLevelAdditive);
    if (level == 0) return 1;
    ExprValue right;
    if (!right_operand(right, level)) return 0;
    const u32 a = item.value.get();
    const u32 b = right.value.get();
    right.value.set(minus ? a - b : a + b);
    exp_combine_result(item, right, level);
    return 0;
  }
  if (minus && *Exp.Cursor == '>') {
    ++Exp.Cursor;
    return member(item, true);
  }
  if (*Exp.Cursor == (minus ? '-' : '+')) {  // postfix '++' or '--'
    if (level_of(item) > kLevelAssign) return 1;
    ++Exp.Cursor;
    step_object(item, minus, true);
    return 0;
  }
  const u16 level = exp_binds(item, kLevelAdditive);
  if (level == 0) return 1;
  ExprValue right;
  if (!right_operand(right, level)) return 0;
  add_subtract(item, right, minus, level);
  return 0;
}
u16 op_plus(ExprValue& item) { return op_plus_minus(item, false); }
u16 op_minus(ExprValue& item) { return op_plus_minus(item, true); }

// '&&' and '||': both operands are always evaluated.
u16 logical(ExprValue& item, bool and_also) {
  const u16 precedence = and_also ? kLevelAndAlso : kLevelOrElse;
  if (level_of(item) >= precedence) {
    --Exp.Cursor;  // the second character is seen again with the first
    return 1;
  }
  ExprValue right;
  if (!right_operand(right, precedence)) return 0;
  const u32 a = item.value.get();
  const u32 b = right.value.get();
  switch (Exp.Mode) {
    case kExpModeCommand:
      // '&&' tests all 32 bits, '||' the low 16 bits of each
      item.value.set(and_also ? (a != 0 && b != 0) : ((a & 0xFFFF) != 0 || (b & 0xFFFF) != 0));
      break;
    case kExpModeAssembler:
      break;  // the left value stays
    default:
      if (!has_value(item) || !has_value(right)) return op_error(item);
      make_computed(item, and_also ? (a != 0 && b != 0) : (a != 0 || b != 0), kTypeInt);
  }
  return 0;
}

u16 op_ampersand(ExprValue& item) {
  if (*Exp.Cursor == '&') {
    ++Exp.Cursor;
    return logical(item, true);
  }
  return simple_operator(item, kLevelBitAnd, Arith::And);
}

u16 op_bar(ExprValue& item) {
  if (*Exp.Cursor == '|') {
    ++Exp.Cursor;
    return logical(item, false);
  }
  return simple_operator(item, kLevelBitOr, Arith::Or);
}

// '==' and '!=' (the second character is consumed).
u16 equality(ExprValue& item, bool equal) {
  if (level_of(item) >= kLevelEquality) {
    --Exp.Cursor;
    return 1;
  }
  ExprValue right;
  if (!right_operand(right, kLevelEquality)) return 0;
  u32 a = item.value.get();
  u32 b = right.value.get();
  if (!typed()) {
    a &= 0xFFFF;
    b &= 0xFFFF;
  } else if (!has_value(item) || !has_value(right)) {
    return op_error(item);
  }
  make_computed(item, (a == b) == equal ? 1 : 0, kTypeInt);
  return 0;
}

u16 op_exclamation(ExprValue& item) {
  if (*Exp.Cursor != '=') return op_error(item);
  ++Exp.Cursor;
  return equality(item, false);
}

// '<' '>' '<=' '>=' (the '=' is taken before any compound-assignment test)
// and the shifts '<<' '>>' (which may be compound).
u16 op_angle(ExprValue& item, bool less) {
  const char c = less ? '<' : '>';
  if (*Exp.Cursor == c) {
    ++Exp.Cursor;
    const u16 level = exp_binds(item, kLevelShift);
    if (level == 0) {
      --Exp.Cursor;
      return 1;
    }
    arithmetic(item, level, less ? Arith::Shl : Arith::Shr);
    return 0;
  }
  const bool or_equal = *Exp.Cursor == '=';
  if (or_equal) ++Exp.Cursor;
  if (level_of(item) >= kLevelRelation) {
    if (or_equal) --Exp.Cursor;
    return 1;
  }
  ExprValue right;
  if (!right_operand(right, kLevelRelation)) return 0;
  u32 a = item.value.get();
  u32 b = right.value.get();
  bool as_unsigned = true;
  if (!typed()) {
    a &= 0xFFFF;  // command operands compare their low 16 bits
    b &= 0xFFFF;
  } else {
    if (!is_scalar(item) || !is_scalar(right)) return op_error(item);
    as_unsigned = unsigned_comparison(item, right);
  }
  const bool below = as_unsigned ? a < b : i32(a) < i32(b);
  const bool above = as_unsigned ? a > b : i32(a) > i32(b);
  const bool result = less ? (or_equal ? !above : below) : (or_equal ? !below : above);
  make_computed(item, result ? 1 : 0, kTypeInt);
  return 0;
}
u16 op_less(ExprValue& item) { return op_angle(item, true); }
u16 op_greater(ExprValue& item) { return op_angle(item, false); }

// A floating-point number written as text at the cursor, up to the end of
// the text, a ')' or a ','; the cursor moves past it. False when it is none.
bool float_literal(double& out) {
  char* end = Exp.Cursor;
  while (*end != '\0' && *end != ')' && *end != ',') ++end;
  if (!fmt_text_to_double(std::string_view(Exp.Cursor, std::size_t(end - Exp.Cursor)), out)) return false;
  Exp.Cursor = end;
  return true;
}

// The floating value of an item: a float or double object read from the
// target, or an integer value. False when it has neither.
bool float_value(ExprValue& item, double& out) {
  const u16 kind = exp_value_kind(item);
  if (!has_value(item) && (kind == kValueKindFloat || kind == kValueKindDouble) && item.storage_class != kStorageComputed &&
      item.storage_class != kStorageRegister) {
    u32 register_value = 0;
    bool is_register = false;
    const u16 address = u16(exp_value_address(item, register_value, is_register));
    if (kind == kValueKindFloat) {
      SingleBytes b{};
      tgt_read_block(b, address);
      out = fmt_target_single_value(b);
    } else {
      DoubleBytes b{};
      tgt_read_block(b, address);
      out = fmt_target_double_value(b);
    }
    return true;
  }
  if (!is_scalar(item)) return false;
  const u32 v = item.value.get();
  out = unsigned_code(item.type.get()) ? double(v) : double(i32(v));
  return true;
}

// '=' into a float or double object: a number written at the cursor, or the
// value of the expression on the right, in the toolchain's format.
void float_assign(ExprValue& item, bool is_double) {
  skip_blanks();
  double v = 0.0;
  const char c = *Exp.Cursor;
  if (c == '-' || c == '+' || (c >= '0' && c <= '9')) {
    if (!float_literal(v)) return fail();
  } else {
    ExprValue right;
    if (!right_operand(right, kLevelAssign)) return;
    if (!float_value(right, v)) return fail();
  }
  u32 register_value = 0;
  bool is_register = false;
  const u16 address = u16(exp_value_address(item, register_value, is_register));
  if (is_register) return fail();
  if (is_double) {
    const DoubleBytes b = fmt_target_double(v);
    tgt_write_block(b, address);
  } else {
    const SingleBytes b = fmt_target_single(v);
    tgt_write_block(b, address);
  }
  item.storage_class = kStorageComputed;
  item.flags = 0;
  item.bit_field.set(0);
}

// '=': '==', or the assignment (mode 3 only).
u16 op_assign(ExprValue& item) {
  if (*Exp.Cursor == '=') {
    ++Exp.Cursor;
    return equality(item, true);
  }
  if (level_of(item) > kLevelAssign) return 1;
  if (Exp.Mode != kExpModeCall) {
    fail(kExpSideEffect);
    return 0;
  }
  if (item.storage_class == kStorageComputed) return op_error(item);  // no object
  // a float or double is never loaded: it takes a floating-point number
  if (!has_value(item)) {
    const u16 kind = exp_value_kind(item);
    if (kind != kValueKindFloat && kind != kValueKindDouble) return op_error(item);
    float_assign(item, kind == kValueKindDouble);
    return 0;
  }
  ExprValue right;
  if (!right_operand(right, kLevelAssign)) return 0;
  if (!has_value(right) || exp_store_value(item, right) != 0) return op_error(item);
  item.storage_class = kStorageComputed;
  item.bit_field.set(0);
  return 0;
}

u16 op_colon(ExprValue& item) { return op_error(item); }  // outside a '?'

u16 op_comma(ExprValue& item) {
  if (level_of(item) >= kLevelComma) return 1;
  exp_parse(item, kLevelComma);  // the right operand becomes the result
  return 0;
}

u16 op_member(ExprValue& item) { return member(item, false); }

// The closing brackets end the levels that wait for them; with no such
// level open they are unbalanced.
u16 op_close_bracket(ExprValue& item) { return level_of(item) >= kLevelBracket ? 1 : op_error(item); }
u16 op_close_index(ExprValue& item) { return level_of(item) >= kLevelIndex ? 1 : op_error(item); }

u16 op_index(ExprValue& item) {
  if (!typed()) return op_error(item);
  ExprValue index;
  if (!right_operand(index, kLevelIndex)) return 0;
  if (*Exp.Cursor != ']') return op_error(item);
  ++Exp.Cursor;
  if (!is_scalar(index) || exp_select_element(item, i32(index.value.get())) == 0) return op_error(item);
  exp_load_value(item);
  return 0;
}

// '?' ':' in the typed modes. The branches are found by the first ':' (no
// nesting is counted). The else-branch is always evaluated, first; with a
// true condition the then-branch is evaluated after it, on the text cut at
// the ':' for the moment, and its value is the result.
u16 op_choice(ExprValue& item) {
  if (!typed()) return op_error(item);
  if (level_of(item) >= kLevelChoice) return 1;
  if (!has_value(item)) return op_error(item);
  const bool condition = item.value.get() != 0;
  char* then_start = Exp.Cursor;
  char* colon = std::strchr(then_start, ':');
  if (colon == nullptr) return op_error(item);
  Exp.Cursor = colon + 1;
  if (exp_parse(item, kLevelChoice) != 0) return 0;
  if (condition) {
    char* else_end = Exp.Cursor;
    *colon = '\0';
    Exp.Cursor = then_start;
    exp_parse(item, kLevelChoice);
    const bool whole_branch = *Exp.Cursor == '\0';
    *colon = ':';
    if (aborted()) return 0;
    if (!whole_branch) return op_error(item);  // something that is no operand of the branch
    Exp.Cursor = else_end;
  }
  if (!has_value(item)) return op_error(item);
  item.storage_class = kStorageComputed;
  return 0;
}

// --- Function calls --------------------------------------------------------------------

// Puts the register image back on every exit of a call.
class RegisterImageScope {
 public:
  RegisterImageScope() : saved_(Run.Regs) {}
  ~RegisterImageScope() { Run.Regs = saved_; }
  RegisterImageScope(const RegisterImageScope&) = delete;
  RegisterImageScope& operator=(const RegisterImageScope&) = delete;

 private:
  RegisterImage saved_;
};

// Argument words of a value by its size class; 0 for a value that cannot be
// passed (void, aggregates). Floating values are passed apart.
u16 argument_words(ExprValue& arg) {
  if (arg.type.get() == kTypeUntyped) return 1;
  switch (exp_value_kind(arg)) {
    case 2: case 3: case 4: case 8: case 10: return 1;  // char, bool, int and their unsigned forms
    case 6: case 12: case kValueKindPointer: return 2;  // long, ulong, pointers
    default: return 0;
  }
}

// A floating argument as the callee takes it: a double in 4 words, or with
// toolchain kind 3 a float in 2; the words low first.
std::size_t float_argument_words(double v, u16 (&out)[4]) {
  if (Sw.ToolchainKind == 3) {
    const SingleBytes b = fmt_target_single(v);
    out[0] = u16(b[0] | b[1] << 8);
    out[1] = u16(b[2] | b[3] << 8);
    return 2;
  }
  const DoubleBytes b = fmt_target_double(v);
  for (std::size_t i = 0; i < 4; ++i) out[i] = u16(b[2 * i] | b[2 * i + 1] << 8);
  return 4;
}

// The return type of a function record; 0 when it gives none.
u32 return_type_of(u32 function) {
  std::span<const u8> record;
  if (!sym_type_record(exp_resolve_type(function), record)) return kNoType;
  TypeFieldReader r(record, 2);  // after 'u' and 0x80
  u32 type = kNoType;
  return r.type(type) ? type : kNoType;
}

void call_function(ExprValue& item) {
  const RegisterImageScope registers_back;
  const u32 return_type = return_type_of(item.type.get());
  const u32 entry = item.location.get();

  u16 words[kCallWords]{};
  std::size_t count = 0;
  std::size_t first_long = kCallWords;  // word index of the first argument of 2+ words
  skip_blanks();
  if (*Exp.Cursor == ')') {
    ++Exp.Cursor;
  } else {
    for (;;) {
      ExprValue arg;
      char* const start = Exp.Cursor;
      u16 arg_words[4]{};
      std::size_t n = 0;
      double v = 0.0;
      if (right_operand(arg, kLevelComma)) {
        const u16 kind = exp_value_kind(arg);
        if (!has_value(arg) && (kind == kValueKindFloat || kind == kValueKindDouble)) {
          if (!float_value(arg, v)) return fail();
          n = float_argument_words(v, arg_words);
        } else {
          if (!has_value(arg)) return fail();
          n = argument_words(arg);
          for (std::size_t k = 0; k < n && k < 2; ++k) arg_words[k] = u16(arg.value.get() >> (16 * k));
        }
      } else {
        // not an expression: a floating-point number then
        Exp.AbortWord = 0;
        Exp.Cursor = start;
        skip_blanks();
        if (!float_literal(v)) return fail();
        n = float_argument_words(v, arg_words);
      }
      if (n == 0 || n > kCallWords - count) return fail();
      if (n >= 2 && first_long == kCallWords) first_long = count;
      for (std::size_t k = 0; k < n; ++k) words[count++] = arg_words[k];
      skip_blanks();
      const char c = *Exp.Cursor;
      if (c != ',' && c != ')') return fail();  // a missing ','
      ++Exp.Cursor;
      if (c == ')') break;
    }
  }
  if ((Run.ExecutionState & kExecRunning) != 0) return fail();

  RegisterImage& r = Run.Regs;
  std::size_t in_registers = std::min<std::size_t>(count, 3);
  if (Sw.ToolchainKind == 4 && first_long < 3) {
    // a long argument in the first three words goes to the stack whole
    in_registers = first_long;
    if (in_registers > 0) r.de = words[0];
    if (in_registers > 1) r.bc = words[1];
  } else {
    if (in_registers > 0) r.hl = words[0];
    if (in_registers > 1) r.de = words[1];
    if (in_registers > 2) r.bc = words[2];
  }
  // the later words, the last first: the first of them ends lowest
  u16 sp = r.sp;
  for (std::size_t i = count; i > in_registers; --i) {
    sp = u16(sp - 2);
    tgt_write_word(sp, words[i - 1]);
  }
  const u16 pushed = u16(2 * (count - in_registers));
  const u16 return_pc = r.pc;
  const u8 saved_byte = tgt_read_byte(return_pc);
  tgt_write_byte(return_pc, kCallTrap);
  sp = u16(sp - 2);
  tgt_write_word(sp, return_pc);
  r.sp = sp;
  r.pc = u16(entry);
  run_call_and_wait(kCallRunMode);
  tgt_write_byte(return_pc, saved_byte);
  if (RunExec.Refused) return fail();

  ExprValue result{};
  result.type.set(return_type);
  const bool kind4 = Sw.ToolchainKind == 4;
  u32 value = 0;
  switch (exp_value_kind(result)) {
    case 2: value = u32(i32(i8(kind4 ? r.af >> 8 : r.bc))); break;  // char from A or C
    case 8: value = kind4 ? u8(r.af >> 8) : u8(r.bc); break;
    case 4: value = u32(i32(i16(kind4 ? r.hl : r.bc))); break;
    case 10: value = kind4 ? r.hl : r.bc; break;  // toolchain kind 3 takes BC as for int
    case 6:
    case 12:
      value = Sw.ToolchainKind == 3 ? u32(r.de) << 16 | r.bc : tgt_read_long(u16(r.sp + pushed + 4));
      break;
    default:
      return fail();  // a return type without a value
  }
  make_computed(item, value, return_type);
}

u16 op_call(ExprValue& item) {
  if (level_of(item) > kLevelPostfix) return 1;
  if (Exp.Mode != kExpModeCall) {
    fail(kExpSideEffect);
    return 0;
  }
  if (exp_value_type(item) != kClassFunction) return op_error(item);
  call_function(item);
  return 0;
}

using BinaryHandler = u16 (*)(ExprValue&);
// ORDER BINARY: characters 33 ('!') to 47 ('/').
constexpr BinaryHandler kBinaryHandlers[] = {
    op_exclamation,    // !=
    op_error,          // "
    op_error,          // #
    op_error,          // $
    op_remainder,      // %
    op_ampersand,      // & &&
    op_error,          // '
    op_call,           // ( a call
    op_close_bracket,  // )
    op_multiply,       // *
    op_plus,           // + ++
    op_comma,          // ,
    op_minus,          // - -- ->
    op_member,         // .
    op_divide,         // /
};
static_assert(std::size(kBinaryHandlers) == '/' - '!' + 1);
// ORDER BINARY2: characters 58 (':') to 62 ('>').
constexpr BinaryHandler kRelationHandlers[] = {
    op_colon,    // :
    op_error,    // ;
    op_less,     // < << <=
    op_assign,   // = ==
    op_greater,  // > >> >=
};
static_assert(std::size(kRelationHandlers) == '>' - ':' + 1);

u16 run_operator(ExprValue& item, char c) {
  if (c >= '!' && c <= '/') return kBinaryHandlers[c - '!'](item);
  if (c >= ':' && c <= '>') return kRelationHandlers[c - ':'](item);
  switch (c) {
    case '^': return op_bit_xor(item);
    case '|': return op_bar(item);
    case '[': return op_index(item);
    case ']': return op_close_index(item);
    case '?': return op_choice(item);
    default: return op_error(item);
  }
}

// Reads what stands before the first operator: a prefix operator with its
// operand, VAL( (mode 0), SIZEOF (typed modes) or a primary.
void read_operand(ExprValue& item) {
  const char c = *Exp.Cursor;
  if (c >= '!' && c <= '-' && c != '$' && c != '\'') {
    ++Exp.Cursor;
    kPrefixHandlers[c - '!'](item);
    return;
  }
  if (c == '~') {
    ++Exp.Cursor;
    prefix_complement(item);
    return;
  }
  if (Exp.Mode == kExpModeCommand) {
    if (const char* after = sup_match_prefix_nocase("VAL(", Exp.Cursor)) {
      Exp.Cursor += after - Exp.Cursor;
      val_operand(item);
      return;
    }
  }
  if (typed()) {
    const char* after = sup_match_prefix_nocase("SIZEOF", Exp.Cursor);
    if (after != nullptr && (u8(*after) < 0x21 || *after == '(')) {
      Exp.Cursor += after - Exp.Cursor;
      sizeof_operand(item);
      return;
    }
  }
  exp_primary(item);
}

}  // namespace

u16 exp_parse(ExprValue& item, u16 level) {
  if (aborted()) return 1;
  if (Exp.Depth >= kExpDepthLimit) {
    fail();
    return 1;
  }
  ++Exp.Depth;
  const u16 saved_level = level_of(item);
  item.parser_level.set(level);
  skip_blanks();
  read_operand(item);
  for (;;) {
    skip_blanks();
    if (aborted()) {
      // a function name is an operand only when a call follows
      if (Exp.AbortWord != kExpFunctionName || *Exp.Cursor != '(') break;
      Exp.AbortWord = 0;
    }
    const char c = *Exp.Cursor;
    if (c == '\0') {
      // an open bracket still waits for its end
      if (level >= 1 && level <= kLevelBracket) fail();
      break;
    }
    ++Exp.Cursor;
    if (run_operator(item, c) != 0) {
      --Exp.Cursor;  // the caller sees the character again
      break;
    }
  }
  item.parser_level.set(saved_level);
  --Exp.Depth;
  return Exp.AbortWord;
}

u16 exp_binds(ExprValue& item, u16 precedence) {
  if (*Exp.Cursor == '=') {
    if (!typed()) {
      fail();  // no compound assignment in command operands
      return 0;
    }
    if (level_of(item) > kLevelAssign) return 0;
    ++Exp.Cursor;
    return kLevelAssign;
  }
  return level_of(item) < precedence ? precedence : 0;
}

void exp_combine_result(ExprValue& left, ExprValue& right, u16 level) {
  if (!typed()) {
    if (level == kLevelAssign) return fail();
    left.value.set(right.value.get());
    return;
  }
  if (!is_scalar(left) || !is_scalar(right)) return fail();
  if (level == kLevelAssign) {
    if (Exp.Mode != kExpModeCall) return fail(kExpSideEffect);
    if (left.storage_class == kStorageComputed || exp_store_value(left, right) != 0) return fail();
    left.storage_class = kStorageComputed;
    left.flags = kValueScalar;
    left.bit_field.set(0);
    return;
  }
  make_computed(left, right.value.get(), exp_result_type(left.type.get(), right.type.get()));
}

u32 exp_result_type(u32 left, u32 right) {
  const u32 hi = std::max(left, right);
  const u32 lo = std::min(left, right);
  if (hi == kTypeUntyped) return lo;
  if (hi <= 2 || lo > 2) return hi;
  return lo > hi - 2 ? lo : hi;
}

void exp_load_value(ExprValue& item) {
  const u16 level = level_of(item);
  const FmtFetch fetched = fmt_print_value(item, kPrintFetch);
  if (fetched.kind == kFetchScalar) {
    item.flags = kValueScalar;
    item.value.set(fetched.value);
  } else if (fetched.kind == kFetchAddress) {
    item.flags = kValueAddress;
    item.value.set(fetched.value);
  }
  item.parser_level.set(level);
}

u16 exp_evaluate(ExprValue& result, u32 scope_address, std::string_view text, u16 side_effects) {
  Exp.AbortWord = 0;
  const ModeScope mode(side_effects != 0 ? kExpModeCall : kExpModeTyped);
  Exp.ScopeAddress = scope_address;
  if (load_text(def_expand(text)))
    exp_parse(result, 0);
  else
    fail();
  return Exp.AbortWord;
}

// Names in a command operand are looked up in the scope of the PC; without
// debug information, while the code window shows a source file, in the scope
// of that file's first line.
static u32 command_scope_address() {
  char file[kModuleNameSize];
  u16 address = 0;
  if (Sw.ToolchainKind == 16 && exp_shown_source_file(file)) {
    const i32 found = sym_address_from_line(file, 1, address);
    if (found == 1) return address;
  }
  return Run.Regs.pc;
}

u32 exp_eval_number_at_cursor(std::string_view text, std::size_t& used) {
  Exp.AbortWord = 0;
  used = 0;
  Exp.ScopeAddress = command_scope_address();
  if (!load_text(text)) {
    fail();
    return 0;
  }
  ExprValue item{};
  exp_parse(item, 0);
  used = std::size_t(Exp.Cursor - Exp.Text);
  return item.value.get();
}
