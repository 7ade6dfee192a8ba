// The value formatter: print or fetch an item by its type class. Scalars are
// read by their size from the item's address (or taken from the item when it
// already holds one), bit-field members are cut out of their word, pointers
// and arrays hand back an address; arrays and structs print as inline
// listings whose elements and members go through the same routine.
#include "halv80/symbols/fmt_value.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_text.h"

constinit FmtValueState FmtVal;

namespace {

constexpr u32 kNibbleChar = 0, kNibbleInt = 1, kNibbleLong = 2, kNibbleUChar = 4, kNibbleUInt = 5;
constexpr u32 kNibbleULong = 6, kNibbleFloat = 8, kNibbleDouble = 9, kNibbleFloat2 = 12;
constexpr u32 kNibbleDouble2 = 13, kNibbleBool = 14, kNibbleVoid = 15;

// Kinds of the integer printer.
enum class IntKind { Unsigned, Char, Int, Long };

// Bits of the word a bit field is cut from: the 16-bit word at the item's
// address, or the 32-bit value an item already holds.
constexpr u32 kFieldWordBits = 16;
constexpr u32 kFieldValueBits = 32;

// The type-name printer collects at most this many array dimensions.
constexpr int kDimensionsMax = 8;

FmtFetch scalar(u32 value) { return {kFetchScalar, value}; }

// A bit field's place: false when its width or offset cannot be cut from a
// word of `word_bits` bits (a damaged record).
bool bit_field_valid(u16 bits, u32 word_bits) {
  const u32 offset = bits & 0xFF;
  const u32 width = bits >> 8;
  return width >= 1 && width < 32 && offset + width <= word_bits;
}

// The field cut out of its word; a long field is sign-extended. The caller
// checked the field with bit_field_valid.
u32 cut_field(u16 bits, u32 nibble, u32 word) {
  const u32 offset = bits & 0xFF;
  const u32 width = bits >> 8;
  const u32 mask = (1u << width) - 1;
  u32 field = (word >> offset) & mask;
  if (nibble == kNibbleLong && ((field >> (width - 1)) & 1) != 0) field |= ~mask;
  return field;
}

// The word a bit field of an item that is not loaded is cut from.
u32 field_word(bool is_register, u32 register_value, u32 address) {
  return is_register ? register_value : tgt_read_word(u16(address));
}

// --- Output -----------------------------------------------------------------

void put_escaped(u8 c) {
  static constexpr char kLetters[] = "abtnvfr";
  if ((c >= 32 && c <= 126) || (c >= 160 && c <= 223)) {
    if (c == '\\') con_putc('\\');
    con_putc(c);
  } else if (c >= 7 && c <= 13) {
    con_putc('\\');
    con_putc(u8(kLetters[c - 7]));
  } else if (c == 0) {
    con_puts("\\0");
  } else {
    con_printf("\\x%02x", c);
  }
}

// The integer printer. `hex_mask` cuts the hexadecimal part (and the inline
// hexadecimal form) to the kind's width, or to a bit field's.
void print_integer(u32 value, IntKind kind, u16 mode, u32 hex_mask) {
  const bool is_signed = kind != IntKind::Unsigned;
  if (mode == kPrintFull) {
    con_printf(is_signed ? "%ld (0x%lx)" : "%lu (0x%lx)", value, value & hex_mask);
  } else if (Cmd.Radix != 10) {
    con_printf("%lx", value & hex_mask);
  } else {
    con_printf(is_signed ? "%ld" : "%lu", value);
  }
}

u32 kind_mask(IntKind kind) { return kind == IntKind::Char ? 0xFF : kind == IntKind::Int ? 0xFFFF : 0xFFFFFFFF; }

// The character printer: full form "'c'" padded to 5 columns, then the code.
void print_character(u32 value, bool is_signed, u16 mode) {
  if (mode != kPrintFull) {
    print_integer(is_signed ? u32(i32(i8(value))) : u8(value), is_signed ? IntKind::Char : IntKind::Unsigned, mode,
                  0xFF);
    return;
  }
  const u16 start = Scan.CaptureBuffer != nullptr ? Scan.CaptureCount : Con.Column;
  con_putc('\'');
  put_escaped(u8(value));
  con_putc('\'');
  const u16 now = Scan.CaptureBuffer != nullptr ? Scan.CaptureCount : Con.Column;
  for (u16 width = u16(now - start); width < 5; ++width) con_putc(' ');
  if (is_signed)
    con_printf("%3d (0x%x)", u32(i32(i8(value))), u8(value));
  else
    con_printf("%3u (0x%x)", u8(value), u8(value));
}

// A float (4 bytes) or double (8 bytes) of the target at `address`.
void print_float(u32 address, bool is_double) {
  if (is_double) {
    DoubleBytes d{};
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = tgt_read_byte(u16(address + i));
    con_puts(fmt_float_text(d, kLongDigits));
    return;
  }
  SingleBytes s{};
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = tgt_read_byte(u16(address + i));
  con_puts(fmt_double_text(fmt_target_single_value(s), kShortDigits));
}

// The length of the zero-terminated string at `address`, at most `limit`.
u32 string_length(u32 address, u32 limit) {
  u32 n = 0;
  while (n < limit && tgt_read_byte(u16(address + n)) != 0) ++n;
  return n;
}

// --- Enumerations -------------------------------------------------------------

// An enumerator's value field: 0x88 u8, 0x89 u16, 0x90 u32, else the byte
// itself. False when it runs past the record.
bool enum_value(TypeFieldReader& r, u32& out) {
  u8 tag = 0;
  if (!r.byte(tag)) return false;
  if (tag == kFieldNumber8) {
    u8 v = 0;
    if (!r.byte(v)) return false;
    out = v;
  } else if (tag == kFieldNumber16) {
    u16 v = 0;
    if (!r.u16le(v)) return false;
    out = v;
  } else if (tag == kFieldNumber32) {
    if (!r.u32le(out)) return false;
  } else {
    out = tag;
  }
  return true;
}

// Prints the enumerator named for `value` of the enum record (the name alone
// inline; the name and " (value)" in full form), or " (value)" when none is.
// The walk stays inside the record.
void print_enum(u32 type, i32 value, u16 mode) {
  std::span<const u8> record;
  std::span<const u8> found;
  if (sym_type_record(type, record) && record[0] == kKindEnum) {
    TypeFieldReader r(record, 1);
    std::span<const u8> tag;
    if (r.name(tag)) {
      const u32 mask = Sw.ToolchainKind == 5 ? 0xFF : 0xFFFF;
      std::span<const u8> name;
      u32 v = 0;
      while (r.remaining() > 0 && r.name(name) && enum_value(r, v)) {
        if ((v & mask) == (u32(value) & mask)) {
          found = name;
          break;
        }
      }
    }
  }
  if (!found.empty()) {
    for (const u8 c : found) con_putc(c);
    if (mode == kPrintInline) return;
  }
  con_printf(" (%ld)", u32(value));
}

// --- Listings ------------------------------------------------------------------

void print_array(ExprValue& item, u32 address);
void print_struct(ExprValue& item);

// The first item a print touched, for the inspect window.
void record_first(const ExprValue& item, u32 type_class, u32 pointer_value) {
  if (FmtVal.FirstKind != kFirstNone) return;
  FmtVal.FirstItem = item;
  if (type_class == kClassAggregate) {
    std::span<const u8> record;
    if (!sym_type_record(item.type.get(), record)) return;
    if (record[0] == kKindArray) {
      FmtVal.FirstKind = kFirstArray;
      FmtVal.FirstElementCount = exp_array_count(item.type.get());
      FmtVal.FirstElementSize = exp_type_size(exp_element_type(item.type.get()));
    } else {
      std::span<const u8> members;
      ExpMemberList list;
      if (!exp_member_list(item.type.get(), members, list)) return;
      FmtVal.FirstKind = kFirstStruct;
      FmtVal.FirstMemberCount = list.count;
      FmtVal.FirstMembers = list;
    }
    return;
  }
  if ((type_class & kBasePointerBits) != 0) {
    FmtVal.FirstKind = kFirstPointer;
    FmtVal.FirstStringLength =
        (type_class & kClassString) != 0 && pointer_value != 0 ? string_length(pointer_value, kFirstStringMax) : 0;
    return;
  }
  FmtVal.FirstKind = kFirstScalar;
}

// The pointer printer: '*' and a pointer's value, or '@' and an aggregate's
// address, as 4 hexadecimal digits; a pointer to char that is not 0 is
// followed by its string.
u32 pointer_value(const ExprValue& item, bool aggregate, u32 address, bool is_register, u32 register_value) {
  if ((item.flags & kValueAddress) != 0) return item.value.get();
  if (aggregate) return address;
  if (is_register) return register_value;
  return tgt_read_word(u16(address));
}

void print_pointer(u32 value, bool aggregate, bool string) {
  con_putc(aggregate ? '@' : '*');
  con_printf("%04X", value & 0xFFFF);
  if (string && value != 0) {
    con_putc(' ');
    fmt_print_string(value, 0);
  }
}

// A scalar of base nibble `nibble` whose value is known.
void print_scalar_value(u32 nibble, u32 value, u16 mode, u32 hex_mask) {
  switch (nibble) {
    case kNibbleChar: print_character(value, true, mode); break;
    case kNibbleUChar: print_character(value, false, mode); break;
    case kNibbleBool: con_puts(value != 0 ? "true" : "false"); break;
    case kNibbleInt: print_integer(value, IntKind::Int, mode, std::min(hex_mask, kind_mask(IntKind::Int))); break;
    case kNibbleLong: print_integer(value, IntKind::Long, mode, hex_mask); break;
    default: print_integer(value, IntKind::Unsigned, mode, hex_mask); break;  // uint, ulong
  }
}

}  // namespace

