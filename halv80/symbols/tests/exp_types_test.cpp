// The type readers: aliases, sizes, classes and value kinds, member and element
// selection, and the copy of a scope record into an item.
#include "halv80/symbols/exp_types.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/symbols/sym_store.h"

namespace {

using Bytes = std::vector<u8>;

constexpr u32 kChar = 0x80, kInt = 0x81, kLong = 0x82, kUChar = 0x84, kUInt = 0x85;

class ExpTypesTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
  }
  void TearDown() override {
    ExpTarget = ExpTargetAccess{};
    reset_engine_state();
  }
  // Defines type `index` with the given record bytes.
  static u32 define(u32 index, const Bytes& record) {
    EXPECT_TRUE(sym_type_define_bytes(index, record));
    return index;
  }
  static Bytes alias(u32 target) {
    return {0x83, u8(target), u8(target >> 8), u8(target >> 16), u8(target >> 24)};
  }
  static Bytes with_type(Bytes head, u32 code) {
    head.insert(head.end(), {0x83, u8(code), u8(code >> 8), u8(code >> 16), u8(code >> 24)});
    return head;
  }
  static ExprValue item_of(u32 type, u8 storage_class = 3, u32 location = 0x100, u8 flags = 0,
                           u32 value = 0) {
    ExprValue v{};
    v.storage_class = storage_class;
    v.flags = flags;
    v.location.set(location);
    v.type.set(type);
    v.value.set(value);
    v.parser_level.set(77);
    return v;
  }
};

TEST_F(ExpTypesTest, BaseTypeSizes) {
  const struct { u32 code; u32 size; } cases[] = {
      {0x21, 2},  // pointer to int
      {0x09, 8},  // double
      {kChar, 1}, {kInt, 2}, {kLong, 4}, {0x83, 0}, {kUChar, 1}, {kUInt, 2}, {0x86, 4},
      {0x87, 0}, {0x88, 4}, {0x8A, 0}, {0x8C, 4}, {0x8D, 8}, {0x8E, 0},
      {0xC0, 2}, {0xE9, 2},  // pointers whatever they point at
      {0, 0}, {kTypeEnumClass, 0}, {kTypeFunctionClass, 0},
      {300, 0},  // neither base code nor table index
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(exp_type_size(c.code), c.size);
  }
}

TEST_F(ExpTypesTest, RecordSizesByKind) {
  const struct { const char* what; u16 toolchain; Bytes record; u32 size; } cases[] = {
      {"struct of 40", 16, {'y', 0x85, 0x40, 0x01, 0}, 40},
      {"struct of 20", 16, {'y', 160, 0}, 20},
      {"union, alternate u32 tag", 16, {'|', 0x8A, 0x00, 0x02, 0, 0, 1}, 64},
      {"no storage", 16, {'\\'}, 0},
      {"function", 16, with_type({'u', 0x80}, kInt), 0},
      {"near pointer", 16, with_type({'z', 't'}, kInt), 2},
      {"cast pointer", 16, with_type({'z', 'w'}, kInt), 2},
      {"far pointer", 16, with_type({'z', 's'}, kInt), 4},
      {"enum, kind 5", 5, {'{', 0x82, 0}, 1},
      {"enum, kind 4", 4, {'{', 0x82, 0}, 2},
      {"enum, kind 16", 16, {'{', 0x82, 0}, 2},
      {"struct without size field", 16, {'y'}, 0},
      {"struct with cut size field", 16, {'y', 0x85, 0x40}, 0},
      {"pointer without kind", 16, {'z'}, 0},
  };
  u32 index = 600;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sw.ToolchainKind = c.toolchain;
    EXPECT_EQ(exp_type_size(define(index++, c.record)), c.size);
  }
}

