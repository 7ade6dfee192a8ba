// The evaluator on texts that need no target: operators, precedence and the
// rules of each mode, numbers and constants, register values, casts and the
// synthetic type records they make, the end of a name, and the defined
// names with the DEF command.
#include "halv80/symbols/exp_eval.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/symbols/def_names.h"
#include "halv80/symbols/exp_operand.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using Bytes = std::vector<u8>;

constexpr u16 kSyntax = kExpSyntax;
constexpr u16 kSideEffect = kExpSideEffect;

class ExpEvalTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
  }
  void TearDown() override {
    sym_init();
    reset_engine_state();
  }
  // A command operand: its value and the abort word.
  static u32 command(std::string_view text) {
    std::size_t used = 0;
    return exp_eval_number_at_cursor(text, used);
  }
  // A typed evaluation in mode 2 (side_effects 0) or 3.
  static u16 typed(std::string_view text, ExprValue& out, u16 side_effects = 0) {
    out = ExprValue{};
    return exp_evaluate(out, 0, text, side_effects);
  }
  static Bytes record_of(u32 type) {
    std::span<const u8> record;
    if (!sym_type_record(type, record)) return {};
    return Bytes(record.begin(), record.end());
  }
};

TEST_F(ExpEvalTest, CommandModeVectors) {
  ASSERT_EQ(sym_add("x", 0x1234, 0), 0);
  ASSERT_EQ(sym_add("FE", 0x3000, 0), 0);
  ::Run.Regs.hl = 0x1234;
  ::Run.Regs.bc2 = 0xBEEF;
  const struct {
    const char* text;
    u32 value;
    u16 abort;
  } cases[] = {
      {"1+2*3", 7, 0},
      {"(1+2)*3", 9, 0},
      {"8-2-1", 5, 0},              // left-associative
      {"10", 0x10, 0},              // the default radix is 16
      {"_10", 10, 0},
      {"@101", 5, 0},
      {"\\17", 15, 0},
      {"$1F", 31, 0},
      {"0x1_F", 31, 0},
      {"FF", 255, 0},               // no such symbol: a number in the radix
      {"FE", 0x3000, 0},            // a symbol comes before the number
      {"x+1", 0x1235, 0},
      {"_1<<_33", 2, 0},            // shift counts are taken modulo 32
      {"FFFF<10000", 0, 0},         // comparisons see the low 16 bits
      {"0x10000==0", 1, 0},
      {"0x10000&&1", 1, 0},         // '&&' tests all 32 bits
      {"0x10000||0", 0, 0},         // '||' tests the low 16 bits
      {"2*-3", u32(-6), 0},
      {"~0", 0xFFFFFFFF, 0},
      {"'AB'", 0x4142, 0},
      {"'\\x41\\102'", 0x4142, 0},
      {"1,2", 2, 0},
      {"1<=2", 1, 0},               // "<=" is a comparison, not a compound assignment
      {"3>=4", 0, 0},
      {"7/0", 0, 0},                // a zero divisor gives 0
      {"7%0", 0, 0},
      {"-6/2", u32(-3), 0},         // signed: both operands are untyped
      {"F&(~1)", 0xE, 0},
      {"VAL(010)", 8, 0},           // typed inside: octal
      {"  2 *  3 ", 6, 0},
      {"_HL", 0x1234, 0},
      {"_h", 0x12, 0},
      {"_L", 0x34, 0},
      {"_BC'", 0xBEEF, 0},
      {"(1+2", 0, kSyntax},         // a bracket still open
      {"1+", 0, kSyntax},
      {"", 0, kSyntax},
      {"x+=1", 0, kSyntax},         // no compound assignment
      {"1<<=1", 0, kSyntax},
      {"x=5", 0, kSideEffect},
      {"F&~1", 0, kSyntax},         // '~' only right after a low level
      {"1)", 0, kSyntax},
      {"1]", 0, kSyntax},
      {"''", 0, kSyntax},           // an empty character constant
      {"1?2:3", 0, kSyntax},        // no choice in command operands
      {"FFG", 0, kSyntax},
      {"_HLX", 0, kSyntax},         // a register name must end the name
      {"2*+3", 0, kSyntax},         // a unary '+' only at a low level
      {"1.2", 0, kSyntax},          // no member in command operands
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const u32 value = command(c.text);
    EXPECT_EQ(Exp.AbortWord, c.abort);
    if (c.abort == 0) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST_F(ExpEvalTest, CommandOperandsStopWhereTheyEndAndBoundTheirNesting) {
  std::size_t used = 0;
  exp_eval_number_at_cursor("12+3", used);
  EXPECT_EQ(used, 4u);
  // a text as long as the buffer, or brackets nested deeper than the limit
  EXPECT_EQ(command(std::string(kExpTextSize, '1')), 0u);
  EXPECT_EQ(Exp.AbortWord, kSyntax);
  const std::string nested = std::string(kExpDepthLimit, '(') + "1" + std::string(kExpDepthLimit, ')');
  command(nested);
  EXPECT_EQ(Exp.AbortWord, kSyntax);
  const std::string shallow = std::string(kExpDepthLimit / 2, '(') + "1" + std::string(kExpDepthLimit / 2, ')');
  EXPECT_EQ(command(shallow), 1u);
  EXPECT_EQ(Exp.AbortWord, 0);
  // the radix of command operands is the engine's
  Cmd.Radix = 10;
  EXPECT_EQ(command("10"), 10u);
}

TEST_F(ExpEvalTest, BuiltInValuesInCommandMode) {
  Mac.LineError = 1;
  EXPECT_EQ(command("__ERR__"), 1u);
  Mac.LineError = 0xFFFE;
  EXPECT_EQ(command("__err__"), 0xFFFFFFFEu);  // signed 16 bits
  ::Run.ExecutionState = kExecRunning;
  EXPECT_EQ(command("__RUN__+1"), 2u);
  ExprValue v;
  EXPECT_EQ(typed("__RUN__", v), kSyntax);  // typed modes know no built-ins
}

TEST_F(ExpEvalTest, SourceLineAddresses) {
  ASSERT_EQ(sym_add("_main", 0x1000, 0), 0);
  ASSERT_EQ(sym_add("gap", 0x1008, 0), 0);
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  for (const auto& [line, address] : {std::pair{10u, 0x1000u}, {11u, 0x1004u}, {14u, 0x1010u}})
    ASSERT_EQ(sym_add_line(line, address), 0);
  sym_end_module();
  sym_sort_symbols();
  const struct {
    const char* text;
    u32 value;
    u16 abort;
  } cases[] = {
      {".MAIN.C:11", 0x1004, 0},
      {".main.c: 12", 0x1010, 0},  // the next line that has code
      {".MAIN.C:", 0x1000, 0},     // no line: the first
      {".main", 0x1000, 0},        // a name: its line
      {".main+1", 0x1004, 0},      // lines after it
      {".MAIN.C:11+2", 0x1006, 0},
      {".MAIN.C:99", 0, kSyntax},
      {".OTHER.C:1", 0, kSyntax},
      {".:5", 0, kSyntax},
      {".12", 0, kSyntax},         // the code window's file: none here
      {".nosuch", 0, kSyntax},
      {".gap", 0, kSyntax},        // an address without a line
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const u32 value = command(c.text);
    EXPECT_EQ(Exp.AbortWord, c.abort);
    if (c.abort == 0) {
      EXPECT_EQ(value, c.value);
    }
  }
}

// A function whose first address starts no line is found by its header in
// the source above the nearest following line.
TEST_F(ExpEvalTest, SourceLineOfAFunctionHeader) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", dir.system_path().c_str());
  std::string source =
      "int helper2(void);\n"        // 1: a longer name is no match
      "int\n"                       // 2
      " *  helper (int x)\n"        // 3: blanks and '*' before the name
      "{\n"                         // 4
      "    return x;\n"             // 5
      "}\n";                        // 6
  for (int i = 7; i <= 59; ++i) source += i == 23 ? "distant()\n" : "/* filler */\n";
  source += "void\nlate()\n{\n    ;\n}\n";  // 60..64
  dir.write("MAIN.C", source);
  ASSERT_EQ(sym_add("_helper", 0x2000, 0), 0);
  ASSERT_EQ(sym_add("_late", 0x2100, 0), 0);
  ASSERT_EQ(sym_add("_early", 0x1F80, 0), 0);
  ASSERT_EQ(sym_add("_distant", 0x2010, 0), 0);
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  for (const auto& [line, address] : {std::pair{1u, 0x1F00u}, {5u, 0x2004u}, {6u, 0x2008u}, {63u, 0x2104u}})
    ASSERT_EQ(sym_add_line(line, address), 0);
  sym_end_module();
  sym_finish_modules();
  sym_sort_symbols();

  const struct {
    const char* text;
    bool ok;
    u16 line;
  } cases[] = {
      {"helper", true, 3},
      {"helper+1", true, 4},
      {"late", true, 61},
      {"early", false, 0},    // no header of that name above its nearest line (5)
      {"distant", false, 0},  // 41 lines above its nearest line (63): beyond the search
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const char* cursor = c.text;
    u16 line = 0;
    ASSERT_EQ(exp_parse_line_spec(cursor, line), c.ok ? 0 : 1);
    if (!c.ok) continue;
    EXPECT_EQ(line, c.line);
    EXPECT_STREQ(Exp.LineFile, "MAIN.C");
    EXPECT_EQ(*cursor, '\0');
  }
  EXPECT_EQ(command(".helper"), 0x2004u);  // the first line at or after the header with code
  EXPECT_EQ(SymSource.OutputMode, kSourcePrintAndCache);  // left as it was

  // Without the source file nothing can be found.
  sym_close_source_files();
  sym_source_reset();
  ASSERT_TRUE(std::filesystem::remove(std::filesystem::path(dir.path()) / "MAIN.C"));
  const char* cursor = "helper";
  u16 line = 0;
  EXPECT_EQ(exp_parse_line_spec(cursor, line), 1);
}

TEST_F(ExpEvalTest, TypedModeVectors) {
  const struct {
    const char* text;
    u32 value;
    u32 type;
    u16 abort;
  } cases[] = {
      {"010", 8, kTypeUntyped, 0},         // a leading 0 is octal
      {"10", 10, kTypeUntyped, 0},         // decimal, whatever the engine's radix
      {"10L", 10, kTypeLong, 0},
      {"0x10", 16, kTypeUntyped, 0},
      {"'\\n'", 10, kTypeUntyped, 0},
      {"'AB'", 0x4142, kTypeUntyped, 0},
      {"sizeof(long)", 4, kTypeUInt, 0},
      {"SIZEOF(char *)", 2, kTypeUInt, 0},
      {"sizeof 1", 2, kTypeUInt, 0},      // an untyped constant counts 2 bytes
      {"sizeof(int [2][3])", 12, kTypeUInt, 0},
      {"1 ? 2 : 3", 2, kTypeUntyped, 0},
      {"0 ? 2 : 3", 3, kTypeUntyped, 0},
      {"1,2", 2, kTypeUntyped, 0},
      {"!0", 1, kTypeInt, 0},
      {"1<=2", 1, kTypeInt, 0},
      {"-1<0", 1, kTypeInt, 0},            // signed
      {"(unsigned)-1<0", 0, kTypeInt, 0},  // unsigned when either side is
      {"FF", 0, 0, kSyntax},               // names not found are no numbers here
      {"1=5", 0, 0, kSideEffect},          // no assignment without side effects
      {"(1+2", 0, 0, kSyntax},
      {"1 ? 2 : nosuch", 0, 0, kSyntax},   // the else-branch is always evaluated
      {"1 ? 2 ? 3 : 4 : 5", 0, 0, kSyntax},  // a choice does not nest
      {"1 ? 2", 0, 0, kSyntax},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    EXPECT_EQ(typed(c.text, v), c.abort);
    if (c.abort != 0) continue;
    EXPECT_EQ(v.value.get(), c.value);
    EXPECT_EQ(v.type.get(), c.type);
    EXPECT_EQ(v.flags, kValueScalar);
    EXPECT_EQ(v.storage_class, kStorageComputed);
  }
  EXPECT_EQ(Exp.Mode, kExpModeCommand);  // the mode is put back

  // the choice cuts the text at its ':' for a moment: its own copy, never the caller's
  const std::string text = "1 ? 2 : 3";
  ExprValue v;
  ASSERT_EQ(typed(text, v), 0);
  EXPECT_EQ(text, "1 ? 2 : 3");
}

// Division and remainder are signed unless both operands are of an unsigned
// type; an untyped constant takes the type of the other operand.
TEST_F(ExpEvalTest, DivisionIsSignedWhenEitherOperandIsSigned) {
  const struct {
    const char* text;
    u32 value;
  } cases[] = {
      {"-6/2", u32(-3)},
      {"-7%2", u32(-1)},
      {"(unsigned long)-6/2", 0x7FFFFFFD},
      {"(unsigned long)-6/(unsigned)2", 0x7FFFFFFD},
      {"(unsigned long)-6/(int)2", u32(-3)},
      {"(unsigned)65534/2", 32767},
      {"(long)0x80000000/-1", 0x80000000},  // the one quotient that does not fit wraps
      {"(long)0x80000000%-1", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(typed(c.text, v), 0);
    EXPECT_EQ(v.value.get(), c.value);
  }
}

// The result type of two operands is the larger code: so char beats long,
// and unsigned int beats long.
TEST_F(ExpEvalTest, ResultTypeIsTheLargerCode) {
  const struct {
    const char* text;
    u32 type;
  } cases[] = {
      {"1 + 1", kTypeUntyped},
      {"1 + 1L", kTypeLong},
      {"1L + (unsigned)1", 0x85},
      {"(char)1 + 1L", 0x80},
      {"(int)1 + (long)1", 0x82},
      {"(long)1 * (unsigned char)1", 0x84},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    ASSERT_EQ(typed(c.text, v), 0);
    EXPECT_EQ(v.type.get(), c.type);
  }
  EXPECT_EQ(exp_result_type(2, 3), 2u);  // long beats a code one above it
  EXPECT_EQ(exp_result_type(1, 3), 3u);
}

TEST_F(ExpEvalTest, CastsToScalarAndPointerTypes) {
  const struct {
    const char* text;
    u32 type;
    u8 flags;
    u16 abort;
  } cases[] = {
      {"(unsigned long)1", 0x86, kValueScalar, 0},
      {"(long unsigned int)1", 0x86, kValueScalar, 0},
      {"(unsigned char)1", 0x84, kValueScalar, 0},
      {"(uchar)1", 0x84, kValueScalar, 0},
      {"(long)1", 0x82, kValueScalar, 0},
      {"(long long)1", 0x82, kValueScalar, 0},
      {"(short)1", 0x81, kValueScalar, 0},
      {"(signed char)1", 0x80, kValueScalar, 0},
      {"(register)1", 0x81, kValueScalar, 0},
      {"(float)1", 0, 0, kSyntax},      // no float value can be made
      {"(unsigned banana)1", 0, 0, kSyntax},
      {"(int *]0", 0, 0, kSyntax},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ExprValue v;
    EXPECT_EQ(typed(c.text, v), c.abort);
    if (c.abort != 0) continue;
    EXPECT_EQ(v.type.get(), c.type);
    EXPECT_EQ(v.flags, c.flags);
  }
  ExprValue v;
  ASSERT_EQ(typed("(char *)0x100", v), 0);
  EXPECT_EQ(v.flags, kValueAddress);
  EXPECT_EQ(v.value.get(), 0x100u);
  EXPECT_EQ(record_of(v.type.get()), (Bytes{'z', 'w', 0x83, 0x80, 0, 0, 0}));  // a 2-byte pointer to char
  EXPECT_EQ(exp_type_size(v.type.get()), 2u);

  ASSERT_EQ(typed("(char **)0", v), 0);
  EXPECT_EQ(exp_element_type(exp_element_type(v.type.get())), 0x80u);
}

TEST_F(ExpEvalTest, CastsToArrayTypesBuildTheirRecordsInnermostFirst) {
  ExprValue v;
  ASSERT_EQ(typed("(int [2][3])0", v), 0);
  EXPECT_EQ(exp_type_size(v.type.get()), 12u);
  EXPECT_EQ(exp_array_count(v.type.get()), 2u);
  const u32 row = exp_element_type(v.type.get());
  EXPECT_EQ(exp_type_size(row), 6u);
  EXPECT_EQ(exp_array_count(row), 3u);
  EXPECT_EQ(exp_element_type(row), 0x81u);
  EXPECT_LT(row, v.type.get());  // the inner dimension's record came first

  // an empty first dimension makes a pointer to the rest
  ASSERT_EQ(typed("(int [][3])0", v), 0);
  EXPECT_EQ(v.flags, kValueAddress);
  EXPECT_EQ(record_of(v.type.get()).at(0), kKindPointer);
  EXPECT_EQ(exp_type_size(exp_element_type(v.type.get())), 6u);

  // eight dimensions, and not a ninth; only the first may be empty
  EXPECT_EQ(typed("sizeof(char [1][2][1][2][1][2][1][2])", v), 0);
  EXPECT_EQ(v.value.get(), 16u);
  EXPECT_EQ(typed("sizeof(char [1][2][1][2][1][2][1][2][1])", v), kSyntax);
  EXPECT_EQ(typed("sizeof(char [2][])", v), kSyntax);
  EXPECT_EQ(typed("sizeof(char [0x10])", v), 0);
  EXPECT_EQ(v.value.get(), 16u);
  EXPECT_EQ(typed("sizeof(char [3] *)", v), kSyntax);  // only ')' or '[' after the last ']'
}

TEST_F(ExpEvalTest, SyntheticTypesGoAboveEveryDefinedSlot) {
  const Bytes loaded = {'y', 4 * 8, 1, 0x82, 3, 't', 'a', 'g', 0x83, 0x81, 0, 0, 0, 0x82, 1, 'a', 0x88, 0};
  ASSERT_TRUE(sym_type_define_bytes(512 + 40, loaded));  // a loaded type far above 512 + 32
  ExprValue v;
  ASSERT_EQ(typed("(struct tag *)0x200", v), 0);
  EXPECT_EQ(v.type.get(), 512u + 41);
  EXPECT_EQ(record_of(512 + 40), loaded);  // untouched
  EXPECT_EQ(exp_element_type(v.type.get()), 512u + 40);
  EXPECT_EQ(typed("sizeof(struct tag)", v), 0);
  EXPECT_EQ(v.value.get(), 4u);
  EXPECT_EQ(typed("(struct nosuch *)0", v), kSyntax);  // no such tag: no cast

  // no slot left: the type store is full
  Types.SlotCount = kTypeSlotLimit;
  EXPECT_EQ(typed("(char *)0", v), kExpTypeStoreFull);
}

TEST_F(ExpEvalTest, NamesEndAtOperatorCharacters) {
  const std::string lead_at_end = "ab\x81";
  const struct {
    std::string text;
    u16 toolchain;
    std::size_t end;
  } cases[] = {
      {"abc+1", 16, 3},
      {"abc?d:e", 16, 5},  // '?' belongs to kind 16's names
      {"abc?d:e", 2, 3},   // and ends everyone else's
      {"a::b+1", 16, 4},   // "::" qualifies a name
      {"a:b", 16, 1},
      {"x y", 16, 1},
      {"\x83\x41+1", 16, 2},  // a double-byte character is one unit
      {lead_at_end, 16, 3},   // a lead byte at the very end stays one byte
      {"a'b", 16, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Sw.ToolchainKind = c.toolchain;
    EXPECT_EQ(std::size_t(exp_token_end(c.text.c_str()) - c.text.c_str()), c.end);
  }
}

TEST_F(ExpEvalTest, RegisterNames) {
  const struct {
    const char* name;
    u16 found;
  } cases[] = {
      {"A", 1}, {"bc", 2 | kExpRegisterWord}, {"hl", 8 | kExpRegisterWord}, {"L", 10},
      {"IX", 21 | kExpRegisterWord}, {"SP", 23 | kExpRegisterWord}, {"I", 25}, {"r", 26},
      {"AF", 0}, {"HLX", 0}, {"", 0}, {"Q", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(exp_find_register(c.name), c.found);
  }
}

// --- Defined names ---------------------------------------------------------------

class DefTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_init();
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
  }
  void TearDown() override {
    ws_.reset();
    sym_init();
    EngineTest::TearDown();
  }
  std::string typed_line(std::string_view line) {
    return ws_->Typed(line);
  }
  static std::string expand(std::string_view text) { return std::string(def_expand(text)); }
  std::unique_ptr<ScriptedWindowSide> ws_;
};

TEST_F(DefTest, DefinesListsReplacesAndRemoves) {
  const std::string kMsg1 = sjis("\n データ指定が誤りです");
  EXPECT_EQ(expand("N*2"), "N*2");  // nothing defined: the text as it is
  typed_line("DEF N 10");
  typed_line("#DEFINE M,5   /* five */");
  EXPECT_EQ(expand("N*2+M"), "10*2+5");
  ExprValue v{};
  EXPECT_EQ(exp_evaluate(v, 0, "N*2", 0), 0);
  EXPECT_EQ(v.value.get(), 20u);
  EXPECT_EQ(expand("NN+N_+_N+N"), "NN+N_+_N+10");  // only whole identifiers
  EXPECT_EQ(typed_line("DEF"), "DEF\n#define N 10\n#define M 5\n>");
  typed_line("DEF N 0x20");
  EXPECT_EQ(expand("N"), "0x20");
  typed_line("DEF N");  // removed; M moves up
  EXPECT_EQ(Def.Entries[1], kNoName);
  EXPECT_EQ(expand("N+M"), "N+5");
  EXPECT_EQ(typed_line("DEF Q"), "DEF Q" + kMsg1 + "\n>");  // nothing to remove
  typed_line("DEF *");
  EXPECT_EQ(Def.Entries[0], kNoName);
  // the texts live in the name store, so a reset of the database empties the table
  typed_line("DEF K 1");
  sym_reset();
  EXPECT_EQ(expand("K"), "K");
}

TEST_F(DefTest, TheThirtyThirdNameOverwritesTheThirtySecond) {
  for (int i = 1; i <= 33; ++i) typed_line("DEF N" + std::to_string(i) + " " + std::to_string(i));
  EXPECT_EQ(expand("N1+N31"), "1+31");
  EXPECT_EQ(expand("N32"), "N32");
  EXPECT_EQ(expand("N33"), "33");
}

TEST_F(DefTest, ExpansionIsCutAt1023Characters) {
  typed_line("DEF X " + std::string(200, '7'));
  const std::string out = expand("X+X+X+X+X+X");
  EXPECT_EQ(out.size(), kDefExpansionSize - 1);
  EXPECT_EQ(out.substr(198, 4), "77+7");
  // the replacement is not expanded again
  typed_line("DEF A B");
  typed_line("DEF B 3");
  EXPECT_EQ(expand("A"), "B");
}

}  // namespace
