// The value formatter over typed items of a booted target, their types built
// through the symbol store's builder as the loaders write them: every type
// class in full, inline and fetch form, type names, the wildcard match, and
// the "?" / VAL command with its variable listings.
#include "halv80/symbols/fmt_value.h"

#include <gtest/gtest.h>

#include <cstring>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/fmt_variables.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "halv80/symbols/sym_variables.h"
#include "halv80/symbols/tests/demo_program.h"

namespace {

using Bytes = std::vector<u8>;

constexpr u32 kChar = 0x80, kInt = 0x81, kLong = 0x82, kUChar = 0x84, kUInt = 0x85, kULong = 0x86;
constexpr u32 kFloat = 0x88, kDouble = 0x89, kBool = 0x8E, kCharPtr = 0xA0;
constexpr u32 kTag = 512, kUnion = 513, kClassRecord = 514, kIntArray = 515, kTagArray = 516;
constexpr u32 kTagPointer = 517, kColor = 518, kBits = 519, kIntFunction = 520, kMatrix = 521;
constexpr u32 kAlias = 522, kBitRecord = 523, kBadBits = 524, kVoidFunction = 525, kArrayPointer = 526;
constexpr u32 kBoolArray = 527, kCharArray = 528;

// Types and data of a small typed program in target RAM at 9200H.
void define_types() {
  const auto define = [](u32 index, auto build) {
    TypeBuilder b;
    ASSERT_TRUE(build(b)) << index;
    ASSERT_TRUE(b.define(index)) << index;
  };
  const TypeMember tag[] = {{"a", kInt, 0}, {"b", kLong, 2}};
  define(kTag, [&](TypeBuilder& b) { return b.struct_record(kKindStruct, 6, "tag", tag); });
  const TypeMember word[] = {{"w", kUInt, 0}, {"c", kUChar, 0}};
  define(kUnion, [&](TypeBuilder& b) { return b.struct_record(kKindStruct, 2, "word", word); });
  define(kClassRecord, [&](TypeBuilder& b) { return b.struct_record(kKindUnion, 2, "word", word); });
  define(kIntArray, [](TypeBuilder& b) { return b.array_record(4, kInt, 2); });
  define(kTagArray, [](TypeBuilder& b) { return b.array_record(2, kTag, 6); });
  define(kTagPointer, [](TypeBuilder& b) { return b.pointer_record(kPointerNear, kTag); });
  define(kColor, [](TypeBuilder& b) {
    return b.enum_record("color") && b.put_name("RED") && b.put_number(0) && b.put_name("GREEN") &&
           b.put_number(1) && b.put_name("BLUE") && b.put_number(5);
  });
  ASSERT_TRUE(sym_type_define_bytes(kBitRecord, Bytes{'\\'}));
  // struct bits { unsigned c : 3 at bit 5; long d : 4 at bit 0; color e : 2 at bit 9;
  // and a field of 12 bits at bit 8, which runs past its word }
  const TypeMember bits[] = {{"c", kBitRecord, 0, true, 3, 5},
                             {"d", kLong, 0, true, 4, 0},
                             {"e", kColor, 0, true, 2, 9},
                             {"f", kInt, 0, true, 12, 8}};
  define(kBits, [&](TypeBuilder& b) { return b.struct_record(kKindStruct, 2, "bits", bits); });
  define(kIntFunction, [](TypeBuilder& b) { return b.function_record(kInt, 2); });
  define(kVoidFunction, [](TypeBuilder& b) { return b.function_record(0x8F, 0); });
  define(kMatrix, [](TypeBuilder& b) {
    return b.put_byte(kKindArray) && b.put_size(12) && b.put_type(kMatrix + 100);
  });
  define(kMatrix + 100, [](TypeBuilder& b) { return b.array_record(3, kInt, 2); });
  define(kAlias, [](TypeBuilder& b) { return b.alias_record(kTag); });
  define(kArrayPointer, [](TypeBuilder& b) { return b.pointer_record(kPointerNear, kIntArray); });
  define(kBoolArray, [](TypeBuilder& b) { return b.array_record(3, kBool, 1); });
  define(kCharArray, [](TypeBuilder& b) { return b.array_record(4, kChar, 1); });
  (void)kBadBits;
}

void write_data() {
  const struct {
    u16 address;
    Bytes bytes;
  } data[] = {
      {0x9200, {0xFF, 0xFF}},                          // int -1
      {0x9202, {0x00, 0x28, 0x6B, 0xEE}},              // ulong 4,000,000,000
      {0x9206, {0x0A}},                                // char 10
      {0x9207, {0xE9}},                                // uchar 233
      {0x9208, {0x41}},                                // char 'A'
      {0x9209, {0x5C}},                                // char backslash
      {0x920A, {0x01}},                                // bool
      {0x9210, {0x01, 0x00, 0x02, 0x00, 0x00, 0x00}},  // tag {a=1,b=2}
      {0x9216, {0x10, 0x92}},                          // tag pointer -> 9210
      {0x9218, {0x30, 0x92}},                          // char pointer -> "AB"
      {0x921A, {0x00, 0x00}},                          // char pointer 0
      {0x9220, {0x0A, 0x00, 0x14, 0x00, 0x1E, 0x00, 0xD8, 0xFF}},  // int[4] {10,20,30,-40}
      {0x9228, {0x05, 0x00}},                          // color 5 (BLUE)
      {0x922A, {0x07, 0x00}},                          // color 7 (no name)
      {0x922C, {0x00, 0x00}},                          // color 0 (RED)
      {0x9230, {'A', 'B', 0}},                         // the string
      {0x9234, {0x34, 0x12}},                          // union word 0x1234
      {0x9240, {0xEF, 0x02}},                          // bits: c=7, d=-1, e=1
      {0x9250, {0x00, 0x00, 0xC0, 0x3F}},              // float 1.5
      {0x9258, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xC0}},  // double -2.25
      {0x9260, {0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x00}},  // tag[2]
      {0x9270, {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0x05, 0x00, 0x06, 0x00}},  // int[2][3]
      {0x9280, {0x01, 0x00, 0x01}},                    // bool[3]
      {0x9284, {'h', 'i', '\t', 0x82}},                // char[4]: a lead byte without its pair
  };
  for (const auto& d : data) tgt_write_block(d.bytes, d.address);
}

