// The evaluator against a booted simulated target: variables found through
// the scopes and the symbol table (a local before a static before a global),
// members, elements and pointer arithmetic read from target memory, stores
// in mode 3, calls of target functions, and commands that take symbols and
// expressions where they took numbers.
#include "halv80/symbols/exp_eval.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

namespace {

using Bytes = std::vector<u8>;

constexpr u32 kChar = 0x80, kInt = 0x81, kLong = 0x82;
constexpr u32 kStruct = 512, kLongPointer = 513, kIntArray = 514, kStructPointer = 515;
constexpr u32 kIntFunction = 516, kLongFunction = 517, kBitRecord = 518, kBitStruct = 519;

// Functions in emulation ROM; the results go back in BC, toolchain kind 16.
const Bytes kAdd3 = {0x09, 0x19, 0x44, 0x4D, 0xC9};         // 0100 BC = HL + DE + BC
const Bytes kPick4 = {0xE1, 0xC1, 0xC5, 0xE5, 0xC9};        // 0110 BC = the first stacked word
const Bytes kBump = {0x21, 0x00, 0x93, 0x34, 0x4E, 0x06, 0x00, 0xC9};  // 0120 BC = ++(9300H)
// 0130 a long result where the caller reads it: 4 bytes above the stack
// pointer it returns with (9004H here, after no stacked arguments)
const Bytes kLong4 = {0x21, 0x34, 0x12, 0x22, 0x06, 0x90,   // LD HL,1234; LD (9006),HL
                      0x21, 0x78, 0x56, 0x22, 0x04, 0x90,   // LD HL,5678; LD (9004),HL
                      0xC9};
constexpr u16 kCallPc = 0x0180;                             // the PC the calls start from: a NOP

ScopeRecord scope(u16 kind, u32 location, u16 size, std::string_view name = {}, u32 type = 0) {
  ScopeRecord r{};
  r.kind.set(kind);
  r.location.set(location);
  r.size.set(size);
  r.type.set(type);
  r.name.set(name.empty() ? kNoName : sym_intern_name(name));
  return r;
}

// A booted target (emulation ROM below 8000H, target RAM at 9000H) with a
// small typed program: its types, globals, scopes and data.
class ExpTargetTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ASSERT_EQ(emu_startup_sequence(0), 0);
    sym_init();
    ::Run.Regs.sp = 0x9000;
    ::Run.Regs.pc = kCallPc;
    ::Run.Regs.ix = 0x9020;
    sim->Clock().UseFixedBudget(400);
    load_program();
  }
  void TearDown() override {
    sym_init();
    StartupTest::TearDown();
  }

  static void define_types() {
    const TypeMember members[] = {{"a", kInt, 0}, {"b", kLong, 2}};
    TypeBuilder s;
    ASSERT_TRUE(s.struct_record(kKindStruct, 6, "tag", members));
    ASSERT_TRUE(s.define(kStruct));
    TypeBuilder p;
    ASSERT_TRUE(p.pointer_record(kPointerNear, kLong));
    ASSERT_TRUE(p.define(kLongPointer));
    TypeBuilder a;
    ASSERT_TRUE(a.array_record(4, kInt, 2));
    ASSERT_TRUE(a.define(kIntArray));
    TypeBuilder sp;
    ASSERT_TRUE(sp.pointer_record(kPointerNear, kStruct));
    ASSERT_TRUE(sp.define(kStructPointer));
    TypeBuilder f;
    ASSERT_TRUE(f.function_record(kInt, 3));
    ASSERT_TRUE(f.define(kIntFunction));
    TypeBuilder l;
    ASSERT_TRUE(l.function_record(kLong, 2));
    ASSERT_TRUE(l.define(kLongFunction));
    // struct bits { unsigned c : 3 at bit 5; long d : 4 at bit 0; }
    ASSERT_TRUE(sym_type_define_bytes(kBitRecord, Bytes{'\\'}));
    const TypeMember bit_members[] = {{"c", kBitRecord, 0, true, 3, 5}, {"d", kLong, 0, true, 4, 0}};
    TypeBuilder b;
    ASSERT_TRUE(b.struct_record(kKindStruct, 2, "bits", bit_members));
    ASSERT_TRUE(b.define(kBitStruct));
  }

  // Module m.c (0100-02FF) with a static s2, function f (0200-027F) with its
  // own v and a frame variable fr, and an inner block (0240-024F) with
  // another v. The globals _v, _s, _p, _q, _arr, _sp, _c and the functions.
  void load_program() {
    define_types();
    const struct {
      const char* name;
      u32 address;
      u32 type;
    } globals[] = {
        {"_v", 0x9200, kInt},           {"_s", 0x9210, kStruct},      {"_p", 0x9220, kLongPointer},
        {"_q", 0x9222, kLongPointer},   {"_sp", 0x9224, kStructPointer}, {"_arr", 0x9240, kIntArray},
        {"_c", 0x9250, kChar},          {"_add3", 0x0100, kIntFunction}, {"_pick4", 0x0110, kIntFunction},
        {"_bump", 0x0120, kIntFunction}, {"_long4", 0x0130, kLongFunction}, {"_bf", 0x9270, kBitStruct},
    };
    for (const auto& g : globals) ASSERT_EQ(sym_add(g.name, g.address, g.type), 0) << g.name;
    sym_sort_symbols();

    SymFlag.CodeLow = 0x100;
    SymFlag.CodeHigh = 0x2FF;
    for (const ScopeRecord& r : {
             scope(kScopeModule, 0x100, 0x200, "m.c"),
             scope(kScopeStatic, 0x9260, 2, "s2", kInt),
             scope(kScopeBlock, 0x200, 0x80, "f"),
             scope(kScopeStatic, 0x9100, 2, "v", kInt),
             scope(kScopeFrame, u32(-2), 2, "fr", kInt),
             scope(kScopeBlock, 0x240, 0x10),
             scope(kScopeStatic, 0x9110, 2, "v", kInt),
             scope(kScopeBlockEnd, 0, 0),
             scope(kScopeBlockEnd, 0, 0),
         })
      ASSERT_EQ(sym_add_scope(r), 0);

    tgt_write_block(kAdd3, 0x0100);
    tgt_write_block(kPick4, 0x0110);
    tgt_write_block(kBump, 0x0120);
    tgt_write_block(kLong4, 0x0130);
    tgt_write_byte(kCallPc, 0x00);
    const struct {
      u16 address;
      u32 value;
      int bytes;
    } data[] = {
        {0x9100, 7, 2},      {0x9110, 8, 2},      {0x9200, 9, 2},      {0x9260, 11, 2},
        {0x901E, 13, 2},     // fr, at IX - 2
        {0x9210, 0x1234, 2}, {0x9212, 0x56789ABC, 4},                   // s
        {0x9220, 0x9230, 2}, {0x9222, 0x9238, 2}, {0x9224, 0x9210, 2},   // p, q, sp
        {0x9230, 0x11111111, 4}, {0x9234, 0x22222222, 4},
        {0x9240, 10, 2}, {0x9242, 20, 2}, {0x9244, 30, 2}, {0x9246, 40, 2},  // arr
        {0x9250, 0xFF, 1},   // c
        {0x9270, 0xEF, 2},   // bf: c = 7, d = 15
        {0x9300, 0, 1},      // bump's counter
    };
    for (const auto& d : data) {
      if (d.bytes == 1) tgt_write_byte(d.address, u8(d.value));
      if (d.bytes == 2) tgt_write_word(d.address, u16(d.value));
      if (d.bytes == 4) tgt_write_long(d.address, d.value);
    }
  }

  static u16 evaluate(std::string_view text, ExprValue& out, u32 scope_address = 0, u16 side_effects = 0) {
    out = ExprValue{};
    return exp_evaluate(out, scope_address, text, side_effects);
  }
};

