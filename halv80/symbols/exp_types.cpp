// The type readers of the evaluator. Every record is read through a
// TypeFieldReader bounded by the record's stored length; nested types (alias
// targets, array elements) are followed at most kTypeDepthLimit deep.
#include "halv80/symbols/exp_types.h"

#include <algorithm>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"

constinit ExpTargetAccess ExpTarget;

namespace {

// Sizes of the base types by the low nibble.
constexpr u8 kBaseSize[16] = {1, 2, 4, 0, 1, 2, 4, 0, 4, 8, 0, 0, 4, 8, 0, 0};
constexpr u32 kPointerSize = 2;
constexpr u32 kFarPointerSize = 4;

constexpr u8 kClassComputed = 0;  // storage class of a value without storage
constexpr u8 kClassRegister = 5;
constexpr u8 kClassSymbol = 6;    // storage class of an item reached through a pointer

bool is_base(u32 code) { return code != kNoType && code < 256; }

// A char or unsigned char, not a pointer to one.
bool is_char_type(u32 code) {
  return is_base(code) && (code & kBasePointerBits) == 0 &&
         ((code & 0x0F) == 0 || (code & 0x0F) == 4);
}

u32 resolve(u32 code) {
  for (int depth = 0; depth <= kTypeDepthLimit; ++depth) {
    if (code < 256) return code;
    if (code == kTypeEnumClass || code == kTypeFunctionClass) return kNoType;
    std::span<const u8> record;
    if (!sym_type_record(code, record)) return kNoType;
    if (record[0] != kKindAlias) return code;
    TypeFieldReader r(record, 1);
    if (!r.u32le(code)) return kNoType;  // alias without its target
  }
  return kNoType;  // too deep: a chain that refers to itself
}

// The element type of an array or pointer record, or 0.
u32 record_element_type(std::span<const u8> record, bool& is_array) {
  TypeFieldReader r(record, 1);
  u32 element = kNoType;
  if (record[0] == kKindArray) {
    u32 bytes = 0;
    if (!r.size(bytes) || !r.type(element)) return kNoType;
    is_array = true;
    return element;
  }
  if (record[0] == kKindPointer) {
    u8 pointer_kind = 0;
    if (!r.byte(pointer_kind) || !r.type(element)) return kNoType;
    is_array = false;
    return element;
  }
  return kNoType;
}

u32 size_of(u32 code, int depth);

// Array size: the size field, or with toolchain kinds 4 and 5 the element count
// it holds times the element size.
u32 array_size(std::span<const u8> record, int depth) {
  TypeFieldReader r(record, 1);
  u32 field = 0;
  u32 element = kNoType;
  if (!r.size(field)) return 0;
  if (!sym_array_holds_count()) return field;
  if (!r.type(element)) return 0;
  return field * size_of(element, depth + 1);
}

u32 size_of(u32 code, int depth) {
  if (depth > kTypeDepthLimit) return 0;  // an element type nested in itself
  code = resolve(code);
  if (code == kNoType) return 0;
  if (code < 256) return (code & kBasePointerBits) != 0 ? kPointerSize : kBaseSize[code & 0x0F];
  if (SymFlag.DatabaseFull != 0) return 0;  // the records may be incomplete
  std::span<const u8> record;
  if (!sym_type_record(code, record)) return 0;
  TypeFieldReader r(record, 1);
  switch (record[0]) {
    case kKindNoStorage:
    case kKindBitFieldType:
    case kKindFunction:
      return 0;
    case kKindArray:
      return array_size(record, depth);
    case kKindStruct:
    case kKindUnion: {
      u32 bytes = 0;
      return r.size(bytes) ? bytes : 0;
    }
    case kKindPointer: {
      u8 pointer_kind = 0;
      if (!r.byte(pointer_kind)) return 0;
      return pointer_kind >= kPointerNearFirst ? kPointerSize : kFarPointerSize;
    }
    case kKindEnum:
      return Sw.ToolchainKind == 5 ? 1 : 2;
    default:
      cmd_internal_error();  // corrupt debug information
  }
}

// A computed value that holds an aggregate's address lives at that address.
void take_storage_from_value(ExprValue& item) {
  if (item.storage_class == kClassComputed && (item.flags & kValueAddress) != 0) {
    item.location.set(item.value.get());
    item.storage_class = kClassSymbol;
  }
}

}  // namespace

u32 exp_resolve_type(u32 code) { return resolve(code); }

std::size_t exp_type_size_field(std::span<const u8> record, u32& bytes) {
  bytes = 0;
  if (record.empty()) return 0;
  TypeFieldReader r(record, 1);
  if (!r.size(bytes)) return 0;
  return r.position();
}

u32 exp_type_size(u32 code) { return size_of(code, 0); }

u32 exp_array_count(u32 code) {
  code = resolve(code);
  std::span<const u8> record;
  if (!sym_type_record(code, record) || record[0] != kKindArray) return 0;
  TypeFieldReader r(record, 1);
  u32 field = 0;
  u32 element = kNoType;
  if (!r.size(field) || !r.type(element)) return 0;
  if (sym_array_holds_count()) return field;
  const u32 element_size = exp_type_size(element);
  return element_size == 0 ? 0 : field / element_size;
}

