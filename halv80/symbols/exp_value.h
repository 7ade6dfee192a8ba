// The item every evaluator handler works on: an ExprValue of 18 bytes, laid
// out like a ScopeRecord so that a variable found in the scopes maps onto it
// field for field. A scope record is copied in field by field, never whole: its
// size, link and name words mean nothing to an item.
#pragma once

#include <cstddef>

#include "halv80/symbols/sym_scopes.h"
#include "platform/host/host_types.h"

// Item flags.
constexpr u8 kValueScalar = 0x80;   // value holds a scalar
constexpr u8 kValueAddress = 0x40;  // value holds an address (pointer, decayed array, '&')

struct ExprValue {
  u8 storage_class;  // 0 computed, 3 static, 4 frame-relative, 5 register, 6 symbol table
  u8 flags;          // kValueScalar, kValueAddress; neither: not loaded
  le32 location;     // address, frame offset or register number
  le32 type;         // type code; 0xFFFFFFFF: untyped constant
  le16 bit_field;    // width << 8 | bit offset of a bit-field member; else 0
  le16 parser_level; // precedence level of the parse call that owns the item
  le32 value;        // the scalar or the address
};
static_assert(sizeof(ExprValue) == 18 && alignof(ExprValue) == 1);
static_assert(offsetof(ExprValue, storage_class) == 0);
static_assert(offsetof(ExprValue, flags) == 1);
static_assert(offsetof(ExprValue, location) == 2);
static_assert(offsetof(ExprValue, type) == 6);
static_assert(offsetof(ExprValue, bit_field) == 10);
static_assert(offsetof(ExprValue, parser_level) == 12);
static_assert(offsetof(ExprValue, value) == 14);
static_assert(sizeof(ExprValue) == sizeof(ScopeRecord));

// Makes `item` the variable of `scope`: storage class = the scope kind, location
// and type copied, flags, bit-field info and value 0 (not loaded). The item's
// parser level stays, as it belongs to the parse that owns the item.
inline void exp_value_from_scope(ExprValue& item, const ScopeRecord& scope) {
  item.storage_class = u8(scope.kind.get());
  item.flags = 0;
  item.location.set(scope.location.get());
  item.type.set(scope.type.get());
  item.bit_field.set(0);
  item.value.set(0);
}

// The target address of the item's storage: frame-relative items (class 4)
// the frame base + offset, register items (class 5) address 0 with
// is_register set and the register's value in register_value, all others
// their location. A register item outside toolchain kind 16 ends the command
// with message 114 (does not return then).
u32 exp_value_address(const ExprValue& item, u32& register_value, bool& is_register);
// A frame base that frame-relative items are read at instead of the
// walker's: a backtrace line prints each frame's parameters at its own base.
struct ExpFrameOverride {
  u16 Active = 0;  // 1 while Base is in force
  u16 Base = 0;
};
extern ExpFrameOverride ExpFrame;

// The frame base that frame-relative items are read at: the frame the
// call-stack walker finds for the function holding the scope address, else IX
// of the register image (the frame pointer of the supported compilers).
u16 exp_frame_base();
// Writes the value of `source` into the storage of `item` by the item's size
// class (a bit-field member into its bits of the word at its address) and
// gives the item that value. 0 written; 1 for a type that has no size class
// (float, double, aggregates). A register item takes byte and word values
// (toolchain kind 16 only). A failed target access unwinds.
u16 exp_store_value(ExprValue& item, const ExprValue& source);