TEST_F(ExpTargetTest, LocalsComeBeforeStaticsAndGlobals) {
  const struct {
    const char* text;
    u32 scope;
    u32 value;
  } cases[] = {
      {"v", 0x210, 7},        // f's own v
      {"v", 0x245, 8},        // the inner block's v hides f's
      {"v", 0x2A0, 9},        // outside f: the global
      {"v", 0x400, 9},        // outside the program
      {"s2", 0x245, 11},      // a static of the scope's module
      {"fr", 0x210, 13},      // frame-relative: IX - 2
      {"v + s2", 0x245, 19},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " at " << std::hex << c.scope);
    ExprValue v;
    ASSERT_EQ(evaluate(c.text, v, c.scope), 0);
    EXPECT_EQ(v.value.get(), c.value);
    EXPECT_EQ(v.flags, kValueScalar);
  }
  // command operands see the variables in scope at the PC, by value
  ::Run.Regs.pc = 0x245;
  std::size_t used = 0;
  EXPECT_EQ(exp_eval_number_at_cursor("v+1", used), 9u);
  EXPECT_EQ(exp_eval_number_at_cursor("add3", used), 0x100u);  // a function: its address
  EXPECT_EQ(Exp.AbortWord, 0);

  // outside toolchain kind 16 a '?' ends a name, so a choice needs no blanks
  ExprValue v;
  EXPECT_EQ(evaluate("v?v:s2", v, 0x245), kExpSyntax);  // kind 16: "v?v" is one name
  Sw.ToolchainKind = 2;
  ASSERT_EQ(evaluate("v?v:s2", v, 0x245), 0);
  EXPECT_EQ(v.value.get(), 8u);
}