// An item of a variable at `address` as the evaluator makes it from a symbol.
ExprValue at(u32 address, u32 type, u16 bit_field = 0) {
  ExprValue v{};
  v.storage_class = 6;
  v.location.set(address);
  v.type.set(type);
  v.bit_field.set(bit_field);
  return v;
}

// What printing the item in `mode` writes (a full print after its type name).
std::string printed(ExprValue v, u16 mode) {
  char buffer[kCaptureLimit + 1] = {};
  fmt_first_item_clear();
  fmt_capture_reset();
  con_capture_begin(buffer);
  if (mode == kPrintFull) {
    fmt_print_type_name(v);
    con_putc(' ');
  }
  fmt_print_value(v, mode);
  con_capture_end();
  return buffer;
}

class FmtValueTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    sym_init();
    define_types();
    write_data();
  }
  void TearDown() override {
    sym_init();
    StartupTest::TearDown();
  }
};

TEST_F(FmtValueTest, EveryTypeClassInFullAndInlineForm) {
  const struct {
    ExprValue item;
    const char* full;
    const char* shown_inline;
  } cases[] = {
      {at(0x9200, kInt), "(int ) -1 (0xFFFF)", "FFFF"},
      {at(0x9202, kULong), "(ulong ) 4000000000 (0xEE6B2800)", "EE6B2800"},
      {at(0x9206, kChar), "(char ) '\\n'  10 (0xA)", "A"},
      {at(0x9207, kUChar), "(uchar ) '\\xE9'233 (0xE9)", "E9"},
      {at(0x9208, kChar), "(char ) 'A'   65 (0x41)", "41"},
      {at(0x9209, kChar), "(char ) '\\\\'  92 (0x5C)", "5C"},
      {at(0x920A, kBool), "( ) true", "true"},
      {at(0x9210, kTag), "(struct tag ) @9210 {a=1,b=2}", " {a=1,b=2}"},
      {at(0x9210, kAlias), "(struct tag ) @9210 {a=1,b=2}", " {a=1,b=2}"},
      {at(0x9216, kTagPointer), "(struct tag *) *9210", "*9210"},
      {at(0x9218, kCharPtr), "(char *) *9230 \"AB\"", "*9230 \"AB\""},
      {at(0x921A, kCharPtr), "(char *) *0000", "*0000"},
      {at(0x9220, kIntArray), "(int [4]) @9220 {A,14,1E,FFD8}", " {A,14,1E,FFD8}"},
      {at(0x9228, kColor), "(enum color ) BLUE (5)", "BLUE"},
      {at(0x922A, kColor), "(enum color )  (7)", " (7)"},
      {at(0x922C, kColor), "(enum color ) RED (0)", "RED"},
      {at(0x9234, kUnion), "(union word ) @9234 {w=1234,c=34}", " {w=1234,c=34}"},
      {at(0x9234, kClassRecord), "(class word ) @9234 {w=1234,c=34}", " {w=1234,c=34}"},
      {at(0x9240, kBits), "(struct bits ) @9240 {c=7,d=F,e=GREEN,f=???}", " {c=7,d=F,e=GREEN,f=???}"},
      {at(0x9250, kFloat), "(float ) 1.500000e+00", "1.500000e+00"},
      {at(0x9258, kDouble), "(double ) -2.250000000000000e+000", "-2.250000000000000e+000"},
      {at(0x9260, kTagArray), "(struct tag [2]) @9260 { {a=1,b=2}, {a=3,b=4}}", " { {a=1,b=2}, {a=3,b=4}}"},
      {at(0x9270, kMatrix), "(int [2][3]) @9270 { {1,2,3}, {4,5,6}}", " { {1,2,3}, {4,5,6}}"},
      {at(0x9284, kCharArray), "(char [4]) @9284 \"hi\\t\\x82\"", " \"hi\\t\\x82\""},
      {at(0x0100, kIntFunction), "(int ()()) fnction @100", "fnction @100"},
      {at(0x0100, kVoidFunction), "(void ()()) fnction @100", "fnction @100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.full);
    EXPECT_EQ(printed(c.item, kPrintFull), c.full);
    EXPECT_EQ(printed(c.item, kPrintInline), c.shown_inline);
  }
  // with radix 10 the inline form is decimal
  Cmd.Radix = 10;
  EXPECT_EQ(printed(at(0x9200, kInt), kPrintInline), "-1");
  EXPECT_EQ(printed(at(0x9220, kIntArray), kPrintInline), " {10,20,30,-40}");
}

TEST_F(FmtValueTest, BitFieldsAreCutFromTheirWordAndBounded) {
  const struct {
    u16 bits;  // width << 8 | offset
    u32 type;
    const char* full;
    u16 fetch_kind;
    u32 fetched;
  } cases[] = {
      {0x0305, kBitRecord, "(uint ) 7 (0x7)", kFetchScalar, 7},
      {0x0400, kLong, "(long ) -1 (0xF)", kFetchScalar, 0xFFFFFFFF},  // a long field is signed
      {0x0209, kColor, "(enum color ) GREEN (1)", kFetchScalar, 1},
      {0x0C08, kInt, "(int ) ???", kFetchNone, 0},    // runs past its 16-bit word
      {0x2000, kULong, "(ulong ) ???", kFetchNone, 0},  // 32 bits wide
      {0x0010, kInt, "(int ) ???", kFetchNone, 0},    // no width
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.full);
    EXPECT_EQ(printed(at(0x9240, c.type, c.bits), kPrintFull), c.full);
    ExprValue v = at(0x9240, c.type, c.bits);
    const FmtFetch f = fmt_print_value(v, kPrintFetch);
    EXPECT_EQ(f.kind, c.fetch_kind);
    EXPECT_EQ(f.value, c.fetched);
  }
}

