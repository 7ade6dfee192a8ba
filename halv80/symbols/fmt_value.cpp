// The fetch mode of the value formatter: an item's value by its type class.
// Scalars are read by their size from the item's address (or taken from the
// item when it already holds one), bit-field members are cut out of their
// word, pointers and arrays hand back an address.
#include "halv80/symbols/fmt_value.h"

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_types.h"

namespace {

constexpr u32 kNibbleChar = 0, kNibbleInt = 1, kNibbleLong = 2, kNibbleUChar = 4, kNibbleUInt = 5;
constexpr u32 kNibbleULong = 6, kNibbleBool = 14;

FmtFetch scalar(u32 value) { return {kFetchScalar, value}; }

// A bit-field member: the field cut out of its word; a long field is signed.
FmtFetch bit_field(const ExprValue& item, u32 nibble, u32 word) {
  const u16 bits = item.bit_field.get();
  const u32 offset = bits & 0xFF;
  const u32 width = bits >> 8;
  const u32 mask = width >= 32 ? 0xFFFFFFFF : (1u << width) - 1;
  u32 field = (offset < 32 ? word >> offset : 0) & mask;
  if (nibble == kNibbleLong && width > 0 && width < 32 && ((field >> (width - 1)) & 1) != 0) field |= ~mask;
  return scalar(field);
}

}  // namespace

FmtFetch fmt_print_value(ExprValue& item, u16 mode) {
  if (mode != kPrintFetch) return {};
  u32 type_class = exp_value_type(item);
  u32 value_of_register = 0;
  bool is_register = false;
  const u32 address = exp_value_address(item, value_of_register, is_register);
  const bool loaded_scalar = (item.flags & kValueScalar) != 0;

  if (type_class == kClassFunction) return {};
  // an enumeration is an int (a char for toolchain kind 5); a bit-field
  // record reads as unsigned int
  if (type_class == kClassEnum) type_class = Sw.ToolchainKind == 5 ? 0x80 : 0x81;
  if (type_class == kClassBitField) type_class = 0x85;

  if ((type_class & kBasePointerBits) != 0) {
    const bool aggregate = type_class == kClassAggregate;
    if (aggregate) {
      std::span<const u8> record;
      if (!sym_type_record(item.type.get(), record) || record[0] != kKindArray) return {};  // struct or union
    }
    u32 value = 0;
    if ((item.flags & kValueAddress) != 0) value = item.value.get();
    else if (aggregate) value = address;
    else if (is_register) value = value_of_register;
    else value = tgt_read_word(u16(address));
    return {kFetchAddress, value};
  }
  if (type_class == 0 || type_class >= 256) return {};  // no type, or a class a fetch does not know

  const u32 nibble = type_class & 0x0F;
  const bool integer = nibble == kNibbleChar || nibble == kNibbleInt || nibble == kNibbleLong ||
                       nibble == kNibbleUChar || nibble == kNibbleUInt || nibble == kNibbleULong;
  if (!integer && nibble != kNibbleBool) return {};  // void, float, double and the unused nibbles
  if (item.bit_field.get() != 0) {
    const u32 word = loaded_scalar ? item.value.get() : is_register ? value_of_register : tgt_read_word(u16(address));
    return bit_field(item, nibble, word);
  }
  if (loaded_scalar) return scalar(nibble == kNibbleUInt ? item.value.get() & 0xFFFF : item.value.get());
  switch (nibble) {
    case kNibbleChar: return scalar(u32(i32(i8(is_register ? value_of_register : tgt_read_byte(u16(address))))));
    case kNibbleUChar: return scalar(u8(is_register ? value_of_register : tgt_read_byte(u16(address))));
    case kNibbleBool: return scalar((is_register ? value_of_register : tgt_read_byte(u16(address))) != 0 ? 1 : 0);
    case kNibbleInt: return scalar(u32(i32(i16(is_register ? value_of_register : tgt_read_word(u16(address))))));
    case kNibbleUInt: return scalar(u16(is_register ? value_of_register : tgt_read_word(u16(address))));
    default: return scalar(is_register ? value_of_register : tgt_read_long(u16(address)));  // long, ulong
  }
}