void fmt_value_reset() { FmtVal = FmtValueState{}; }

void fmt_first_item_clear() {
  FmtVal.FirstKind = kFirstNone;
  FmtVal.FirstItem = ExprValue{};
  FmtVal.FirstStringLength = 0;
  FmtVal.FirstMemberCount = 0;
  FmtVal.FirstMembers = ExpMemberList{};
  FmtVal.FirstElementCount = 0;
  FmtVal.FirstElementSize = 0;
}

void fmt_capture_reset() {
  FmtVal.AddressTaken = 0;
  FmtVal.ItemAddress = 0;
  FmtVal.ItemRegister = 0xFFFF;
  FmtVal.StringTaken = 0;
  FmtVal.StringAddress = 0;
  FmtVal.StringLength = 0;
}

bool fmt_output_full() {
  if (Scan.OutputDiversion) return false;
  if (Scan.CaptureBuffer != nullptr)
    return Scan.CaptureCount >= std::min<std::size_t>(kCaptureLimit, Scan.CaptureSize - 1);
  return Con.Column + 1u >= Con.Width;
}

void fmt_print_string(u32 address, u32 length) {
  const u32 limit = length == 0 ? kStringReadMax : length;
  if (!FmtVal.StringTaken) {
    FmtVal.StringTaken = 1;
    FmtVal.StringAddress = address;
    FmtVal.StringLength = length;
  }
  con_putc('"');
  for (u32 i = 0; i < limit; ++i) {
    if (fmt_output_full()) return;  // no room for the rest, nor for the quote
    const u8 c = tgt_read_byte(u16(address + i));
    if (length == 0 && c == 0) break;
    if (host_cp932_lead(c) && i + 1 < limit) {
      const u8 trail = tgt_read_byte(u16(address + i + 1));
      if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC)) {  // a valid second byte
        con_putc(c);
        con_putc(trail);
        ++i;
        continue;
      }
    }
    put_escaped(c);
  }
  con_putc('"');
}