TEST_F(FmtValueTest, FetchHandsBackScalarsAndAddresses) {
  const struct {
    ExprValue item;
    u16 kind;
    u32 value;
  } cases[] = {
      {at(0x9200, kInt), kFetchScalar, 0xFFFFFFFF},  {at(0x9207, kUChar), kFetchScalar, 233},
      {at(0x9228, kColor), kFetchScalar, 5},         {at(0x9216, kTagPointer), kFetchAddress, 0x9210},
      {at(0x9220, kIntArray), kFetchAddress, 0x9220}, {at(0x9210, kTag), kFetchNone, 0},
      {at(0x9250, kFloat), kFetchNone, 0},           {at(0x0100, kIntFunction), kFetchNone, 0},
  };
  for (const auto& c : cases) {
    ExprValue v = c.item;
    const FmtFetch f = fmt_print_value(v, kPrintFetch);
    EXPECT_EQ(f.kind, c.kind);
    EXPECT_EQ(f.value, c.value);
  }
}

TEST_F(FmtValueTest, TheFirstItemIsRecordedForTheInspectWindow) {
  printed(at(0x9210, kTag), kPrintFull);
  EXPECT_EQ(FmtVal.FirstKind, kFirstStruct);
  EXPECT_EQ(FmtVal.FirstMemberCount, 2u);
  printed(at(0x9260, kTagArray), kPrintFull);
  EXPECT_EQ(FmtVal.FirstKind, kFirstArray);
  EXPECT_EQ(FmtVal.FirstElementCount, 2u);
  EXPECT_EQ(FmtVal.FirstElementSize, 6u);
  printed(at(0x9218, kCharPtr), kPrintFull);
  EXPECT_EQ(FmtVal.FirstKind, kFirstPointer);
  EXPECT_EQ(FmtVal.FirstStringLength, 2u);
  EXPECT_EQ(FmtVal.StringAddress, 0x9230u);
  EXPECT_EQ(FmtVal.ItemAddress, 0x9218u);
}

TEST_F(FmtValueTest, AStringStopsWhereTheRowIsFull) {
  Bytes long_text(300, 'x');
  long_text.push_back(0);
  tgt_write_block(long_text, 0x9400);
  tgt_write_word(0x921A, 0x9400);
  const std::string text = printed(at(0x921A, kCharPtr), kPrintFull);
  EXPECT_EQ(text.size(), kCaptureLimit);
  EXPECT_EQ(text.back(), 'x');  // no closing quote
}

TEST(FmtTypeNameTest, PointersArraysAndRecords) {
  sym_init();
  define_types();
  const struct {
    u32 type;
    const char* name;
  } cases[] = {
      {kCharPtr, "(char *)"},           {kIntArray, "(int [4])"},     {kTag, "(struct tag )"},
      {kUnion, "(union word )"},        {kClassRecord, "(class word )"}, {kColor, "(enum color )"},
      {kMatrix, "(int [2][3])"},        {kArrayPointer, "(int [][4])"}, {kTagPointer, "(struct tag *)"},
      {kBitRecord, "(uint )"},          {kIntFunction, "(int ()())"},  {kAlias, "(struct tag )"},
      {kDouble, "(double )"},           {0x8F, "( )"},
  };
  for (const auto& c : cases) {
    char buffer[kCaptureLimit + 1] = {};
    con_capture_begin(buffer);
    fmt_print_type_name_of(c.type);
    con_capture_end();
    EXPECT_STREQ(buffer, c.name) << c.type;
  }
  sym_init();
}

TEST(SymWildcardTest, Patterns) {
  const struct {
    const char* pattern;
    const char* name;
    u16 result;
  } cases[] = {
      {"cnt", "cnt", kMatchEqual},        {"CNT", "cnt", kMatchEqual},      {"cnt*", "cnt", kMatchWildcard},
      {"cnt*", "Counter", kMatchNone},   {"cnt*", "CNTx", kMatchWildcard}, {"*x", "abx", kMatchWildcard},
      {"a*b*c", "aXbYbZc", kMatchWildcard}, {"a*b*c", "aXbYbZ", kMatchNone}, {"?b", "ab", kMatchWildcard},
      {"?b", "b", kMatchNone},           {"ab", "abc", kMatchNone},        {"*", "", kMatchWildcard},
      {"", "", kMatchEqual},
  };
  for (const auto& c : cases) EXPECT_EQ(sym_wildcard_match(c.pattern, c.name), c.result) << c.pattern << " " << c.name;
}

}  // namespace

