// Where an item's storage lies and how a value is written into it: target
// memory through the target-memory layer, or a register of the image.
#include "halv80/symbols/exp_value.h"

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_types.h"

namespace {

// Size classes of exp_value_kind that a store knows.
constexpr u16 kKindChar = 2, kKindBool = 3, kKindInt = 4, kKindLong = 6;
constexpr u16 kKindUChar = 8, kKindUInt = 10, kKindULong = 12;

u16 register_value(u32 index) { return index < u32(kRegCount) ? reg_get(int(index)) : 0; }

}  // namespace

constinit ExpFrameOverride ExpFrame;

u16 exp_frame_base() {
  if (ExpFrame.Active) return ExpFrame.Base;
  // the walker knows the frames of the toolchains it can read; IX otherwise
  if (const u16 frame = stk_locate_frame(u16(Exp.ScopeAddress)); frame != 0) return frame;
  return Run.Regs.ix;
}

u32 exp_value_address(const ExprValue& item, u32& value_of_register, bool& is_register) {
  is_register = false;
  value_of_register = 0;
  switch (item.storage_class) {
    case kStorageFrame:
      // frame offsets are signed; the target's addresses wrap at 64 KiB
      return u16(exp_frame_base() + item.location.get());
    case kStorageRegister:
      if (Sw.ToolchainKind != 16) cmd_internal_error();  // only kind 16 keeps register items
      is_register = true;
      value_of_register = register_value(item.location.get());
      return 0;
    default:
      return item.location.get();
  }
}

u16 exp_store_value(ExprValue& item, const ExprValue& source) {
  u32 value_of_register = 0;
  bool is_register = false;
  const u32 address = exp_value_address(item, value_of_register, is_register);
  const u32 reg = item.location.get();
  // a register item is written only with toolchain kind 16 and never a long
  const auto write = [&](u32 value, int bytes) {
    if (is_register) {
      if (bytes <= 2 && reg < u32(kRegCount)) reg_set(int(reg), u16(value));
      return;
    }
    if (bytes == 1) tgt_write_byte(u16(address), u8(value));
    else if (bytes == 2) tgt_write_word(u16(address), u16(value));
    else tgt_write_long(u16(address), value);
  };
  const u16 kind = exp_value_kind(item);
  const u16 bits = item.bit_field.get();
  if (bits != 0) {
    const u32 offset = bits & 0xFF;
    const u32 width = bits >> 8;
    const u32 mask = width >= 32 ? 0xFFFFFFFF : (1u << width) - 1;
    u32 field = source.value.get() & mask;
    const u32 shifted_mask = offset < 32 ? mask << offset : 0;
    const u32 word = is_register ? value_of_register : tgt_read_word(u16(address));
    const u32 updated = (word & ~shifted_mask) | (offset < 32 ? field << offset : 0);
    write(updated, 2);
    // an int field with its top bit set reads back negative
    if (kind == kKindInt && width > 0 && width < 32 && ((field >> (width - 1)) & 1) != 0) field |= ~mask;
    item.value.set(field);
    return 0;
  }
  u32 value = source.value.get();
  switch (kind) {
    case kKindChar: value = u32(i32(i8(value))); write(value, 1); break;
    case kKindUChar: case kKindBool: value &= 0xFF; write(value, 1); break;
    case kKindInt: value = u32(i32(i16(value))); write(value, 2); break;
    // a pointer converts as an unsigned int, its word is its value
    case kKindUInt: case kValueKindPointer: value &= 0xFFFF; write(value, 2); break;
    case kKindLong: case kKindULong: write(value, 4); break;
    default: return 1;  // float, double, aggregates: not written
  }
  item.value.set(value);
  return 0;
}