TEST_F(ExpTypesTest, ArraySizesFollowOneCountConventionBothWays) {
  const struct { u16 kind; Bytes size_field; u32 size; u32 count; } cases[] = {
      {4, {80}, 20, 10},   // the field holds 10 (as 80 bits)
      {5, {80}, 20, 10},
      {5, {0x85, 0x20, 0x03}, 200, 100},
      {16, {80}, 10, 5},   // the field holds the size: 10 bytes
      {1, {160}, 20, 10},
  };
  u32 index = 700;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " size " << c.size);
    Sw.ToolchainKind = c.kind;
    // read what a loader wrote
    Bytes head = {'x'};
    head.insert(head.end(), c.size_field.begin(), c.size_field.end());
    const u32 loaded = define(index++, with_type(head, kInt));
    EXPECT_EQ(exp_type_size(loaded), c.size);
    EXPECT_EQ(exp_array_count(loaded), c.count);
    // and what the builder writes reads the same
    TypeBuilder b;
    ASSERT_TRUE(b.array_record(c.count, kInt, 2));
    ASSERT_TRUE(b.define(index));
    EXPECT_EQ(exp_type_size(index), c.size);
    EXPECT_EQ(exp_array_count(index), c.count);
    ++index;
  }
  Sw.ToolchainKind = 4;  // an array of arrays multiplies through
  const u32 row = define(800, with_type({'x', 24}, kLong));   // 3 longs
  const u32 matrix = define(801, with_type({'x', 16}, row));  // 2 rows
  EXPECT_EQ(exp_type_size(matrix), 24u);
}

TEST_F(ExpTypesTest, SizeFieldReaderGivesBytesAndPosition) {
  const struct { Bytes record; u32 bytes; std::size_t position; } cases[] = {
      {{'y', 160}, 20, 2},
      {{'y', 0x85, 0x40, 0x01}, 40, 4},
      {{'y', 0x89, 0x40, 0x01}, 40, 4},
      {{'y', 0x86, 0x00, 0x00, 0x01, 0x00}, 8192, 6},
      {{'y', 0x8A, 0x00, 0x00, 0x01, 0x00}, 8192, 6},
      {{'y'}, 0, 0},
      {{'y', 0x86, 0x00, 0x00, 0x01}, 0, 0},
      {{}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.record));
    u32 bytes = 99;
    EXPECT_EQ(exp_type_size_field(c.record, bytes), c.position);
    EXPECT_EQ(bytes, c.bytes);
  }
}

TEST_F(ExpTypesTest, AliasesResolveAndBadChainsAreNoType) {
  const u32 inner = define(512, alias(kLong));
  const u32 outer = define(513, alias(inner));
  EXPECT_EQ(exp_resolve_type(outer), kLong);
  EXPECT_EQ(exp_type_size(outer), 4u);
  const u32 strukt = define(514, {'y', 48, 0});
  EXPECT_EQ(exp_resolve_type(define(515, alias(strukt))), strukt);

  define(520, alias(520));                 // itself
  define(521, alias(522));                 // a loop of two
  define(522, alias(521));
  define(523, {0x83, 0x00, 0x02});         // target cut short
  define(524, alias(kTypeFunctionClass));  // a class, not a type
  define(525, alias(900));                 // an undefined slot
  define(526, alias(512 + kTypeSlotLimit));  // beyond the table
  define(527, {});                         // an empty record
  u32 chain = 530;  // 40 aliases in a row: deeper than the limit
  for (u32 i = 0; i < 40; ++i) define(chain + i, alias(chain + i + 1));
  define(chain + 40, alias(kInt));
  const struct { const char* what; u32 code; } refused[] = {
      {"itself", 520}, {"loop", 521}, {"cut", 523}, {"class", 524}, {"undefined", 525},
      {"beyond", 526}, {"empty", 527}, {"too deep", chain},
      {"enum class", kTypeEnumClass}, {"function class", kTypeFunctionClass},
      {"index past the table", 512 + kTypeSlotLimit}, {"unset slot", 900},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(exp_resolve_type(c.code), kNoType);
    EXPECT_EQ(exp_type_size(c.code), 0u);
    ExprValue item = item_of(c.code);
    EXPECT_EQ(exp_select_element(item, 1), 0);
    EXPECT_EQ(exp_select_member(item, "a"), 0);
  }
  EXPECT_EQ(exp_resolve_type(chain + 20), kInt);  // within the limit from further along
}

TEST_F(ExpTypesTest, ArrayOfItselfHasNoSizeWithoutEndlessRecursion) {
  Sw.ToolchainKind = 4;
  define(512, with_type({'x', 16}, 512));
  define(513, with_type({'x', 16}, 514));
  define(514, with_type({'x', 16}, 513));
  EXPECT_EQ(exp_type_size(512), 0u);
  EXPECT_EQ(exp_type_size(513), 0u);
}