FmtFetch fmt_print_value(ExprValue& item, u16 mode) {
  const bool fetch = mode == kPrintFetch;
  u32 type_class = exp_value_type(item);
  u32 value_of_register = 0;
  bool is_register = false;
  const u32 address = exp_value_address(item, value_of_register, is_register);
  const bool loaded_scalar = (item.flags & kValueScalar) != 0;

  if (!fetch && !FmtVal.AddressTaken) {
    FmtVal.AddressTaken = 1;
    FmtVal.ItemAddress = address;
    FmtVal.ItemRegister = is_register ? u16(item.location.get()) : 0xFFFF;
  }

  if (type_class == kClassFunction) {
    if (!fetch) {
      record_first(item, type_class, 0);
      con_printf("fnction @%lx", address);
    }
    return {};
  }

  if (type_class == kClassEnum) {
    // an enumeration is an int (a char for toolchain kind 5)
    if (fetch) {
      type_class = Sw.ToolchainKind == 5 ? 0x80 : 0x81;
    } else {
      record_first(item, type_class, 0);
      const u16 bits = item.bit_field.get();
      i32 value = 0;
      if (bits != 0) {
        if (!bit_field_valid(bits, loaded_scalar ? kFieldValueBits : kFieldWordBits)) {
          con_puts(kBitFieldInvalid);
          return {};
        }
        value = loaded_scalar ? i32(item.value.get()) : i32(cut_field(bits, kNibbleUInt, field_word(is_register, value_of_register, address)));
      } else if (is_register) {
        value = i32(i16(value_of_register));
      } else if (Sw.ToolchainKind == 5) {
        value = i32(i8(tgt_read_byte(u16(address))));
      } else {
        value = i32(i16(tgt_read_word(u16(address))));
      }
      print_enum(item.type.get(), value, mode);
      return {};
    }
  }
  if (type_class == kClassBitField) type_class = 0x85;  // a bit-field record reads as unsigned int

  if ((type_class & kBasePointerBits) != 0) {
    const bool aggregate = type_class == kClassAggregate;
    std::span<const u8> record;
    if (aggregate && !sym_type_record(item.type.get(), record)) return {};
    const bool is_array = aggregate && record[0] == kKindArray;
    const u32 value = pointer_value(item, aggregate, address, is_register, value_of_register);
    if (fetch) {
      if (aggregate && !is_array) return {};  // a struct or union has no value
      return {kFetchAddress, value};
    }
    record_first(item, type_class, value);
    if (mode == kPrintFull || !aggregate) print_pointer(value, aggregate, (type_class & kClassString) != 0);
    if (aggregate) {
      con_putc(' ');
      if (is_array) {
        ExprValue array = item;
        print_array(array, value);
      } else if (record[0] == kKindStruct || record[0] == kKindUnion) {
        ExprValue s = item;
        print_struct(s);
      } else {
        cmd_internal_error();  // an aggregate class of another record kind
      }
    }
    return {};
  }

  // A fetch gives an item without a type no value; printed, code 0 is the
  // base code of nibble 0 (char), as the class table has it.
  if (type_class == 0 && fetch) return {};
  if (type_class >= 256) {
    if (fetch) return {};  // a class a fetch does not know
    cmd_internal_error();
  }

  const u32 nibble = type_class & 0x0F;
  if (!fetch) record_first(item, type_class, 0);
  switch (nibble) {
    case kNibbleVoid:
      if (!fetch) con_puts("void ");
      return {};
    case kNibbleFloat:
    case kNibbleFloat2:
    case kNibbleDouble:
    case kNibbleDouble2:
      if (!fetch) print_float(address, nibble == kNibbleDouble || nibble == kNibbleDouble2);
      return {};
    case kNibbleChar:
    case kNibbleInt:
    case kNibbleLong:
    case kNibbleUChar:
    case kNibbleUInt:
    case kNibbleULong:
    case kNibbleBool:
      break;
    default:
      if (fetch) return {};
      cmd_internal_error();  // a base nibble that is no type
  }

  u32 value = 0;
  u32 hex_mask = 0xFFFFFFFF;
  if (const u16 bits = item.bit_field.get(); bits != 0) {
    if (!bit_field_valid(bits, loaded_scalar ? kFieldValueBits : kFieldWordBits)) {
      if (!fetch) con_puts(kBitFieldInvalid);
      return {};
    }
    // a loaded item holds its field already (the evaluator's load cut it)
    value = loaded_scalar ? item.value.get() : cut_field(bits, nibble, field_word(is_register, value_of_register, address));
    if (nibble == kNibbleLong) hex_mask = (1u << (bits >> 8)) - 1;
  } else if (loaded_scalar) {
    value = nibble == kNibbleUInt ? item.value.get() & 0xFFFF : item.value.get();
  } else {
    const u32 raw = is_register ? value_of_register : 0;
    switch (nibble) {
      case kNibbleChar: value = u32(i32(i8(is_register ? raw : tgt_read_byte(u16(address))))); break;
      case kNibbleUChar: value = u8(is_register ? raw : tgt_read_byte(u16(address))); break;
      case kNibbleBool: value = (is_register ? raw : tgt_read_byte(u16(address))) != 0 ? 1 : 0; break;
      case kNibbleInt: value = u32(i32(i16(is_register ? raw : tgt_read_word(u16(address))))); break;
      case kNibbleUInt: value = u16(is_register ? raw : tgt_read_word(u16(address))); break;
      default: value = is_register ? raw : tgt_read_long(u16(address)); break;  // long, ulong
    }
  }
  if (fetch) return scalar(nibble == kNibbleBool ? (value != 0 ? 1 : 0) : value);
  print_scalar_value(nibble, value, mode, hex_mask);
  return {};
}