namespace {

ScopeRecord scope(u16 kind, u32 location, u16 size, std::string_view name = {}, u32 type = 0) {
  ScopeRecord r{};
  r.kind.set(kind);
  r.location.set(location);
  r.size.set(size);
  r.type.set(type);
  r.name.set(name.empty() ? kNoName : sym_intern_name(name));
  return r;
}

// The typed program with its scopes: module m.c (0100-02FF) with a static
// cnt_static, function f (0200-027F) with a frame variable cntB and a static
// cntA, an inner block (0240-024F) with cntC; globals v, s, cnt_total, color.
void add_program_scopes() {
  const struct {
    const char* name;
    u32 address;
    u32 type;
  } globals[] = {
      {"_v", 0x9200, kInt}, {"_s", 0x9210, kTag}, {"_cnt_total", 0x9202, kULong}, {"_color", 0x9228, kColor},
      {"_sp", 0x9216, kTagPointer}, {"_arr", 0x9220, kIntArray}, {"_f", 0x0200, kIntFunction},
  };
  for (const auto& g : globals) ASSERT_EQ(sym_add(g.name, g.address, g.type), 0) << g.name;
  sym_sort_symbols();
  SymFlag.CodeLow = 0x100;
  SymFlag.CodeHigh = 0x2FF;
  for (const ScopeRecord& r : {
           scope(kScopeModule, 0x100, 0x200, "m.c"),
           scope(kScopeStatic, 0x9260, 6, "cnt_static", kTag),
           scope(kScopeBlock, 0x200, 0x80, "f"),
           scope(kScopeFrame, u32(-2), 2, "cntB", kInt),
           scope(kScopeStatic, 0x9208, 1, "cntA", kChar),
           scope(kScopeStatic, 0x9260, 12, "ar", kTagArray),
           scope(kScopeStatic, 0x9216, 2, "pt", kTagPointer),
           scope(kScopeBlock, 0x240, 0x10),
           scope(kScopeStatic, 0x9207, 1, "cntC", kUChar),
           scope(kScopeBlockEnd, 0, 0),
           scope(kScopeBlockEnd, 0, 0),
           scope(kScopeBlock, 0x280, 0x80, "g"),
           scope(kScopeStatic, 0x9200, 2, "gv", kInt),
           scope(kScopeBlockEnd, 0, 0),
       })
    ASSERT_EQ(sym_add_scope(r), 0);
}

class FmtCommandTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    define_types();
    write_data();
    add_program_scopes();
    ::Run.Regs.pc = 0x245;
    ::Run.Regs.ix = 0x9302;
    tgt_write_word(0x9300, 0x0102);  // cntB at IX - 2
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
};

TEST_F(FmtCommandTest, PrintsByTypeListsVariablesAndRefusesSideEffects) {
  const struct {
    const char* line;
    std::string transcript;  // after the echoed line
  } cases[] = {
      {"? v", "\n(int ) -1 (0xFFFF)\n>"},
      {"? s", "\n(struct tag ) @9210 {a=1,b=2}\n>"},
      {"? sp->b", "\n(long ) 2 (0x2)\n>"},
      {"? 1+2", "\n(long ) 3 (0x3)\n>"},  // an untyped constant shows as long
      {"? color", "\n(enum color ) BLUE (5)\n>"},
      {"? v=3", sjis("\n 副作用のある演算子は使用できません") + "\n>"},
      {"? x=3", sjis("\n Ｃの変数が見つかりません") + "\n>"},
      {"VAL v=3", "\n(int ) 3 (0x3)\n>"},
      {"? v", "\n(int ) 3 (0x3)\n>"},
      // the blocks around the PC, innermost first
      {"?",
       "\n(uchar )cntC = '\\xE9'233 (0xE9)"
       "\n(int )cntB = 258 (0x102)"
       "\n(char )cntA = 'A'   65 (0x41)"
       "\n(struct tag [2])ar = @9260 { {a=1,b=2}, {a=3,b=4}}"
       "\n(struct tag *)pt = *9210\n>"},
      // a pattern also finds the module's statics and the typed globals
      {"? cnt*",
       "\n(uchar )cntC = '\\xE9'233 (0xE9)"
       "\n(int )cntB = 258 (0x102)"
       "\n(char )cntA = 'A'   65 (0x41)"
       "\n(struct tag )cnt_static = @9260 {a=1,b=2}"
       "\n(ulong )cnt_total = 4000000000 (0xEE6B2800)\n>"},
      {"? CNTB", "\n(int )cntB = 258 (0x102)\n>"},  // a name without wildcards ends the listing
      {"? nosuch*", sjis("\n Ｃの変数が見つかりません") + "\n>"},
      {"? cntA,100", sjis("\n Ｃの変数が見つかりません") + "\n>"},  // not in scope at 0100
      {"? cntA,240", "\n(char ) 'A'   65 (0x41)\n>"},
      {"? v,zz", sjis("\n アドレス指定が誤りです") + "\n>"},
  };
  for (const auto& c : cases) EXPECT_EQ(typed(c.line), c.line + c.transcript) << c.line;
  EXPECT_EQ(tgt_read_word(0x9200), 3);
}

}  // namespace