// The bit-field type of IEEE-695 files ('g', signedness and width) reads as
// a bit-field record does: no size of its own, the value an unsigned int.
TEST_F(ExpTypesTest, BitFieldTypeRecordReadsAsUnsignedInt) {
  const u32 bits = define(512, {'g', 0x88, 1, 0x88, 3});
  EXPECT_EQ(exp_type_size(bits), 0u);
  ExprValue item = item_of(bits);
  EXPECT_EQ(exp_value_type(item), kClassBitField);
}

TEST_F(ExpTypesTest, DatabaseFullGivesRecordsNoSize) {
  const u32 strukt = define(512, {'y', 160, 0});
  SymFlag.DatabaseFull = 1;
  EXPECT_EQ(exp_type_size(strukt), 0u);
  EXPECT_EQ(exp_type_size(kLong), 4u);  // base types keep theirs
}

TEST_F(ExpTypesTest, UnknownRecordKindEndsTheCommandWithMessage114) {
  ScriptedWindowSide ws;
  const u32 odd = define(512, {'Q', 0x88, 1, 0x88, 2});
  const u32 via_alias = define(513, alias(odd));
  for (const u32 code : {odd, via_alias}) {
    SCOPED_TRACE(code);
    Co.PendingError = 0;
    bool returned = false;
    EXPECT_FALSE(co_call_guarded([&] {
      exp_type_size(code);
      returned = true;
    }));
    EXPECT_FALSE(returned);
    EXPECT_EQ(Co.PendingError, kMsgInternalError + 1);
  }
  Co.PendingError = 0;
  EXPECT_FALSE(co_call_guarded([&] {
    ExprValue item = item_of(odd);
    exp_value_type(item);
  }));
  EXPECT_EQ(Co.PendingError, kMsgInternalError + 1);
}

TEST_F(ExpTypesTest, ValueTypeClassesAndResolvedTypeStoredBack) {
  Sw.ToolchainKind = 16;
  const u32 char_alias = define(512, alias(kChar));
  const struct { const char* what; Bytes record; u32 type_class; } records[] = {
      {"pointer to int", with_type({'z', 't'}, kInt), 0x40},
      {"pointer to char", with_type({'z', 't'}, kChar), 0x140},
      {"pointer to uchar", with_type({'z', 's'}, kUChar), 0x140},
      {"pointer to char alias", with_type({'z', 't'}, char_alias), 0x140},
      {"pointer to char pointer", with_type({'z', 't'}, 0xA0), 0x40},
      {"pointer without target", {'z', 't'}, 0x40},
      {"array", with_type({'x', 16}, kChar), 0xC0},
      {"struct", {'y', 16, 0}, 0xC0},
      {"union", {'|', 16, 0}, 0xC0},
      {"bit field", {'\\'}, 0x85},
      {"enum", {'{', 0x82, 0}, 0xFFFFFFFE},
      {"function", with_type({'u', 0x80}, kInt), 0xFFFFFFFF},
  };
  u32 index = 600;
  for (const auto& c : records) {
    SCOPED_TRACE(c.what);
    const u32 code = define(index++, c.record);
    ExprValue item = item_of(define(index++, alias(code)));
    EXPECT_EQ(exp_value_type(item), c.type_class);
    EXPECT_EQ(item.type.get(), code);  // the alias is gone from the item
  }
  const struct { u32 code; u32 type_class; } bases[] = {
      {kInt, kInt}, {kUChar, kUChar}, {1, 1},
      {0xA1, 0x21}, {0xA0, 0x120}, {0xA4, 0x124}, {0xC0, 0x140}, {0x25, 0x25},
      {0, 0},
  };
  for (const auto& c : bases) {
    SCOPED_TRACE(c.code);
    ExprValue item = item_of(c.code);
    EXPECT_EQ(exp_value_type(item), c.type_class);
  }
  ExprValue constant = item_of(kTypeFunctionClass);  // an untyped constant
  EXPECT_EQ(exp_value_type(constant), 0u);
  EXPECT_EQ(constant.type.get(), kTypeFunctionClass);
}