u32 exp_element_type(u32 code) {
  code = resolve(code);
  if (is_base(code)) return (code & kBasePointerBits) != 0 ? (code & 0x9F) : kNoType;
  std::span<const u8> record;
  if (!sym_type_record(code, record)) return kNoType;
  bool is_array = false;
  return record_element_type(record, is_array);
}

u32 exp_value_type(ExprValue& item) {
  const u32 stored = item.type.get();
  // an untyped constant (or a class code, which is no type)?
  if (stored == kTypeFunctionClass || stored == kTypeEnumClass) return 0;
  const u32 code = resolve(stored);
  item.type.set(code);
  if (code < 256) {
    if ((code & kBasePointerBits) == 0) return code;
    const bool string = (code & 0x0F) == 0 || (code & 0x0F) == 4;
    return (code & ~kBaseMark) | (string ? kClassString : 0);
  }
  std::span<const u8> record;
  if (!sym_type_record(code, record)) return 0;  // not reached: resolve gave a record
  switch (record[0]) {
    case kKindPointer: {
      TypeFieldReader r(record, 2);
      u32 target = kNoType;
      if (!r.type(target)) return kClassPointerRecord;  // a target we cannot read is no string
      return kClassPointerRecord | (is_char_type(resolve(target)) ? kClassString : 0);
    }
    case kKindArray:
    case kKindStruct:
    case kKindUnion:
      return kClassAggregate;
    case kKindNoStorage:
    case kKindBitFieldType:
      return kClassBitField;
    case kKindEnum:
      return kClassEnum;
    case kKindFunction:
      return kClassFunction;
    default:
      cmd_internal_error();  // corrupt debug information
  }
}

u16 exp_value_kind(ExprValue& item) {
  const u32 type_class = exp_value_type(item);
  if (type_class == kClassAggregate || type_class == kClassFunction) return 0;
  if (type_class == kClassEnum)
    return exp_type_size(item.type.get()) == 1 ? kValueKindChar : kValueKindInt;
  if (type_class == 0) return 0;  // no type
  if ((type_class & kBasePointerBits) != 0) return kValueKindPointer;
  // a base nibble without a kind (10 to 13) comes from a damaged file: no kind
  return kExpBaseKind[type_class & 0x0F];
}

u16 exp_select_element(ExprValue& item, i32 index) {
  const u32 code = resolve(item.type.get());
  u32 element = kNoType;
  bool is_array = false;
  if (is_base(code)) {
    if ((code & kBasePointerBits) == 0) return 0;  // a scalar
    element = code & 0x9F;
  } else {
    std::span<const u8> record;
    if (!sym_type_record(code, record)) return 0;
    element = record_element_type(record, is_array);
    if (element == kNoType) return 0;
  }

  if (is_array) {
    take_storage_from_value(item);
  } else {
    // pointer value already loaded? Otherwise its word is read where it lives
    // (0 while the target layer has not set its reader).
    const u32 at = item.location.get();
    u32 target = 0;
    if ((item.flags & kValueAddress) != 0)
      target = item.value.get();
    else if (item.storage_class == kClassRegister)
      target = ExpTarget.ReadRegister != nullptr ? ExpTarget.ReadRegister(at) : 0;
    else
      target = ExpTarget.ReadTargetWord != nullptr ? ExpTarget.ReadTargetWord(at) : 0;
    item.location.set(target);
    item.storage_class = kClassSymbol;
  }
  item.flags = 0;
  item.bit_field.set(0);
  // u32 arithmetic: a negative index wraps to an address below.
  item.location.set(item.location.get() + exp_type_size(element) * u32(index));
  item.type.set(element);
  return 1;
}

bool exp_member_list(u32 code, std::span<const u8>& record, ExpMemberList& list) {
  code = resolve(code);
  if (!sym_type_record(code, record)) return false;
  if (record[0] != kKindStruct && record[0] != kKindUnion) return false;
  TypeFieldReader r(record, 1);
  u32 bytes = 0;
  u32 count = 0;
  std::span<const u8> tag;
  if (!r.size(bytes) || !r.count(count) || !r.name(tag)) return false;
  if (count == 0) return false;
  if (count > r.remaining() / kTypeFieldSize) return false;  // more member types than bytes left
  list.count = count;
  list.types = r.position();
  list.names = r.position() + std::size_t(count) * kTypeFieldSize;
  return true;
}

u16 exp_select_member(ExprValue& item, std::string_view name) {
  std::span<const u8> record;
  ExpMemberList list;
  if (!exp_member_list(item.type.get(), record, list)) return 0;
  TypeFieldReader types(record, list.types);
  TypeFieldReader names(record, list.names);
  for (u32 i = 0; i < list.count; ++i) {
    u32 member_type = kNoType;
    std::span<const u8> member_name;
    u32 offset = 0;
    u16 bit_field = 0;
    if (!types.type(member_type) || !names.name(member_name) ||
        !names.position_field(offset, bit_field))
      return 0;  // the member list runs past the record
    if (member_name.size() != name.size() ||
        !std::equal(member_name.begin(), member_name.end(), name.begin(),
                    [](u8 a, char b) { return a == u8(b); }))
      continue;
    take_storage_from_value(item);
    item.flags = 0;
    item.bit_field.set(bit_field);
    item.location.set(item.location.get() + offset);
    item.type.set(member_type);
    return 1;
  }
  return 0;
}