namespace {

std::vector<std::string> local_rows(u16& scroll, u16& caret) {
  std::vector<std::string> rows;
  const u16 n = fmt_local_refresh(scroll, caret);
  char text[kRowExpressionSize];
  for (u16 i = 0; i < n; ++i) {
    fmt_local_row_text(text, i);
    rows.emplace_back(text);
  }
  return rows;
}

std::vector<std::string> watch_rows() {
  std::vector<std::string> rows;
  const u16 n = fmt_watch_refresh();
  char text[kRowExpressionSize];
  for (u16 i = 0; i < n; ++i) {
    fmt_watch_row_text(text, i);
    rows.emplace_back(text);
  }
  return rows;
}

std::string expression_of(bool local, u16 row) {
  char text[kRowExpressionSize];
  if (local) fmt_local_row_text(text, u16(0x8000 | row));
  else fmt_watch_row_text(text, u16(0x8000 | row));
  return text;
}

u16 row_named(const std::vector<std::string>& rows, std::string_view expression, bool local) {
  for (u16 i = 0; i < rows.size(); ++i)
    if (expression_of(local, i) == expression) return i;
  return 0xFFFF;
}

using FmtRowsTest = FmtCommandTest;

TEST_F(FmtRowsTest, LocalRowsExpandAndCollapseSeveralLevels) {
  u16 scroll = 0, caret = 0;
  auto rows = local_rows(scroll, caret);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[3], " +ar = @9260 { {a=1,b=2}, {a=3,b=4}}");  // the marker: expandable
  EXPECT_EQ(rows[0], "  cntC = '\\xE9'233 (0xE9)");
  EXPECT_EQ(fmt_local_row_expand(1, 0), 0);  // a scalar does not expand
  EXPECT_EQ(fmt_local_row_expand(1, 3), 1);
  EXPECT_EQ(local_rows(scroll, caret)[3], " -ar = @9260 { {a=1,b=2}, {a=3,b=4}}");
  // the toggle of a child and of the row after the expanded one
  EXPECT_EQ(fmt_local_row_expand(1, row_named(local_rows(scroll, caret), "ar[1]", true)), 1);
  EXPECT_EQ(fmt_local_row_expand(1, row_named(local_rows(scroll, caret), "pt", true)), 1);
  rows = local_rows(scroll, caret);
  EXPECT_EQ(fmt_local_row_expand(1, row_named(rows, "*pt", true)), 1);
  rows = local_rows(scroll, caret);
  const struct {
    const char* text;
    const char* expression;
  } expected[] = {
      {"  cntC = '\\xE9'233 (0xE9)", "cntC"},
      {"  cntB = 258 (0x102)", "cntB"},
      {"  cntA = 'A'   65 (0x41)", "cntA"},
      {" -ar = @9260 { {a=1,b=2}, {a=3,b=4}}", "ar"},
      {"     +[0] = @9260 {a=1,b=2}", "ar[0]"},
      {"     -[1] = @9266 {a=3,b=4}", "ar[1]"},
      {"        (int )a = 3 (0x3)", "ar[1].a"},
      {"        (long )b = 4 (0x4)", "ar[1].b"},
      {" -pt = *9210", "pt"},
      {"     -[0] = @9210 {a=1,b=2}", "*pt"},
      {"        (int )a = 1 (0x1)", "pt->a"},
      {"        (long )b = 2 (0x2)", "pt->b"},
  };
  ASSERT_EQ(rows.size(), std::size(expected));
  for (u16 i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i], expected[i].text) << i;
    EXPECT_EQ(expression_of(true, i), expected[i].expression) << i;
  }
  // collapsing ar takes its rows and its children's away; pt stays expanded
  EXPECT_EQ(fmt_local_row_expand(1, 3), 1);
  rows = local_rows(scroll, caret);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[3], " +ar = @9260 { {a=1,b=2}, {a=3,b=4}}");
  EXPECT_EQ(rows[4], " -pt = *9210");
  EXPECT_EQ(expression_of(true, 6), "pt->a");
  // and expanding ar again shows its children collapsed
  EXPECT_EQ(fmt_local_row_expand(1, 3), 1);
  rows = local_rows(scroll, caret);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows[5], "     +[1] = @9266 {a=3,b=4}");
  EXPECT_EQ(rows[6], " -pt = *9210");
}

TEST_F(FmtRowsTest, LocalRowsRestoreTheExpansionOfTheFunctionsShownBefore) {
  u16 scroll = 0, caret = 0;
  local_rows(scroll, caret);
  EXPECT_EQ(fmt_local_row_expand(1, 3), 1);
  EXPECT_EQ(local_rows(scroll, caret).size(), 7u);
  scroll = 2;
  caret = 4;
  ::Run.Regs.pc = 0x290;  // into g
  auto rows = local_rows(scroll, caret);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], "  gv = -1 (0xFFFF)");
  EXPECT_EQ(scroll, 0);
  ::Run.Regs.pc = 0x245;  // back into f
  rows = local_rows(scroll, caret);
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[3], " -ar = @9260 { {a=1,b=2}, {a=3,b=4}}");
  EXPECT_EQ(scroll, 2);
  EXPECT_EQ(caret, 4);
  // the cache keeps five functions, newest first
  EXPECT_EQ(FmtRows.CacheCount, 1);
  EXPECT_EQ(FmtRows.Cache[0].expanded[0].row, 3);
  // while the target runs the rows stay as they are
  ::Run.ExecutionState = kExecRunning;
  EXPECT_EQ(fmt_local_refresh(scroll, caret), 0);
  ::Run.ExecutionState = kExecStopped;
}

TEST_F(FmtRowsTest, WatchRowsFollowTheTargetAndKeepTheirExpansion) {
  auto name_entry = [](const char* text) {
    WatchEntry e{};
    e.element_size.set(0xFFFF);
    e.kind.set(kWatchName);
    e.name.set(sym_intern_name(text));
    return e;
  };
  FmtRows.Watches[0] = name_entry("s");
  WatchEntry var{};  // cntB, in f only
  var.low.set(0x200);
  var.high.set(0x280);
  var.element_size.set(0xFFFF);
  var.kind.set(kWatchScopeVariable);
  var.index.set(3);
  FmtRows.Watches[1] = var;
  FmtRows.Watches[2] = name_entry("arr[1]");
  FmtRows.WatchCount = 3;
  auto rows = watch_rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], " 1|+(struct tag )s = @9210 {a=1,b=2}");
  EXPECT_EQ(rows[1], " 2| (int )cntB = 258 (0x102)");
  EXPECT_EQ(rows[2], " 3| (int )arr[1] = 20 (0x14)");
  EXPECT_EQ(fmt_watch_row_expand(1, 0), 1);
  rows = watch_rows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[1], "      (int )a = 1 (0x1)");
  EXPECT_EQ(expression_of(false, 2), "s.b");
  // the target stops elsewhere: values follow, the expansion stays, and the
  // variable out of its range shows "????"
  tgt_write_word(0x9210, 9);
  ::Run.Regs.pc = 0x290;
  rows = watch_rows();
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], " 1|-(struct tag )s = @9210 {a=9,b=2}");
  EXPECT_EQ(rows[1], "      (int )a = 9 (0x9)");
  EXPECT_EQ(rows[3], " 2| cntB = ????");
  // Y removes an entry's rows
  fmt_watch_remove(0);
  char text[kRowExpressionSize];
  fmt_watch_row_text(text, 0);
  EXPECT_STREQ(text, " 2| cntB = ????");
  ::Run.ExecutionState = kExecRunning;
  rows = watch_rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], sjis(" ターゲット実行中は使用できません"));
  ::Run.ExecutionState = kExecStopped;
}