TEST_F(ExpTargetTest, MembersElementsAndPointerArithmetic) {
  const struct {
    const char* text;
    u32 value;
    u8 flags;
    u16 abort;
  } cases[] = {
      {"s.a", 0x1234, kValueScalar, 0},
      {"s.b", 0x56789ABC, kValueScalar, 0},
      {"sp->b", 0x56789ABC, kValueScalar, 0},
      {"(*sp).a", 0x1234, kValueScalar, 0},
      {"*p", 0x11111111, kValueScalar, 0},
      {"p[1]", 0x22222222, kValueScalar, 0},
      {"*(p+1)", 0x22222222, kValueScalar, 0},
      {"p+1", 0x9234, kValueAddress, 0},   // steps by the size of a long
      {"q-p", 2, kValueScalar, 0},         // a difference counts elements
      {"arr[2]", 30, kValueScalar, 0},
      {"*(arr+3)", 40, kValueScalar, 0},
      {"arr", 0x9240, kValueAddress, 0},
      {"&s", 0x9210, kValueAddress, 0},
      {"&s.b", 0x9212, kValueAddress, 0},
      {"c", 0xFFFFFFFF, kValueScalar, 0},  // a char reads signed
      {"c < 0", 1, kValueScalar, 0},
      {"bf.c", 7, kValueScalar, 0},          // an unsigned bit field
      {"bf.d", 0xFFFFFFFF, kValueScalar, 0},  // a long bit field is signed
      {"sizeof s", 6, kValueScalar, 0},
      {"sizeof(arr)", 8, kValueScalar, 0},
      {"(char *)p", 0x9230, kValueAddress, 0},
      {"(long)v", 0x00000009, kValueScalar, 0},  // the storage read again as a long
      {"s.nosuch", 0, 0, kExpSyntax},
      {"v.a", 0, 0, kExpSyntax},
      {"arr[p]", 0, 0, kExpSyntax},        // an index is a scalar
      {"s + 1", 0, 0, kExpSyntax},         // a struct has no value
      {"&1", 0, 0, kExpSyntax},            // no object
      {"add3", 0, 0, kExpFunctionName},    // a function name is no value
      {"add3(1,2,3)", 0, 0, kExpSideEffect},
      {"v=5", 0, 0, kExpSideEffect},
      {"v++", 0, 0, kExpSideEffect},
      {"--v", 0, 0, kExpSideEffect},
      {"p++", 0, 0, kExpSideEffect},
  };
  tgt_write_word(0x9202, 0);  // the high word of v read as a long
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    EXPECT_EQ(evaluate(c.text, v, 0x2A0), c.abort);
    if (c.abort != 0) continue;
    EXPECT_EQ(v.value.get(), c.value);
    EXPECT_EQ(v.flags, c.flags);
  }
  EXPECT_EQ(tgt_read_word(0x9200), 9);  // nothing was written
}