TEST_F(ExpTypesTest, ValueKindsByClass) {
  const u32 strukt = define(512, {'y', 16, 0});
  const u32 pointer = define(513, with_type({'z', 't'}, kInt));
  const u32 array = define(514, with_type({'x', 16}, kChar));
  const u32 bits = define(515, {'\\'});
  const u32 function = define(516, with_type({'u', 0x80}, kInt));
  const u32 enumeration = define(517, {'{', 0x82, 0});
  const u32 long_alias = define(518, alias(kLong));
  const struct { const char* what; u32 type; u16 toolchain; u16 kind; } cases[] = {
      {"char", kChar, 16, 2}, {"int", kInt, 16, 4}, {"long", kLong, 16, 6},
      {"nibble 3", 0x83, 16, 7}, {"uchar", kUChar, 16, 8}, {"uint", kUInt, 16, 10},
      {"ulong", 0x86, 16, 12}, {"nibble 7", 0x87, 16, 13}, {"float", 0x88, 16, 14},
      {"double", 0x89, 16, 15}, {"bool", 0x8E, 16, 3}, {"void", 0x8F, 16, 1},
      {"plain int", 1, 16, 4}, {"long alias", long_alias, 16, 6},
      {"base pointer", 0xA1, 16, 0x800A}, {"char pointer", 0xA0, 16, 0x800A},
      {"pointer record", pointer, 16, 0x800A},
      {"struct", strukt, 16, 0}, {"array", array, 16, 0}, {"function", function, 16, 0},
      {"bit field", bits, 16, 10},
      {"enum of 2 bytes", enumeration, 16, 4}, {"enum of 1 byte", enumeration, 5, 2},
      {"no type", 0, 16, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Sw.ToolchainKind = c.toolchain;
    ExprValue item = item_of(c.type);
    EXPECT_EQ(exp_value_kind(item), c.kind);
  }
  // base nibbles without a kind come from a damaged file: no kind, and the
  // command goes on
  ScriptedWindowSide ws;
  for (const u32 code : {0x8Au, 0x8Bu, 0x8Cu, 0x8Du}) {
    SCOPED_TRACE(code);
    Co.PendingError = 0;
    u16 kind = 99;
    EXPECT_TRUE(co_call_guarded([&] {
      ExprValue item = item_of(code);
      kind = exp_value_kind(item);
    }));
    EXPECT_EQ(kind, 0);
    EXPECT_EQ(Co.PendingError, 0);
  }
}

// struct tag { char ab; int a; long b; uint bc; unsigned c : 3 at bit 5; } with
// ab at 6, a at 0, b at 2, bc at 6: a name that begins another comes before it
// once and after it once.
class ExpMemberTest : public ExpTypesTest {
 protected:
  void SetUp() override {
    ExpTypesTest::SetUp();
    bits_ = define(512, {'\\'});
    const TypeMember members[] = {{"ab", kChar, 6}, {"a", kInt, 0}, {"b", kLong, 2},
                                  {"bc", kUInt, 6}, {"c", bits_, 0, true, 3, 5}};
    TypeBuilder b;
    ASSERT_TRUE(b.struct_record(kKindStruct, 8, "tag", members));
    ASSERT_TRUE(b.define(513));
    strukt_ = 513;
  }
  u32 bits_ = 0;
  u32 strukt_ = 0;
};

TEST_F(ExpMemberTest, SelectsMembersByExactName) {
  const u32 via_alias = define(514, alias(strukt_));
  const struct { const char* name; u32 location; u32 type; u16 bit_field; } found[] = {
      {"a", 0x100, kInt, 0},
      {"b", 0x102, kLong, 0},
      {"bc", 0x106, kUInt, 0},
      {"c", 0x100, 0, 0x0305},  // a bit field adds no offset; type checked below
      {"ab", 0x106, kChar, 0},
  };
  for (const u32 type : {strukt_, via_alias}) {
    for (const auto& c : found) {
      SCOPED_TRACE(testing::Message() << c.name << " in " << type);
      ExprValue item = item_of(type, 3, 0x100, kValueAddress, 0x100);
      item.bit_field.set(0x1234);
      ASSERT_EQ(exp_select_member(item, c.name), 1);
      EXPECT_EQ(item.location.get(), c.location);
      EXPECT_EQ(item.type.get(), c.type == 0 ? bits_ : c.type);
      EXPECT_EQ(item.bit_field.get(), c.bit_field);
      EXPECT_EQ(item.storage_class, 3);
      EXPECT_EQ(item.flags, 0);  // the member is not loaded yet
      EXPECT_EQ(item.parser_level.get(), 77);
    }
  }
  for (const char* name : {"", "A", "abc", "tag", "b "}) {
    SCOPED_TRACE(name);
    ExprValue item = item_of(strukt_);
    const ExprValue before = item;
    EXPECT_EQ(exp_select_member(item, name), 0);
    EXPECT_EQ(std::memcmp(&item, &before, sizeof item), 0);
  }
}

TEST_F(ExpMemberTest, SelectionRefusesNonAggregatesAndComputedStructMovesToItsValue) {
  for (const u32 type : {kInt, 0xA1u, bits_, 0u}) {
    SCOPED_TRACE(type);
    ExprValue item = item_of(type);
    EXPECT_EQ(exp_select_member(item, "a"), 0);
  }
  ExprValue empty = item_of(define(520, {'y', 16, 0, 0x82, 0}));  // no members
  EXPECT_EQ(exp_select_member(empty, "a"), 0);

  ExprValue computed = item_of(strukt_, 0, 0, kValueAddress, 0x4000);
  ASSERT_EQ(exp_select_member(computed, "b"), 1);
  EXPECT_EQ(computed.location.get(), 0x4002u);
  EXPECT_EQ(computed.storage_class, 6);
}

TEST_F(ExpMemberTest, EveryTruncationOfTheRecordIsRefusedCleanly) {
  std::span<const u8> whole;
  ASSERT_TRUE(sym_type_record(strukt_, whole));
  const Bytes bytes(whole.begin(), whole.end());
  // "c" is the last member: no cut record can find it
  for (std::size_t keep = 1; keep < bytes.size(); ++keep) {
    SCOPED_TRACE(keep);
    const u32 cut = define(600 + u32(keep), Bytes(bytes.begin(), bytes.begin() + keep));
    ExprValue item = item_of(cut);
    EXPECT_EQ(exp_select_member(item, "c"), 0);
    EXPECT_EQ(item.location.get(), 0x100u);
  }
}

TEST_F(ExpMemberTest, ManyMembersAreFoundAfterTheRecordGrew) {
  std::vector<std::string> names;
  std::vector<TypeMember> members;
  for (u32 i = 0; i < 600; ++i) names.push_back("field" + std::to_string(i));
  for (u32 i = 0; i < 600; ++i) members.push_back({names[i], i % 3 ? kInt : kLong, i * 2});
  TypeBuilder b;
  ASSERT_TRUE(b.struct_record(kKindStruct, 1200, "many", members));
  ASSERT_GT(b.built(), kTypeBuildSize);
  ASSERT_TRUE(b.define(900));
  std::span<const u8> record;
  ExpMemberList list;
  ASSERT_TRUE(exp_member_list(900, record, list));
  EXPECT_EQ(list.count, 600u);
  EXPECT_EQ(exp_type_size(900), 1200u);
  for (u32 i : {0u, 127u, 128u, 300u, 599u}) {
    SCOPED_TRACE(i);
    ExprValue item = item_of(900, 3, 0x1000);
    ASSERT_EQ(exp_select_member(item, names[i]), 1);
    EXPECT_EQ(item.location.get(), 0x1000 + i * 2);
    EXPECT_EQ(item.type.get(), i % 3 ? kInt : kLong);
  }
}

TEST_F(ExpTypesTest, ElementSelectionOfArraysAndPointers) {
  Sw.ToolchainKind = 16;
  const u32 ints = define(512, with_type({'x', 160}, kInt));        // int[10]
  const u32 near_ptr = define(513, with_type({'z', 't'}, kLong));
  const u32 bad_ptr = define(514, {'z', 't', 0x84, 1, 0, 0, 0});    // third byte not 0x83
  ExpTarget.ReadTargetWord = [](u32 address) -> u16 { return address == 0x100 ? 0x9000 : 0xDEAD; };
  ExpTarget.ReadRegister = [](u32 index) -> u16 { return index == 2 ? 0x7000 : 0xBEEF; };
  const struct {
    const char* what;
    ExprValue item;
    i32 index;
    u32 location;
    u8 storage_class;
    u32 type;
  } cases[] = {
      {"array element 3", item_of(ints, 3, 0x100), 3, 0x106, 3, kInt},
      {"frame array", item_of(ints, 4, 0xFFF0), 1, 0xFFF2, 4, kInt},
      {"decayed array keeps its location", item_of(ints, 3, 0x100, kValueAddress, 0x100), 2,
       0x104, 3, kInt},
      {"computed array lives at its value", item_of(ints, 0, 0, kValueAddress, 0x2000), 1,
       0x2002, 6, kInt},
      {"loaded pointer record", item_of(near_ptr, 3, 0x100, kValueAddress, 0x8000), 2, 0x8008,
       6, kLong},
      {"pointer read from memory", item_of(near_ptr, 3, 0x100), 1, 0x9004, 6, kLong},
      {"pointer in a register", item_of(near_ptr, 5, 2), 0, 0x7000, 6, kLong},
      {"base pointer to long", item_of(0xA2, 3, 0x100, kValueAddress, 0x8000), -1, 0x7FFC, 6,
       0x82},
      {"plain pointer to int", item_of(0x21, 0, 0, kValueAddress, 0x10), 3, 0x16, 6, 0x01},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExprValue item = c.item;
    item.bit_field.set(0x0102);
    ASSERT_EQ(exp_select_element(item, c.index), 1);
    EXPECT_EQ(item.location.get(), c.location);
    EXPECT_EQ(item.storage_class, c.storage_class);
    EXPECT_EQ(item.type.get(), c.type);
    EXPECT_EQ(item.flags, 0);
    EXPECT_EQ(item.bit_field.get(), 0);
    EXPECT_EQ(item.parser_level.get(), 77);
  }
  for (const u32 type : {kInt, bad_ptr, define(515, {'y', 16, 0}), define(516, {'x', 160}), 0u}) {
    SCOPED_TRACE(type);
    ExprValue item = item_of(type);
    const ExprValue before = item;
    EXPECT_EQ(exp_select_element(item, 1), 0);
    EXPECT_EQ(std::memcmp(&item, &before, sizeof item), 0);
  }
}

TEST_F(ExpTypesTest, PointerReadsZeroUntilTargetAccessIsSet) {
  const u32 near_ptr = define(512, with_type({'z', 't'}, kInt));
  for (const u8 storage_class : {3, 5}) {
    SCOPED_TRACE(int(storage_class));
    ExprValue item = item_of(near_ptr, storage_class, 0x100);
    ASSERT_EQ(exp_select_element(item, 4), 1);
    EXPECT_EQ(item.location.get(), 8u);
  }
}

TEST_F(ExpTypesTest, ElementTypeOfPointersAndArrays) {
  Sw.ToolchainKind = 4;
  const u32 ints = define(512, with_type({'x', 80}, kInt));
  const u32 ptr = define(513, with_type({'z', 's'}, ints));
  const struct { u32 code; u32 element; } cases[] = {
      {ints, kInt}, {ptr, ints}, {define(514, alias(ptr)), ints}, {0xA1, 0x81}, {0x41, 0x01},
      {kInt, 0}, {define(515, {'y', 16, 0}), 0}, {0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(exp_element_type(c.code), c.element);
  }
}

TEST_F(ExpTypesTest, ScopeRecordIsCopiedFieldByField) {
  ScopeRecord scope{};
  scope.kind.set(4);
  scope.location.set(0xFFFA);
  scope.type.set(0x81);
  scope.size.set(2);       // not bit-field info
  scope.link.set(9);       // not a parser level
  scope.name.set(0x12345);  // not a value
  ExprValue item = item_of(0x82, 0, 0x55, kValueScalar, 0x77);
  item.bit_field.set(0x0305);
  exp_value_from_scope(item, scope);
  EXPECT_EQ(item.storage_class, 4);
  EXPECT_EQ(item.flags, 0);
  EXPECT_EQ(item.location.get(), 0xFFFAu);
  EXPECT_EQ(item.type.get(), 0x81u);
  EXPECT_EQ(item.bit_field.get(), 0);
  EXPECT_EQ(item.parser_level.get(), 77);
  EXPECT_EQ(item.value.get(), 0u);
}

}  // namespace