TEST_F(FmtRowsTest, RowsThatCannotExpand) {
  // a member name that would not fit the row state behind its parent
  const std::string member(240, 'm');
  const TypeMember members[] = {{member, kInt, 0}};
  TypeBuilder big;
  ASSERT_TRUE(big.struct_record(kKindStruct, 2, "big", members));
  ASSERT_TRUE(big.define(600));
  auto name_entry = [](const std::string& text) {
    WatchEntry e{};
    e.element_size.set(0xFFFF);
    e.kind.set(kWatchName);
    e.name.set(sym_intern_name(text));
    return e;
  };
  FmtRows.Watches[0] = name_entry("*(struct big *)0x9210");
  // a name of 64 characters or more
  FmtRows.Watches[1] = name_entry(std::string(32, '(') + "s" + std::string(32, ')'));
  FmtRows.WatchCount = 2;
  auto rows = watch_rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].rfind(" 1|+(struct big )*(struct big *)0x9210 = @9210 {mmm", 0), 0u);
  EXPECT_EQ(rows[0].size(), kCaptureLimit);  // the listing stops where the row is full
  EXPECT_EQ(fmt_watch_row_expand(1, 0), 1);
  EXPECT_EQ(fmt_watch_row_expand(1, 1), 1);
  Co.PendingError = 0;
  rows = watch_rows();
  ASSERT_EQ(rows.size(), 2u);  // neither expanded
  EXPECT_EQ(rows[0].substr(0, 4), " 1|+");
  EXPECT_EQ(rows[1].substr(0, 4), " 2|+");
  EXPECT_EQ(Co.PendingError, kMsgData + 1);
  EXPECT_EQ(fmt_watch_row_expand(0, 0) & kRowExpanded, 0);
}

TEST_F(FmtRowsTest, ChildExpressionsOfPointersArraysAndMembers) {
  // nested rows: the row keeps its text behind its level's indent
  const struct {
    const char* parent;
    u16 kind;
    i32 index;
    const char* child;
  } elements[] = {
      {"p", kFirstPointer, 0, "*p"},       {"p", kFirstPointer, 3, "*(p+3)"}, {"p", kFirstPointer, -2, "*(p-2)"},
      {"a", kFirstArray, 0, "a[0]"},       {"s.a", kFirstArray, 2, "(s.a)[2]"}, {"a[1]", kFirstArray, 4, "a[1][4]"},
      {"p->q", kFirstPointer, 0, "*(p->q)"},
  };
  char expression[kRowExpressionSize];
  char text[kRowTextSize];
  ExprValue item{};
  for (const auto& e : elements) {
    SCOPED_TRACE(e.parent);
    std::strcpy(expression, e.parent);
    sup_sprintf(text, "  [%ld] = 1", u32(e.index));
    const std::string row = text;
    ASSERT_TRUE(fmt_build_element_expression(u16(e.kind | kInspectNested), item, expression, text, e.index));
    EXPECT_STREQ(expression, e.child);
    EXPECT_EQ(text, "    " + row);
  }
  // an array row's own bracketed index is the one appended
  std::strcpy(expression, "a");
  std::strcpy(text, "  [7] = 1");
  ASSERT_TRUE(fmt_build_element_expression(kFirstArray | kInspectNested | kInspectLevelStep, item, expression, text, 0));
  EXPECT_STREQ(expression, "a[7]");
  EXPECT_STREQ(text, "        [7] = 1");
  const struct {
    const char* parent;
    const char* row;
    const char* child;
  } members[] = {{"s", "  (int )m = 1", "s.m"},
                 {"*q", "\n (struct t )m = {a=1}", "q->m"},
                 {"**q", "  (int (*)[3] )m = *9210", "(*q)->m"},
                 {"*(p+3)", "  m = 1", "(p+3)->m"}};
  for (const auto& m : members) {
    SCOPED_TRACE(m.parent);
    std::strcpy(expression, m.parent);
    std::strcpy(text, m.row);
    ASSERT_TRUE(fmt_build_member_expression(kFirstStruct | kInspectNested, item, expression, text));
    EXPECT_STREQ(expression, m.child);
    EXPECT_EQ(text, std::string("    ") + m.row);
  }
  // a child expression that would not fit the row state, and a row that names
  // no member, leave both texts alone
  const std::string long_parent(200, 'x');
  const struct {
    const char* row;
  } refused[] = {{"  (int )mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm = 1"}, {"  (int m = 1"}, {""}};
  for (const auto& r : refused) {
    SCOPED_TRACE(r.row);
    std::strcpy(expression, long_parent.c_str());
    std::strcpy(text, r.row);
    EXPECT_FALSE(fmt_build_member_expression(kFirstStruct, item, expression, text));
    EXPECT_EQ(expression, long_parent);
    EXPECT_STREQ(text, r.row);
  }
}

