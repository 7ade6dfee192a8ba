// The type table, the field coders and the record builder.
#include "halv80/symbols/sym_types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_store.h"

namespace {

using Bytes = std::vector<u8>;

class SymTypesTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
  }
  void TearDown() override { reset_engine_state(); }
};

Bytes record_of(u32 code) {
  std::span<const u8> record;
  if (!sym_type_record(code, record)) return {};
  return Bytes(record.begin(), record.end());
}

// Runs one coder into a buffer of `room` bytes.
template <typename Coder>
Bytes code_with(Coder coder, std::size_t room = 300) {
  Bytes out(room, 0xEE);
  const std::size_t n = coder(std::span<u8>(out));
  out.resize(n);
  return out;
}

TEST_F(SymTypesTest, StructRecordHasTheDocumentedBytes) {
  const TypeMember members[] = {{"a", 0x81, 0}, {"b", 0x82, 2}};
  TypeBuilder b;
  ASSERT_TRUE(b.struct_record(kKindStruct, 6, "tag", members));
  ASSERT_TRUE(b.define(600));
  const Bytes expected = {
      'y', 0x30,                 // 6 bytes = 48 bits
      2,                         // member count
      0x82, 3, 't', 'a', 'g',    // tag name
      0x83, 0x81, 0, 0, 0,       // a: int
      0x83, 0x82, 0, 0, 0,       // b: long
      0x82, 1, 'a', 0x88, 0x00,  // a at offset 0
      0x82, 1, 'b', 0x88, 0x02,  // b at offset 2
  };
  EXPECT_EQ(record_of(600), expected);
}

TEST_F(SymTypesTest, SizeFieldCoderBoundariesAndReadBack) {
  const struct { u32 bytes; Bytes field; } cases[] = {
      {0, {0x00}},
      {20, {160}},                            // a struct of 20 bytes: one byte
      {31, {0xF8}},                           // the last one-byte size
      {32, {0x85, 0x00, 0x01}},               // 256 bits
      {40, {0x85, 0x40, 0x01}},               // a struct of 40 bytes: 320 bits
      {8191, {0x85, 0xF8, 0xFF}},             // the last u16 size
      {8192, {0x86, 0x00, 0x00, 0x01, 0x00}},  // 65,536 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    const Bytes field =
        code_with([&](std::span<u8> out) { return sym_type_put_size(out, c.bytes); });
    EXPECT_EQ(field, c.field);
    TypeFieldReader r(field);
    u32 back = 0xFFFF;
    ASSERT_TRUE(r.size(back));
    EXPECT_EQ(back, c.bytes);
    EXPECT_EQ(r.position(), field.size());
  }
}

TEST_F(SymTypesTest, SizeFieldReaderTakesEveryWideTagAndAnyOtherByteAsBits) {
  const struct { Bytes field; u32 bytes; } cases[] = {
      {{0x85, 0x40, 0x01}, 40},
      {{0x89, 0x40, 0x01}, 40},
      {{0x86, 0x40, 0x01, 0, 0}, 40},
      {{0x8A, 0x00, 0x00, 0x02, 0x00}, 16384},
      {{0x88}, 17},  // 136 bits: a multiple of 8 is its own value
      {{0x7F}, 15},  // bits / 8, truncated
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.field));
    TypeFieldReader r(c.field);
    u32 bytes = 0;
    ASSERT_TRUE(r.size(bytes));
    EXPECT_EQ(bytes, c.bytes);
  }
}

TEST_F(SymTypesTest, NumberAndCountCodersAtTheirBoundaries) {
  const struct { u32 value; Bytes field; } numbers[] = {
      {0, {0x88, 0x00}},
      {255, {0x88, 0xFF}},
      {256, {0x89, 0x00, 0x01}},
      {65535, {0x89, 0xFF, 0xFF}},
      {65536, {0x90, 0x00, 0x00, 0x01, 0x00}},
      {0xFFFFFFFF, {0x90, 0xFF, 0xFF, 0xFF, 0xFF}},  // an enum value of -1
  };
  for (const auto& c : numbers) {
    SCOPED_TRACE(c.value);
    const Bytes field =
        code_with([&](std::span<u8> out) { return sym_type_put_number(out, c.value); });
    EXPECT_EQ(field, c.field);
    TypeFieldReader r(field);
    u32 back = 0;
    ASSERT_TRUE(r.number(back));
    EXPECT_EQ(back, c.value);
  }
  const struct { u32 count; Bytes field; } counts[] = {
      {2, {2}},
      {0x7F, {0x7F}},
      {0x80, {0x85, 0x80, 0x00}},  // one byte of 0x80 would read as a field tag
      {0x85, {0x85, 0x85, 0x00}},
      {300, {0x85, 0x2C, 0x01}},
  };
  for (const auto& c : counts) {
    SCOPED_TRACE(c.count);
    const Bytes field =
        code_with([&](std::span<u8> out) { return sym_type_put_count(out, c.count); });
    EXPECT_EQ(field, c.field);
    TypeFieldReader r(field);
    u32 back = 0;
    ASSERT_TRUE(r.count(back));
    EXPECT_EQ(back, c.count);
  }
}