namespace {

// The array listing, always inline: a string for 1-byte elements that are not
// bool, else '{', the elements separated by ',', '}'.
void print_array(ExprValue& item, u32 address) {
  const u32 element = exp_element_type(item.type.get());
  const u32 element_size = exp_type_size(element);
  const u32 count = exp_array_count(item.type.get());
  const u32 resolved = exp_resolve_type(element);
  const bool is_bool = resolved < 256 && (resolved & kBasePointerBits) == 0 && (resolved & 0x0F) == kNibbleBool;
  if (element_size == 1 && !is_bool) {
    if (count != 0) fmt_print_string(address, count);
    else con_puts("\"\"");
    return;
  }
  const u16 saved = FmtVal.ListingMode;
  FmtVal.ListingMode = kPrintInline;
  con_putc('{');
  const u32 shown = std::min(count, kListingItemsMax);
  for (u32 i = 0; i < shown; ++i) {
    if (fmt_output_full()) break;
    if (i != 0) con_putc(',');
    ExprValue e = item;
    if (exp_select_element(e, i32(i)) == 0) break;
    fmt_print_value(e, kPrintInline);
  }
  if (!fmt_output_full()) con_putc('}');
  FmtVal.ListingMode = saved;
}

// The struct listing, always inline: '{', name=value of each member
// separated by ',', '}'.
void print_struct(ExprValue& item) {
  std::span<const u8> record;
  ExpMemberList list;
  if (!exp_member_list(item.type.get(), record, list)) {
    con_puts("{}");
    return;
  }
  const u16 saved = FmtVal.ListingMode;
  FmtVal.ListingMode = kPrintInline;
  con_putc('{');
  TypeFieldReader types(record, list.types);
  TypeFieldReader names(record, list.names);
  const u32 shown = std::min(list.count, kListingItemsMax);
  for (u32 i = 0; i < shown; ++i) {
    u32 member_type = kNoType;
    std::span<const u8> name;
    u32 offset = 0;
    u16 bits = 0;
    if (!types.type(member_type) || !names.name(name) || !names.position_field(offset, bits)) break;
    if (fmt_output_full()) break;
    if (i != 0) con_putc(',');
    for (const u8 c : name) con_putc(c);
    con_putc('=');
    ExprValue m = item;
    const std::string member(name.begin(), name.end());
    if (exp_select_member(m, member) == 0) break;
    fmt_print_value(m, kPrintInline);
  }
  if (!fmt_output_full()) con_putc('}');
  FmtVal.ListingMode = saved;
}

// --- Type names ----------------------------------------------------------------

struct TypeNameState {
  u32 total[kDimensionsMax];
  u32 element[kDimensionsMax];
  int dimensions = 0;
  bool function = false;
};

constexpr const char* kBaseNames[16] = {"char",  "int",    "long", "", "uchar", "uint", "ulong", "",
                                        "float", "double", "",     "", "float", "double", "",    ""};

void put_name_field(std::span<const u8> name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (host_cp932_lead(name[i]) && i + 1 < name.size()) {
      con_putc(name[i]);
      con_putc(name[++i]);
      continue;
    }
    con_putc(name[i]);
  }
  con_putc(' ');
}