TEST_F(FmtRowsTest, InspectRowsGiveTheChildsExpressionAndValue) {
  const u32 pc = ::Run.Regs.pc;
  ExpShow.InspectScope = pc;
  char expression[kRowExpressionSize];
  char text[kRowTextSize];
  ExprValue ar{};
  ASSERT_EQ(exp_evaluate(ar, pc, "ar", 0), 0);
  fmt_print_array_element(kFirstArray, ar, text, 1, 6);
  EXPECT_STREQ(text, "  [1] = @9266 {a=3,b=4}");
  // the row formatted last is what an inspect window would open on
  EXPECT_STREQ(ExpShow.Request.Text, text);
  EXPECT_EQ(ExpShow.Request.Kind, kFirstStruct);
  EXPECT_EQ(ExpShow.Request.Count, 2u);
  EXPECT_EQ(ExpShow.Request.AreaSize, 6u);
  std::strcpy(expression, "ar");
  ASSERT_TRUE(fmt_build_element_expression(kFirstArray, ar, expression, text, 1));
  EXPECT_STREQ(expression, "ar[1]");
  EXPECT_STREQ(text, " (struct tag )ar[1] = @9266 {a=3,b=4}");
  // a member of that element, through the member row
  ExprValue element{};
  ASSERT_EQ(exp_evaluate(element, pc, "ar[1]", 0), 0);
  fmt_print_struct_members(kFirstStruct, element, text, 1);
  EXPECT_STREQ(text, "  (long )b = 4 (0x4)");
  EXPECT_STREQ(ExpShow.Request.Expression, "b");
  EXPECT_EQ(ExpShow.Request.Kind, kFirstScalar);
  EXPECT_EQ(ExpShow.Request.Count, 0u);
  ASSERT_TRUE(fmt_build_member_expression(kFirstStruct, element, expression, text));
  EXPECT_STREQ(expression, "ar[1].b");
  EXPECT_STREQ(text, " (long )ar[1].b = 4 (0x4)");
  // a pointer's target
  ExprValue pt{};
  ASSERT_EQ(exp_evaluate(pt, pc, "pt", 0), 0);
  fmt_print_array_element(kFirstPointer, pt, text, 0, 0);
  std::strcpy(expression, "pt");
  ASSERT_TRUE(fmt_build_element_expression(kFirstPointer, pt, expression, text, 0));
  EXPECT_STREQ(expression, "*pt");
  EXPECT_STREQ(text, " (struct tag )*pt = @9210 {a=1,b=2}");
}

TEST_F(FmtRowsTest, AMemoryRangeWatchShowsTheDisplayLineOfItsElements) {
  const struct {
    u32 low, high;
    u16 size;
    const char* row;
  } cases[] = {
      {0x9210, 0x9216, 2, " 1| 9210  0001 0002 0000 ......"},
      {0x9210, 0x9214, 1, " 1| 9210  01 00  02 00 ...."},  // an even count: a gap between the halves
      {0x9210, 0x9218, 4, " 1| 9210  0002:0001  9210:0000 ........"},
      {0x9210, 0x9211, 2, " 1| 9210  0001 .."},  // a part of an element is one element
      // a line holds 32 elements at most
      {0x9210, 0x9310, 1,
       " 1| 9210  01 00 02 00 00 00 10 92 30 92 00 00 00 00 00 00  0A 00 14 00 1E 00 D8 FF 05 00 07 00 00 00 00 00"
       " ........0.............\xD8........."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    WatchEntry e{};
    e.low.set(c.low);
    e.high.set(c.high);
    e.element_size.set(c.size);
    e.kind.set(kWatchName);
    FmtRows.Watches[0] = e;
    FmtRows.WatchCount = 1;
    const auto rows = watch_rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], c.row);
  }
}

}  // namespace

namespace {

// The structs program built by sdcc (tools/z80programs/structs.c), loaded
// with its symbols and run to its end; its globals get type records made to
// match the C declarations, as the compiler's debug information gives them.
class FmtProgramTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    dir_.write("structs.hex", demo::file_bytes(demo::kPrograms / "structs.ihx"));
    std::istringstream noi(demo::file_bytes(demo::kPrograms / "structs.noi"));
    std::string symbols, def, name, value;
    while (noi >> def >> name >> value)
      if (def == "DEF" && value.rfind("0x", 0) == 0) symbols += value.substr(2) + " " + name + "\r\n";
    dir_.write("structs.sym", symbols);
    typed("L structs");
    ASSERT_EQ(Mac.LineError, 0);
    typed("G =start");
    u16 stop = 0;
    ASSERT_EQ(sym_lookup_value("stop", stop), 1);
    ASSERT_EQ(::Run.Regs.pc, stop);
    // sdcc keeps an enumeration in one byte, as toolchain kind 5 reads it
    Sw.ToolchainKind = 5;
    type_the_globals();
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }

  static void type_the_globals() {
    constexpr u32 kPoint = 512, kRecord = 513, kWord = 514, kBytes2 = 515, kFlags = 516, kEnum = 517;
    constexpr u32 kPoints = 518, kPointPtr = 519, kInts = 520;
    const TypeMember point[] = {{"x", kInt, 0}, {"y", kInt, 2}};
    const TypeMember record[] = {{"tag", kChar, 0}, {"count", kLong, 1}, {"pos", kPoint, 5}};
    const TypeMember word[] = {{"w", kUInt, 0}, {"b", kBytes2, 0}};
    const TypeMember flags[] = {{"a", kUInt, 0, true, 3, 0}, {"b", kUInt, 0, true, 5, 3}, {"c", kUInt, 0, true, 4, 8}};
    TypeBuilder b[9];
    ASSERT_TRUE(b[0].struct_record(kKindStruct, 4, "point", point) && b[0].define(kPoint));
    ASSERT_TRUE(b[1].struct_record(kKindStruct, 9, "record", record) && b[1].define(kRecord));
    ASSERT_TRUE(b[2].struct_record(kKindStruct, 2, "word", word) && b[2].define(kWord));
    ASSERT_TRUE(b[3].array_record(2, kUChar, 1) && b[3].define(kBytes2));
    ASSERT_TRUE(b[4].struct_record(kKindStruct, 2, "flags", flags) && b[4].define(kFlags));
    ASSERT_TRUE(b[5].enum_record("color") && b[5].put_name("RED") && b[5].put_number(0) && b[5].put_name("GREEN") &&
                b[5].put_number(1) && b[5].put_name("BLUE") && b[5].put_number(5) && b[5].define(kEnum));
    ASSERT_TRUE(b[6].array_record(3, kPoint, 4) && b[6].define(kPoints));
    ASSERT_TRUE(b[7].pointer_record(kPointerNear, kPoint) && b[7].define(kPointPtr));
    ASSERT_TRUE(b[8].array_record(4, kInt, 2) && b[8].define(kInts));
    const struct {
      const char* name;
      u32 type;
    } globals[] = {{"_rec", kRecord}, {"_pts", kPoints}, {"_ppt", kPointPtr}, {"_uw", kWord},
                   {"_fval", kFloat}, {"_fneg", kFloat},   {"_fl", kFlags},     {"_col", kEnum},
                   {"_msg", kCharPtr}, {"_arr", kInts},    {"_big", kLong}};
    for (const auto& g : globals) {
      const u16 index = sym_find_by_name(g.name, kSymFindExact);
      ASSERT_NE(index, 0) << g.name;
      sym_record(u16(index - 1))->type.set(g.type);
    }
  }
};