TEST_F(SymTypesTest, NameCoderCutsAt255AndRoundTrips) {
  const std::string long_name(300, 'n');
  const struct { std::string name; std::size_t stored; } cases[] = {
      {"", 0}, {"x", 1}, {std::string(255, 'm'), 255}, {long_name, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    const Bytes field =
        code_with([&](std::span<u8> out) { return sym_type_put_name(out, c.name); });
    ASSERT_EQ(field.size(), c.stored + 2);
    EXPECT_EQ(field[0], 0x82);
    EXPECT_EQ(field[1], c.stored);
    TypeFieldReader r(field);
    std::span<const u8> name;
    ASSERT_TRUE(r.name(name));
    EXPECT_EQ(std::string(name.begin(), name.end()), c.name.substr(0, c.stored));
  }
}

TEST_F(SymTypesTest, CodersWriteNothingWhenTheFieldDoesNotFit) {
  using Coder = std::size_t (*)(std::span<u8>);
  const struct { const char* what; Coder coder; std::size_t needed; } cases[] = {
      {"size 1", [](std::span<u8> o) { return sym_type_put_size(o, 1); }, 1},
      {"size u16", [](std::span<u8> o) { return sym_type_put_size(o, 100); }, 3},
      {"size u32", [](std::span<u8> o) { return sym_type_put_size(o, 9000); }, 5},
      {"count wide", [](std::span<u8> o) { return sym_type_put_count(o, 200); }, 3},
      {"number u8", [](std::span<u8> o) { return sym_type_put_number(o, 1); }, 2},
      {"number u32", [](std::span<u8> o) { return sym_type_put_number(o, 70000); }, 5},
      {"name", [](std::span<u8> o) { return sym_type_put_name(o, "abc"); }, 5},
      {"type", [](std::span<u8> o) { return sym_type_put_type(o, 513); }, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(c.needed, 0xEE);
    EXPECT_EQ(c.coder(std::span<u8>(out.data(), c.needed - 1)), 0u);
    EXPECT_EQ(out, Bytes(c.needed, 0xEE));
    EXPECT_EQ(c.coder(std::span<u8>(out)), c.needed);
  }
}

TEST_F(SymTypesTest, ReaderRefusesEveryTruncatedFieldAndKeepsItsPosition) {
  const struct { const char* what; Bytes field; bool (*read)(TypeFieldReader&); } cases[] = {
      {"size u16", {0x85, 0x40, 0x01}, [](TypeFieldReader& r) { u32 v; return r.size(v); }},
      {"size u32", {0x8A, 1, 2, 3, 4}, [](TypeFieldReader& r) { u32 v; return r.size(v); }},
      {"number u8", {0x88, 7}, [](TypeFieldReader& r) { u32 v; return r.number(v); }},
      {"number u16", {0x89, 7, 8}, [](TypeFieldReader& r) { u32 v; return r.number(v); }},
      {"number u32", {0x90, 1, 2, 3, 4}, [](TypeFieldReader& r) { u32 v; return r.number(v); }},
      {"name", {0x82, 3, 'a', 'b', 'c'},
       [](TypeFieldReader& r) { std::span<const u8> n; return r.name(n); }},
      {"type", {0x83, 1, 2, 0, 0}, [](TypeFieldReader& r) { u32 v; return r.type(v); }},
      {"bit field", {0x5C, 3, 5},
       [](TypeFieldReader& r) { u32 o; u16 b; return r.position_field(o, b); }},
  };
  for (const auto& c : cases) {
    for (std::size_t keep = 0; keep < c.field.size(); ++keep) {
      SCOPED_TRACE(std::string(c.what) + " cut to " + std::to_string(keep));
      // The cut field sits at position 1 of a record, as fields do.
      Bytes record = {'y'};
      record.insert(record.end(), c.field.begin(), c.field.begin() + keep);
      TypeFieldReader r(record, 1);
      EXPECT_FALSE(c.read(r));
      EXPECT_EQ(r.position(), 1u);
    }
    Bytes whole = {'y'};
    whole.insert(whole.end(), c.field.begin(), c.field.end());
    TypeFieldReader r(whole, 1);
    EXPECT_TRUE(c.read(r)) << c.what;
    EXPECT_EQ(r.position(), whole.size()) << c.what;
  }
}

TEST_F(SymTypesTest, NumberReaderRefusesATagThatIsNoNumber) {
  const Bytes field = {0x82, 1, 'a'};
  TypeFieldReader r(field);
  u32 value = 0;
  EXPECT_FALSE(r.number(value));
  EXPECT_EQ(r.position(), 0u);
}

TEST_F(SymTypesTest, SlotsExistOnlyInRangeAndInTakenPages) {
  EXPECT_EQ(sym_type_slot(511), nullptr);  // a base or reserved code
  EXPECT_EQ(sym_type_slot(512), nullptr);  // no page yet
  const u32 last = kFirstTypeIndex + kTypeSlotLimit - 1;
  const Bytes record = {kKindNoStorage};
  ASSERT_TRUE(sym_type_define_bytes(512, record));
  ASSERT_TRUE(sym_type_define_bytes(last, record));
  EXPECT_FALSE(sym_type_define_bytes(last + 1, record));
  EXPECT_FALSE(sym_type_define_bytes(0xFFFFFFFF, record));
  EXPECT_EQ(sym_type_slot(last + 1), nullptr);
  EXPECT_EQ(sym_type_slot(kTypeFunctionClass), nullptr);
  EXPECT_EQ(Types.SlotCount, kTypeSlotLimit);

  const struct { u32 index; bool defined; } cases[] = {
      {512, true}, {513, false},  // same page, never defined
      {512 + kTypeSlotsPerPage, false},  // page 1 was never taken
      {last, true}, {last - 1, false}, {last + 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    std::span<const u8> got;
    EXPECT_EQ(sym_type_record(c.index, got), c.defined);
  }
  EXPECT_EQ(sym_type_slot(512 + kTypeSlotsPerPage), nullptr);
  EXPECT_NE(sym_type_slot(513), nullptr);
  EXPECT_EQ(*sym_type_slot(513), kNoName);

  sym_reset();  // the table goes with the store
  EXPECT_EQ(sym_type_slot(512), nullptr);
  EXPECT_EQ(Types.SlotCount, 0u);
}

TEST_F(SymTypesTest, EmptyRecordIsNoType) {
  ASSERT_TRUE(sym_type_define_bytes(700, {}));
  std::span<const u8> got;
  EXPECT_FALSE(sym_type_record(700, got));
}

TEST_F(SymTypesTest, BuilderRecordsForEveryKind) {
  Sw.ToolchainKind = 16;
  const struct { const char* what; bool (*build)(TypeBuilder&); Bytes expected; } cases[] = {
      {"pointer", [](TypeBuilder& b) { return b.pointer_record(kPointerNear, 0x80); },
       {'z', 'w', 0x83, 0x80, 0, 0, 0}},
      {"alias", [](TypeBuilder& b) { return b.alias_record(0x1234); },
       {0x83, 0x34, 0x12, 0, 0}},
      {"function", [](TypeBuilder& b) { return b.function_record(0x81, 2); },
       {'u', 0x80, 0x83, 0x81, 0, 0, 0, 'c', 2}},
      {"enum", [](TypeBuilder& b) {
         return b.enum_record("e") && b.put_name("R") && b.put_number(0) && b.put_name("G") &&
                b.put_number(300);
       },
       {'{', 0x82, 1, 'e', 0x82, 1, 'R', 0x88, 0, 0x82, 1, 'G', 0x89, 0x2C, 0x01}},
      {"array of 10 ints", [](TypeBuilder& b) { return b.array_record(10, 0x81, 2); },
       {'x', 160, 0x83, 0x81, 0, 0, 0}},  // the whole size: 20 bytes
      {"union with a bit field",
       [](TypeBuilder& b) {
         const TypeMember m[] = {{"f", 0x85, 0, true, 3, 5}};
         return b.struct_record(kKindUnion, 2, "", m);
       },
       {'|', 16, 1, 0x82, 0, 0x83, 0x85, 0, 0, 0, 0x82, 1, 'f', 0x5C, 3, 5}},
  };
  u32 index = 900;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TypeBuilder b;
    ASSERT_TRUE(c.build(b));
    ASSERT_TRUE(b.define(index));
    EXPECT_EQ(record_of(index), c.expected);
    ++index;
  }
}

TEST_F(SymTypesTest, ArraySizeFieldHoldsTheCountForToolchainKinds4And5) {
  const struct { u16 kind; u32 count; Bytes size_field; } cases[] = {
      {4, 10, {80}},                 // count 10 coded as 10 "bytes"
      {5, 10, {80}},
      {5, 100, {0x85, 0x20, 0x03}},  // 800: the count as a wide size
      {16, 10, {160}},               // 20 bytes
      {1, 100, {0x85, 0x40, 0x06}},  // 200 bytes = 1600 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << c.kind << " count " << c.count);
    Sw.ToolchainKind = c.kind;
    TypeBuilder b;
    ASSERT_TRUE(b.array_record(c.count, 0x81, 2));
    const NameHandle h = b.finish();
    ASSERT_NE(h, kNoName);
    std::size_t length = 0;
    const u8* data = sym_store_read_length(sym_store_ptr(h), length);
    Bytes expected = {'x'};
    expected.insert(expected.end(), c.size_field.begin(), c.size_field.end());
    expected.insert(expected.end(), {0x83, 0x81, 0, 0, 0});
    EXPECT_EQ(Bytes(data, data + length), expected);
  }
}

// A member list far beyond one build buffer: the record is stored in parts and
// must read back exactly as one record built in a single piece.
TEST_F(SymTypesTest, LongMemberListGrowsThroughAppendAndReadsBackIntact) {
  std::vector<std::string> names;
  std::vector<TypeMember> members;
  for (u32 i = 0; i < 400; ++i) names.push_back("member_" + std::to_string(i));
  for (u32 i = 0; i < 400; ++i)
    members.push_back({names[i], i % 2 ? 0x82u : 0x81u, i * 3});
  // a few names of the longest length, to hit the room check near the end
  const std::string longest(255, 'L');
  members.push_back({longest, 0x80, 2000});
  members.push_back({longest, 0x80, 70000});

  Bytes reference = {'y'};
  auto add = [&](auto coder) {
    u8 field[kNameFieldMax];
    const std::size_t n = coder(std::span<u8>(field));
    reference.insert(reference.end(), field, field + n);
  };
  add([](std::span<u8> o) { return sym_type_put_size(o, 1300); });
  add([&](std::span<u8> o) { return sym_type_put_count(o, u32(members.size())); });
  add([](std::span<u8> o) { return sym_type_put_name(o, "big"); });
  for (const auto& m : members) add([&](std::span<u8> o) { return sym_type_put_type(o, m.type); });
  for (const auto& m : members) {
    add([&](std::span<u8> o) { return sym_type_put_name(o, m.name); });
    add([&](std::span<u8> o) { return sym_type_put_number(o, m.offset); });
  }
  ASSERT_GT(reference.size(), 3 * kTypeBuildSize);

  TypeBuilder b;
  ASSERT_TRUE(b.struct_record(kKindStruct, 1300, "big", members));
  EXPECT_EQ(b.built(), reference.size());
  ASSERT_TRUE(b.define(1000));
  EXPECT_EQ(record_of(1000), reference);
}

// Entries of every size put one after another: whatever the fill, an entry
// never lands past the buffer, and the record is the entries in order.
TEST_F(SymTypesTest, BuilderChecksRoomBeforeEveryEntry) {
  for (std::size_t name_length : {0u, 1u, 100u, 200u, 254u, 255u}) {
    SCOPED_TRACE(name_length);
    sym_reset();
    TypeBuilder b;
    Bytes reference;
    b.put_byte(kKindEnum);
    reference.push_back(kKindEnum);
    const std::string name(name_length, 'q');
    for (int i = 0; i < 40; ++i) {
      b.put_name(name);
      b.put_number(u32(i) * 1000);
      u8 field[kNameFieldMax];
      std::size_t n = sym_type_put_name(field, name);
      reference.insert(reference.end(), field, field + n);
      n = sym_type_put_number(field, u32(i) * 1000);
      reference.insert(reference.end(), field, field + n);
    }
    ASSERT_FALSE(b.failed());
    ASSERT_TRUE(b.define(1100));
    EXPECT_EQ(record_of(1100), reference);
  }
}

TEST_F(SymTypesTest, BuilderFailureIsStickyAndDefinesNothing) {
  TypeBuilder b;
  ASSERT_TRUE(b.put_byte(kKindStruct));
  // A record must stay below one page: keep putting until the store refuses.
  const std::string name(255, 'z');
  bool ok = true;
  for (int i = 0; i < 200 && ok; ++i) ok = b.put_name(name);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(b.failed());
  EXPECT_FALSE(b.put_byte(1));
  EXPECT_FALSE(b.define(1200));
  std::span<const u8> got;
  EXPECT_FALSE(sym_type_record(1200, got));
}

}  // namespace
