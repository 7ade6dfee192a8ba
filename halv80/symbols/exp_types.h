// The readers of debug types for the evaluator and the value formatter:
// resolving aliases, sizes, the class and the value kind of an item's type, and
// the selection of a struct or union member and of an array or pointer element.
// Readers never trust a record: a field that is missing or runs past the record
// makes the type "no type" (size 0, nothing selected). Only an unknown record
// kind in a type being sized or classed ends the command (message 114).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_types.h"

// Classes returned by exp_value_type. A base code below 256 without pointer
// bits is its own class; a base pointer code is reported with bit 0x80 cleared.
constexpr u32 kClassString = 0x100;         // added to a pointer class: it points at char or uchar
constexpr u32 kClassPointerRecord = 0x40;   // a pointer record ('z')
constexpr u32 kClassAggregate = 0xC0;       // an array, struct or union record
constexpr u32 kClassBitField = 0x85;        // a bit-field record (reads as unsigned int)
constexpr u32 kClassEnum = kTypeEnumClass;
constexpr u32 kClassFunction = kTypeFunctionClass;

// Value kinds (exp_value_kind), the size classes of value conversion: the kind
// of base nibble 0..15. 0 in a row marks a nibble that is no type.
constexpr u16 kExpBaseKind[16] = {
    2,   // 0 char
    4,   // 1 int
    6,   // 2 long
    7,   // 3
    8,   // 4 unsigned char
    10,  // 5 unsigned int
    12,  // 6 unsigned long
    13,  // 7
    14,  // 8 float
    15,  // 9 double
    0,   // 10
    0,   // 11
    0,   // 12
    0,   // 13
    3,   // 14 bool
    1,   // 15 void
};
constexpr u16 kValueKindChar = 2;
constexpr u16 kValueKindInt = 4;
constexpr u16 kValueKindPointer = 0x800A;  // unsigned int, bit 15: a pointer
constexpr u16 kValueKindLong = 6;
constexpr u16 kValueKindULong = 12;
constexpr u16 kValueKindFloat = 14;
constexpr u16 kValueKindDouble = 15;

// How the readers reach the target. Both are set by the target-memory layer;
// while one is null it reads 0, so a pointer that is not loaded yet points at
// address 0. Not reset with the symbol database.
struct ExpTargetAccess {
  u16 (*ReadTargetWord)(u32 address) = nullptr;  // 16-bit word of target memory
  u16 (*ReadRegister)(u32 index) = nullptr;      // register of a register item (class 5)
};
extern ExpTargetAccess ExpTarget;

// The type behind a code: base codes (below 256) as they are; a record that is
// an alias is replaced by its target, repeatedly. 0 (no type) for
// 0xFFFFFFFE, 0xFFFFFFFF, a user code without a readable record, and a chain
// of aliases deeper than kTypeDepthLimit (as one that refers to itself).
u32 exp_resolve_type(u32 code);
// Reads the size field at byte 1 of `record`: the size in bytes (bits / 8) into
// `bytes`, and returns the position after the field (2, 4 or 6); 0 when the
// field runs past the record (bytes is then 0).
std::size_t exp_type_size_field(std::span<const u8> record, u32& bytes);
// The size of a type in bytes; 0 for no type, functions, bit-field records,
// and every record while the database is marked full. An unknown record kind
// ends the command with message 114 (does not return then).
u32 exp_type_size(u32 code);
// The element count of an array type (after aliases); 0 for anything else, or
// when the element size is 0 with a size field that holds a size.
u32 exp_array_count(u32 code);
// The element type of a base pointer code (code & 0x9F), of a pointer record or
// of an array record, after aliases; 0 for anything else.
u32 exp_element_type(u32 code);
// The class of the item's type (the kClass values, or a base code); stores the
// resolved type into the item, except for an untyped constant (0xFFFFFFFF) or
// 0xFFFFFFFE, which keep their type and have class 0. An unknown record kind
// ends the command (does not return then).
u32 exp_value_type(ExprValue& item);
// The value kind of the item: kExpBaseKind of a scalar's base nibble,
// kValueKindPointer for pointers, 0 for aggregates, functions and items with no
// type (an untyped constant takes the other operand's type before it gets
// here); an enum converts as char when it is 1 byte, else as int. Stores the
// resolved type as exp_value_type does; 0 as well for a base nibble that has
// no kind (10 to 13). An unknown record kind ends the command with message 114.
u16 exp_value_kind(ExprValue& item);
// Moves the item to element `index` of its array or pointer (index may be
// negative): 1 = done, 0 = the item is no pointer or array (unchanged). A
// pointer moves the item to the pointed-to storage (class 6): the value field
// when the item carries flag 0x40, else the word read at its location (or the
// register of a register item). An array keeps its location (a computed array,
// class 0 with flag 0x40, lives at its value). The element is not loaded:
// flags and bit-field info become 0.
u16 exp_select_element(ExprValue& item, i32 index);
// Moves the item to the member `name` (compared byte for byte) of its struct or
// union: location += the member's offset, type = the member's type, bit-field
// info = width << 8 | bit offset for a bit field, else 0; flags become 0 (a
// computed aggregate moves to its value first, as for arrays). 1 = found; 0 =
// not a struct or union, no such member, or a damaged record (unchanged).
u16 exp_select_member(ExprValue& item, std::string_view name);

// Where the member list of a struct or union record lies.
struct ExpMemberList {
  u32 count = 0;           // members, at least 1
  std::size_t types = 0;   // position of the first member type field
  std::size_t names = 0;   // position of the first member name field
};
// The member list of the struct or union behind `code` (after aliases) and the
// record it lies in; false when there is none or it runs past the record.
bool exp_member_list(u32 code, std::span<const u8>& record, ExpMemberList& list);