TEST_F(FmtProgramTest, EachVariableShowsWhatTheProgramComputed) {
  Cmd.Radix = 10;  // inline values in decimal, as the C source writes them
  const struct {
    const char* line;
    const char* shown;
  } cases[] = {
      {"? rec", "(struct record ) @9100 {tag=82,count=100000,pos= {x=-3,y=7}}"},
      {"? rec.count", "(long ) 100000 (0x186A0)"},
      {"? rec.tag", "(char ) 'R'   82 (0x52)"},
      {"? pts", "(struct point [3]) @9109 { {x=0,y=0}, {x=10,y=-1}, {x=20,y=-2}}"},
      {"? ppt", "(struct point *) *910D"},
      {"? *ppt", "(struct point ) @910D {x=10,y=-1}"},
      {"? ppt->y", "(int ) -1 (0xFFFF)"},
      {"? uw", "(union word ) @9117 {w=4660,b= \"4\\x12\"}"},
      {"? fval", "(float ) 1.500000e+00"},
      {"? fneg", "(float ) -2.250000e+00"},
      {"? fl", "(struct flags ) @9121 {a=5,b=17,c=9}"},
      {"? fl.b", "(uint ) 17 (0x11)"},
      {"? col", "(enum color ) BLUE (5)"},
      {"? arr", "(int [4]) @9126 {-1,0,3,8}"},
      {"? big", "(long ) -123456 (0xFFFE1DC0)"},
  };
  for (const auto& c : cases) EXPECT_EQ(typed(c.line), std::string(c.line) + "\n" + c.shown + "\n>") << c.line;
  // the string lies among the constants of the code
  const std::string msg = typed("? msg");
  EXPECT_EQ(msg.rfind("? msg\n(char *) *0", 0), 0u) << msg;
  EXPECT_NE(msg.find(" \"Hi\"\n>"), std::string::npos) << msg;
}

}  // namespace

namespace {

TEST_F(FmtCommandTest, VariablesByNameAndTheInspectWindowsChecks) {
  ExprValue v{};
  ASSERT_EQ(sym_variable_value("cntB", v, 0x245), 1);  // a frame local
  EXPECT_EQ(v.value.get(), 258u);
  EXPECT_EQ(v.flags, kValueScalar);
  ASSERT_EQ(sym_variable_value("cnt_static", v, 0x245), 1);  // a static of the module: an address
  EXPECT_EQ(v.flags, 0);  // a struct has no value
  EXPECT_EQ(sym_variable_value("cntB", v, 0x290), 0);  // not in g
  EXPECT_EQ(sym_variable_value("v", v, 0x245), 0);     // a global is neither

  ExpShow.InspectScope = 0x245;
  const struct {
    const char* expression;
    u16 expandable;
  } cases[] = {{"s", 1}, {"ar", 1}, {"arr", 1}, {"pt", 0}, {"v", 0}, {"f", 0}, {"nosuch", 0}, {"*(float *)&v", 0}};
  // (a function name alone is no expression to the evaluator)
  for (const auto& c : cases) EXPECT_EQ(exp_is_expandable(c.expression), c.expandable) << c.expression;

  EXPECT_EQ(exp_check_expression("v=7"), 1);
  EXPECT_EQ(tgt_read_word(0x9200), 7);
  Co.PendingError = 0;
  EXPECT_EQ(exp_check_expression("v=="), 0);
  EXPECT_EQ(Co.PendingError, kMsgData + 1);

  i32 first = 0, last = 0;
  EXPECT_EQ(exp_eval_range("2", first, last), 1);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 2);
  EXPECT_EQ(exp_eval_range("1,v", first, last), 1);
  EXPECT_EQ(last, 8);  // last + 1
  EXPECT_EQ(exp_eval_range("5,2", first, last), 0);
  EXPECT_EQ(exp_eval_range("s", first, last), 0);
}

}  // namespace