TEST_F(ExpTargetTest, StoresInModeThree) {
  const struct {
    const char* text;
    u32 result;
    u16 address;
    u32 stored;
    int bytes;
  } cases[] = {
      {"v=5", 5, 0x9200, 5, 2},
      {"v+=2", 7, 0x9200, 7, 2},
      {"v++", 7, 0x9200, 8, 2},   // the old value
      {"++v", 9, 0x9200, 9, 2},   // the new value
      {"v--", 9, 0x9200, 8, 2},
      {"v<<=2", 32, 0x9200, 32, 2},
      {"v=-1", 0xFFFFFFFF, 0x9200, 0xFFFF, 2},
      {"s.b=0x12345678", 0x12345678, 0x9212, 0x12345678, 4},
      {"c=0x80", 0xFFFFFF80, 0x9250, 0x80, 1},
      {"p++", 0x9230, 0x9220, 0x9234, 2},  // a pointer steps by its element
      {"arr[1]=s.a", 0x1234, 0x9242, 0x1234, 2},
      {"bf.c=2", 2, 0x9270, 0x4F, 2},       // only the field's bits change
      {"bf.d=5", 5, 0x9270, 0x45, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(evaluate(c.text, v, 0x2A0, 1), 0);
    EXPECT_EQ(v.value.get(), c.result);
    const u32 stored = c.bytes == 1 ? tgt_read_byte(c.address) : c.bytes == 2 ? tgt_read_word(c.address) : tgt_read_long(c.address);
    EXPECT_EQ(stored, c.stored);
  }
  ExprValue v;
  EXPECT_EQ(evaluate("1=2", v, 0x2A0, 1), kExpSyntax);   // no object
  EXPECT_EQ(evaluate("v=s", v, 0x2A0, 1), kExpSyntax);   // no value
  EXPECT_EQ(evaluate("s=1", v, 0x2A0, 1), kExpSyntax);   // a struct is not stored
}

TEST_F(ExpTargetTest, CallsPlaceArgumentsAndPutTheRegistersBack) {
  RegisterImage& r = ::Run.Regs;
  r.hl = 0xAAAA;
  r.de = 0xBBBB;
  r.bc = 0xCCCC;
  r.af = 0x1200;
  const RegisterImage before = r;
  const auto same_registers = [&] { return std::memcmp(&r, &before, sizeof r) == 0; };

  const struct {
    const char* text;
    u32 value;
  } calls[] = {
      {"add3(1, 2, 3)", 6},                        // HL, DE, BC
      {"add3(0x100, 0x20, 3) + 1", 0x124},
      {"pick4(1, 2, 3, 0x1234)", 0x1234},          // the fourth word on the stack
      {"pick4(1, 2, 0x56781234L)", 0x5678},        // a long: low word first
      {"long4(1, 2)", 0x12345678},                 // a long result on the stack
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(evaluate(c.text, v, 0x2A0, 1), 0);
    EXPECT_EQ(v.value.get(), c.value);
    EXPECT_TRUE(same_registers());
    EXPECT_EQ(tgt_read_byte(kCallPc), 0x00);  // the trap is gone
  }
  // the fourth word stays where the callee found it, just below the stack
  ExprValue four;
  ASSERT_EQ(evaluate("pick4(1, 2, 3, 0x4444)", four, 0x2A0, 1), 0);
  EXPECT_EQ(tgt_read_word(0x8FFE), 0x4444);

  // an argument that fails: nothing runs, the registers are as they were
  tgt_write_byte(0x9300, 0);
  for (const char* text : {"add3(1, nosuch, bump())", "add3(1 2)", "add3(1, 2", "add3(s)", "add3(bump(), s)"}) {
    SCOPED_TRACE(text);
    ExprValue v;
    EXPECT_NE(evaluate(text, v, 0x2A0, 1), 0);
    EXPECT_TRUE(same_registers());
    EXPECT_EQ(tgt_read_byte(kCallPc), 0x00);
  }
  EXPECT_EQ(tgt_read_byte(0x9300), 1);  // bump ran once, as an argument before s failed

  // a choice evaluates its else-branch first, then the then-branch
  ExprValue v;
  tgt_write_byte(0x9300, 0);
  ASSERT_EQ(evaluate("1 ? bump() : bump()", v, 0x2A0, 1), 0);
  EXPECT_EQ(v.value.get(), 2u);
  ASSERT_EQ(evaluate("0 ? bump() : bump()", v, 0x2A0, 1), 0);
  EXPECT_EQ(v.value.get(), 3u);
  // no short-circuit: both sides run
  ASSERT_EQ(evaluate("0 && bump()", v, 0x2A0, 1), 0);
  EXPECT_EQ(v.value.get(), 0u);
  ASSERT_EQ(evaluate("1 || bump()", v, 0x2A0, 1), 0);
  EXPECT_EQ(v.value.get(), 1u);
  EXPECT_EQ(tgt_read_byte(0x9300), 5);
}

TEST_F(ExpTargetTest, WhileTheCodeWindowShowsAFileItsFirstLineIsTheCommandsScope) {
  ASSERT_EQ(sym_begin_module("M.C"), 0);
  ASSERT_EQ(sym_add_line(1, 0x0210), 0);  // inside f
  ASSERT_EQ(sym_add_line(2, 0x0240), 0);
  ASSERT_EQ(sym_end_module(), 0);
  sym_finish_modules();
  const auto number = [](const char* text, bool ok = true) {
    std::size_t used = 0;
    const u32 value = exp_eval_number_at_cursor(text, used);
    EXPECT_EQ(Exp.AbortWord == 0, ok) << text;
    return value;
  };
  // the PC (0180) is outside f: v is the global, a line number alone has no file
  EXPECT_EQ(number("v"), 0x9200u);
  number(".2", false);
  Lst.ListingMode = kListingSource;
  EXPECT_EQ(number("v"), 7u);  // f's own v, in the scope of line 1
  EXPECT_EQ(number(".2"), 0x0240u);
  EXPECT_EQ(number(".M.C:1"), 0x0210u);
  // with debug information the scope stays the PC's
  Sw.ToolchainKind = 4;
  EXPECT_EQ(number("v"), 0x9200u);
  Sw.ToolchainKind = 16;
  Lst.ListingMode = kListingAssembly;
}

TEST_F(ExpTargetTest, FloatsTakeNumbersAndPassAsDoubles) {
  constexpr u32 kFloat = 0x88, kDouble = 0x89;
  // _fsink stores what it was passed: HL, DE, BC and the first stacked word
  tgt_write_block(Bytes{0x22, 0x90, 0x92, 0xED, 0x53, 0x92, 0x92, 0xED, 0x43, 0x94, 0x92,
                        0xE1, 0xD1, 0xD5, 0xE5, 0xED, 0x53, 0x96, 0x92, 0xC9},
                  0x0150);
  ASSERT_EQ(sym_add("_fl", 0x9280, kFloat), 0);
  ASSERT_EQ(sym_add("_db", 0x9288, kDouble), 0);
  ASSERT_EQ(sym_add("_fsink", 0x0150, kIntFunction), 0);
  sym_sort_symbols();
  const auto bytes_at = [](u16 address, std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = tgt_read_byte(u16(address + i));
    return b;
  };
  const auto le = [](u64 v, std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = u8(v >> (8 * i));
    return b;
  };
  const struct {
    const char* text;
    u16 address;
    Bytes stored;
  } stores[] = {
      {"fl=1.5", 0x9280, le(0x3FC00000, 4)},
      {"db=-2.25", 0x9288, le(0xC002000000000000, 8)},
      {"db=fl", 0x9288, le(0x3FF8000000000000, 8)},  // the float's value, as a double
      {"fl=v", 0x9280, le(0x41100000, 4)},             // an int's value: 9
      {"fl = +4", 0x9280, le(0x40800000, 4)},
  };
  for (const auto& c : stores) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(evaluate(c.text, v, 0x2A0, 1), 0);
    EXPECT_EQ(bytes_at(c.address, c.stored.size()), c.stored);
  }
  for (const char* text : {"fl=s", "fl=1.5x", "fl=", "fl=1.5"}) {
    SCOPED_TRACE(text);
    ExprValue v;
    const u16 mode = std::string_view(text) == "fl=1.5" ? 0 : 1;  // the last: no stores in mode 2
    EXPECT_NE(evaluate(text, v, 0x2A0, mode), 0);
  }

  // a double argument is four words: three in registers, the fourth on the stack
  ExprValue v;
  ASSERT_EQ(evaluate("fsink(1.5)", v, 0x2A0, 1), 0);
  EXPECT_EQ(bytes_at(0x9290, 8), le(0x3FF8000000000000, 8));
  tgt_write_block(le(0xC002000000000000, 8), 0x9288);
  ASSERT_EQ(evaluate("fsink(db)", v, 0x2A0, 1), 0);
  EXPECT_EQ(bytes_at(0x9290, 8), le(0xC002000000000000, 8));
  // toolchain kind 3 passes a float in two words
  Sw.ToolchainKind = 3;
  tgt_write_block(Bytes(8, 0), 0x9290);
  ASSERT_EQ(evaluate("fsink(1.5)", v, 0x2A0, 1), 0);
  EXPECT_EQ(bytes_at(0x9290, 4), le(0x3FC00000, 4));
}