void collect_dimension(TypeNameState& s, u32 total, u32 element) {
  if (s.dimensions >= kDimensionsMax) return;
  s.total[s.dimensions] = total;
  s.element[s.dimensions] = element;
  ++s.dimensions;
}

// A struct record with more than one member, all at offset 0, is a union.
bool all_at_offset_zero(std::span<const u8> record) {
  TypeFieldReader probe(record, 1);
  u32 bytes = 0, count = 0;
  std::span<const u8> tag;
  if (!probe.size(bytes) || !probe.count(count) || !probe.name(tag) || count <= 1) return false;
  if (count > probe.remaining() / kTypeFieldSize) return false;
  TypeFieldReader names(record, probe.position() + std::size_t(count) * kTypeFieldSize);
  for (u32 i = 0; i < count; ++i) {
    std::span<const u8> name;
    u32 offset = 0;
    u16 bits = 0;
    if (!names.name(name) || !names.position_field(offset, bits)) return false;
    // a bit field lies at offset 0 only when it starts at bit 0
    if (offset != 0 || (bits & 0xFF) != 0) return false;
  }
  return true;
}

void print_type(u32 code, TypeNameState& s, int depth) {
  if (depth > kTypeDepthLimit) return;
  code = exp_resolve_type(code);
  if (code < 256) {
    con_puts(kBaseNames[code & 0x0F]);
    con_putc(' ');
    if ((code & kBasePointerBits) != 0) con_putc('*');
    return;
  }
  std::span<const u8> record;
  if (!sym_type_record(code, record)) return;
  TypeFieldReader r(record, 1);
  switch (record[0]) {
    case kKindNoStorage:
    case kKindBitFieldType:
      con_puts("uint ");
      return;
    case kKindFunction: {
      u8 mark = 0;
      u32 returned = kNoType;
      if (r.byte(mark) && r.remaining() > 0 && record[r.position()] == kFieldType && r.type(returned) &&
          exp_resolve_type(returned) != 0x8F && exp_resolve_type(returned) != 0x0F)
        print_type(returned, s, depth + 1);
      else
        con_puts("void ");
      con_putc('(');
      s.function = true;
      return;
    }
    case kKindArray: {
      const u32 element = exp_element_type(code);
      print_type(element, s, depth + 1);
      collect_dimension(s, exp_type_size(code), exp_type_size(element));
      return;
    }
    case kKindPointer: {
      u8 pointer_kind = 0;
      u32 target = kNoType;
      if (r.byte(pointer_kind) && r.type(target)) print_type(target, s, depth + 1);
      if (s.dimensions == 0) con_putc('*');
      else collect_dimension(s, 0, 0);
      return;
    }
    case kKindEnum: {
      std::span<const u8> tag;
      con_puts("enum ");
      if (r.name(tag)) put_name_field(tag);
      return;
    }
    case kKindStruct:
    case kKindUnion: {
      if (record[0] == kKindUnion) con_puts("class ");
      else con_puts(all_at_offset_zero(record) ? "union " : "struct ");
      u32 bytes = 0, count = 0;
      std::span<const u8> tag;
      if (r.size(bytes) && r.count(count) && r.name(tag)) put_name_field(tag);
      return;
    }
    default:
      cmd_internal_error();  // corrupt debug information
  }
}

}  // namespace

void fmt_print_type_name_of(u32 type) {
  TypeNameState s;
  con_putc('(');
  print_type(type, s, 0);
  for (int i = s.dimensions - 1; i >= 0; --i) {
    if (s.total[i] == 0 || s.element[i] == 0) con_puts("[]");
    else con_printf("[%lu]", s.total[i] / s.element[i]);
  }
  if (s.function) con_puts(")()");
  con_putc(')');
}

void fmt_print_type_name(ExprValue& item) { fmt_print_type_name_of(item.type.get()); }