TEST_F(ExpTargetTest, ToolchainKind4StacksALongArgumentThatStartsInTheRegisterWords) {
  tgt_write_block(Bytes{0xD1, 0xE1, 0xE5, 0xD5, 0xC9}, 0x0140);  // POP DE; POP HL; PUSH HL; PUSH DE; RET
  tgt_write_block(Bytes{0xEB, 0xC9}, 0x0148);                    // EX DE,HL; RET
  ASSERT_EQ(sym_define("_first", 0x0140, kIntFunction), 0);      // HL = the first stacked word
  ASSERT_EQ(sym_define("_de", 0x0148, kIntFunction), 0);         // HL = DE
  Sw.ToolchainKind = 4;  // an int comes back in HL
  const struct {
    const char* text;
    u32 value;
  } calls[] = {
      {"first(0x56781234L, 5)", 0x1234},  // every word on the stack, the long's low word lowest
      {"de(7, 0x56781234L)", 7},          // the word before the long goes in DE
      {"first(1, 2, 3, 4)", 4},           // no long: HL, DE, BC and the stack
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(evaluate(c.text, v, 0x2A0, 1), 0);
    EXPECT_EQ(v.value.get(), c.value);
  }
}

// Commands that take addresses and values, typed with symbols and
// expressions.
class ExpCommandTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    ::Run.Regs.sp = 0x9000;
    // 0100 INC A; NOP; NOP; 0103 NOP; 0104 JR 0100
    tgt_write_block(Bytes{0x3C, 0x00, 0x00, 0x00, 0x18, 0xFA}, 0x0100);
    ASSERT_EQ(sym_add("start", 0x0100, 0), 0);
    ASSERT_EQ(sym_add("stop", 0x0103, 0), 0);
    sym_sort_symbols();
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
};

TEST_F(ExpCommandTest, BreakpointsGoAndRegistersTakeSymbolsAndExpressions) {
  typed("BP stop,1+1");
  ASSERT_EQ(Brk.UsedCount, 1);
  EXPECT_EQ(Brk.Slots[0].address, 0x0103u);
  EXPECT_EQ(Brk.Slots[0].pass_count, 2);
  ::Run.Regs.af = 0;
  typed("G =start");
  await_stop(*ws_);
  EXPECT_EQ(::Run.Regs.pc, 0x0103);
  EXPECT_EQ(::Run.Regs.af >> 8, 2);  // the second pass
  typed("BC *");

  typed("G =start,stop+1");
  EXPECT_EQ(::Run.Regs.pc, 0x0104);
  typed("R _HL=stop*2");
  EXPECT_EQ(::Run.Regs.hl, 0x0206);
  typed("R _DE=VAL(sizeof(long))+(1<<4)");
  EXPECT_EQ(::Run.Regs.de, 0x0014);

  const std::string kMsg0 = sjis("\n アドレス指定が誤りです");
  EXPECT_NE(typed("BP nosuch").find(kMsg0), std::string::npos);
  EXPECT_NE(typed("G =(start").find(kMsg0), std::string::npos);
  EXPECT_EQ(Brk.UsedCount, 0);
}

}  // namespace
