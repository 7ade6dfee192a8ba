// The debug-information loaders B (IEEE-695 .abs), D (.lsi with .lin) and E
// (scrambled .qor) on fixtures made by the test writers: what each format
// puts into the symbol store, the malformed records each must refuse, and
// every truncation and corruption of a fixture, which must end in the
// format's error or a result, never a crash or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/dbi_abs.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/dbi_lsi.h"
#include "halv80/symbols/dbi_qor.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "halv80/symbols/tests/dbi_fixture_abs.h"
#include "halv80/symbols/tests/dbi_fixture_lsi.h"
#include "halv80/symbols/tests/dbi_fixture_qor.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using fixture::AbsPart;
using fixture::AbsWriter;
using fixture::LsiWriter;
using fixture::QorWriter;

std::vector<std::pair<u16, std::string>> Pieces;  // code writes: address, bytes

void capture(u16 address, std::span<const u8> bytes) {
  Pieces.emplace_back(address, std::string(bytes.begin(), bytes.end()));
}

class DbiFormatsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    reset_engine_state();
    sym_init();
    Abs.CodeWriter = capture;
  }
  void TearDown() override {
    Abs.CodeWriter = nullptr;
    sym_init();
    reset_engine_state();
  }
  std::string write(const std::string& name, const std::string& bytes) const {
    dir_.write(name, bytes);
    return dir_.system_path() + "\\" + name;
  }
  // Each load gets files of its own: a fresh name is cheaper than a rewrite.
  std::string fresh(const char* extension) { return "p" + std::to_string(files_++) + extension; }
  i16 load_abs(const std::string& bytes, bool with_symbols = true) {
    sym_init();
    Pieces.clear();
    return dbi_load_abs(write(fresh(".abs"), bytes).c_str(), with_symbols);
  }
  i16 load_lsi(const std::string& lsi, const std::string& lin) {
    sym_init();
    const std::string name = "p" + std::to_string(files_++);
    write(name + ".lin", lin);
    return dbi_load_lsi(write(name + ".lsi", lsi).c_str());
  }
  i16 load_qor(const std::string& bytes) {
    sym_init();
    return dbi_load_format_e(write(fresh(".qor"), bytes).c_str());
  }

  static u32 symbol_value(const std::string& name) {
    const u16 found = sym_find_by_name(name, kSymFindExact);
    return found ? sym_record(u16(found - 1))->value.get() : 0xFFFFFFFF;
  }
  static u32 symbol_type(const std::string& name) {
    const u16 found = sym_find_by_name(name, kSymFindExact);
    return found ? sym_record(u16(found - 1))->type.get() : 0xFFFFFFFF;
  }
  static i32 address_of_line(const char* file, u16 line) {
    u16 address = 0;
    return sym_address_from_line(file, line, address) == line ? address : -1;
  }
  static const ScopeRecord* local(const char* name, u32 code_address) {
    const u16 found = sym_find_local(name, code_address);
    return found ? sym_scope_record(found) : nullptr;
  }
  static u32 record_kind(u32 code) {
    std::span<const u8> record;
    return sym_type_record(code, record) ? record[0] : 0;
  }

  ScratchDir dir_;
  int files_ = 0;
};

// --- loader B: IEEE-695

// Type numbers of the fixture: 256 and up are user types from 512.
constexpr u32 kPoint = 256, kWord = 257, kFlags = 258, kColor = 259, kPointPtr = 260, kPoints = 261,
              kAlias = 262, kFunc = 263, kBits = 264, kLong = 265, kOdd = 266, kVoidFunc = 267;
constexpr u32 kInt = 4, kUint = 5, kUchar = 3;
u32 user(u32 number) { return number + 256; }

// The external part names main, _origin, START, MAIN_, total and util;
// the debug part has types of every letter, two modules with functions,
// variables and an inner block, an empty module, line blocks (one nested)
// and an assembler block; the data part loads two pieces.
AbsWriter abs_program() {
  AbsWriter w;
  w.external()
      .ni(1, "main").asi(1, 0x0200)
      .ni(2, "_origin").asi(2, 0x9100)
      .nx(9, "imported")
      .ni(3, "START").asi(3, 0x0200)
      .ni(4, "MAIN_").asi(4, 0x0200)
      .ati(2, 0, 19).number(1).number(2)
      .ni(5, "total").asi(5, 0x9112)
      .ni(6, "util").asi(6, 0x0300);
  AbsPart& d = w.debug();
  d.bb(1, "main");
  const auto named = [&](u32 nn, const char* text) -> AbsPart& { return d.nn(nn, text); };
  named(32, "point").ty(kPoint, 32, 'S').number(4).name("x").number(kInt).number(0).name("y").number(kInt).number(2);
  named(33, "word").ty(kWord, 33, 'U').number(2).name("b").number(kUchar).number(0).name("w").number(kUint).number(0);
  named(34, "flags").ty(kFlags, 34, 'G').number(2);
  d.name("a").number(kInt).number(0).number(3).name("c").number(kUint).number(3).number(5);
  d.name("d").number(kInt).number(8).number(0);
  named(35, "color").ty(kColor, 35, 'N').name("red").number(0).name("green").number(1).name("blue").number(2);
  named(36, "pointp").ty(kPointPtr, 36, 'P').number(kPoint);
  named(37, "points").ty(kPoints, 37, 'Z').number(kPoint).number(2);
  named(38, "alias").ty(kAlias, 38, 'T').number(kPoint);
  named(39, "func").ty(kFunc, 39, 'X').number(0).number(0).number(0).number(kInt).number(2).number(kInt).number(kInt).number(0);
  named(40, "bits").ty(kBits, 40, 'g').number(1).number(3);
  named(41, "long_t").ty(kLong, 41, 'L');
  named(42, "odd").ty(kOdd, 42, 'R').number(1).number(2).number(3);
  named(43, "vfunc").ty(kVoidFunc, 43, 'x').number(0).number(0).number(0).number(1).number(0);
  d.be();
  d.bb(3, "MAIN");
  d.nn(50, "origin").atn(50, kPoint, 8).asn(50, 0x9100);
  d.nn(51, "counter").atn(51, kInt, 3).asn(51, 0x9110);
  d.bb_function(4, "main", kFunc, 0x0200);
  d.nn(52, "p").atn(52, kPointPtr, 1).number(4);
  d.nn(53, "n").atn(53, kInt, 1).signed_number(-2);
  d.nn(54, "r").atn(54, kInt, 2).number(3);
  d.nn(55, "s").atn(55, kAlias, 3).asn(55, 0x9116);
  d.nn(56, "total").atn(56, 32 + kInt, 8);
  d.bb_function(6, "", 0, 0x0208).nn(57, "inner").atn(57, kPoint, 1).signed_number(-4).be_function(0x020B);
  d.be_function(0x020F);
  d.bb_function(6, ".helper", kVoidFunc, 0x0210).nn(58, "v").atn(58, kInt, 1).number(6).be_function(0x0212);
  d.be();
  d.bb(3, "UTIL").bb_function(4, "util", kVoidFunc, 0x0300).be_function(0x0303).be();
  d.bb(3, "EMPTY").be();
  d.bb(5, "main.c").number(24).number(1).number(31).number(12).number(0).number(0);
  d.line(10, 0x0200).line(11, 0x0204).line(12, 0x0208).line(13, 0x020C);
  d.bb(5, "inc.h").line(1, 0x0206).be();
  d.be();
  d.bb(5, "util.c").line(5, 0x0300).line(6, 0x0302).be();
  d.bb(10, "asm").number(1).number(2).bb(11, "").number(1).number(0).number(0).be().number(4).be();
  w.data().sb(0).asp(0x0200).ld(std::string(16, '\x11')).ld(std::string(4, '\x22'));
  w.data().re(3).ld("\xAA\xBB").asp(0x0300).ld("\x31\x32\x33\x34").asg(0x0200);
  return w;
}

TEST_F(DbiFormatsTest, AbsFillsSymbolsModulesLinesScopesAndCode) {
  Sw.ToolchainKind = 4;
  reg_set(kRegPC, 0);
  ASSERT_EQ(load_abs(abs_program().bytes()), 0);
  sym_sort_symbols();

  // consecutive LD records (and a repeated one) are one piece; an ASP to
  // another address starts the next
  ASSERT_EQ(Pieces.size(), 2u);
  EXPECT_EQ(Pieces[0].first, 0x0200);
  EXPECT_EQ(Pieces[0].second, std::string(16, '\x11') + std::string(4, '\x22') + "\xAA\xBB\xAA\xBB\xAA\xBB");
  EXPECT_EQ(Pieces[1].first, 0x0300);
  EXPECT_EQ(reg_get(kRegPC), 0x0200);  // the ASG's start address

  // public names: lower case gets a '_', capitals stay, MAIN_ is left out
  EXPECT_EQ(symbol_value("_main"), 0x0200u);
  EXPECT_EQ(symbol_value("_origin"), 0x9100u);
  EXPECT_EQ(symbol_value("START"), 0x0200u);
  EXPECT_EQ(symbol_value("MAIN_"), 0xFFFFFFFFu);
  EXPECT_EQ(symbol_value("_MAIN_"), 0xFFFFFFFFu);
  // types: by address (ATN 8 at module level, the function), by name (ATN 8 in a function)
  EXPECT_EQ(symbol_type("_origin"), user(kPoint));
  EXPECT_EQ(symbol_type("_main"), user(kFunc));
  EXPECT_EQ(symbol_type("START"), user(kFunc));
  EXPECT_EQ(symbol_type("_total"), 0xC1u);  // a pointer to int

  // modules with lines; the nested line block is passed over
  EXPECT_EQ(SymModules.ModuleCount, 2);
  EXPECT_EQ(address_of_line("MAIN.C", 12), 0x0208);
  EXPECT_EQ(address_of_line("UTIL.C", 6), 0x0302);
  EXPECT_EQ(address_of_line("INC.H", 1), -1);
  EXPECT_EQ(Lst.ListingMode, kListingSource);
  EXPECT_EQ(SymFlag.CodeLow, 0x0200u);
  EXPECT_EQ(SymFlag.CodeHigh, 0x0304u);

  // variables: frame, register and static, the inner block's own
  const struct {
    const char* name;
    u32 at;
    u16 kind;
    u32 location;
    u32 type;
  } vars[] = {
      {"p", 0x0201, kScopeFrame, 4, user(kPointPtr)},    {"n", 0x0201, kScopeFrame, 0xFFFFFFFE, 0x81},
      {"r", 0x0201, kScopeRegister, 3, 0x81},            {"s", 0x0201, kScopeStatic, 0x9116, user(kAlias)},
      {"inner", 0x0209, kScopeFrame, 0xFFFFFFFC, user(kPoint)}, {"v", 0x0211, kScopeFrame, 6, 0x81},
  };
  for (const auto& v : vars) {
    SCOPED_TRACE(v.name);
    const ScopeRecord* r = local(v.name, v.at);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind.get(), v.kind);
    EXPECT_EQ(r->location.get(), v.location);
    EXPECT_EQ(r->type.get(), v.type);
  }
  EXPECT_EQ(local("inner", 0x020C), nullptr);  // past the inner block
  EXPECT_NE(sym_find_static("counter", 0x0201), 0);
  // the static function's item: its leading '.' dropped, its size from its BE
  const ScopeRecord* helper = nullptr;
  for (u16 i = 0; i < SymScopes.ScopeCount; ++i) {
    char name[16];
    sym_name_text(sym_scope_record(i)->name.get(), name, sizeof name);
    if (sym_scope_record(i)->kind.get() == kScopeStatic && std::string(name) == "helper") helper = sym_scope_record(i);
  }
  ASSERT_NE(helper, nullptr);
  EXPECT_EQ(helper->location.get(), 0x0210u);
  EXPECT_EQ(helper->size.get(), 3);
  const u16 block = sym_innermost_scope(0x020F);
  ASSERT_NE(block, 0);
  EXPECT_EQ(sym_scope_record(u16(block - 1))->size.get(), 0x10);
  // two module records: EMPTY had nothing and left none
  u16 modules = 0;
  for (u16 i = 0; i < SymScopes.ScopeCount; ++i) modules += sym_scope_record(i)->kind.get() == kScopeModule;
  EXPECT_EQ(modules, 2);
  EXPECT_NE(sym_find_scope(0, kScopeModule, 0x0301), sym_find_scope(0, kScopeModule, 0x0201));
}

TEST_F(DbiFormatsTest, AbsTypeRecordsOfEveryLetter) {
  Sw.ToolchainKind = 4;
  ASSERT_EQ(load_abs(abs_program().bytes()), 0);
  const struct {
    u32 number;
    u32 kind;
    u32 size;
  } types[] = {
      {kPoint, kKindStruct, 4},   {kWord, kKindStruct, 2},      {kFlags, kKindStruct, 2},
      {kColor, kKindEnum, 2},     {kPointPtr, kKindPointer, 4}, {kPoints, kKindArray, 12},
      {kAlias, kKindAlias, 4},    {kFunc, kKindFunction, 0},    {kBits, kKindBitFieldType, 0},
      {kLong, kKindAlias, 4},     {kOdd, 0, 0},                 {kVoidFunc, kKindFunction, 0},
  };
  for (const auto& t : types) {
    SCOPED_TRACE(t.number);
    EXPECT_EQ(record_kind(user(t.number)), t.kind);
    EXPECT_EQ(exp_type_size(user(t.number)), t.size);
  }
  EXPECT_EQ(exp_array_count(user(kPoints)), 3u);
  EXPECT_EQ(exp_resolve_type(user(kLong)), 0x82u);
  // the bit fields' positions
  std::span<const u8> record;
  ExpMemberList list;
  ASSERT_TRUE(exp_member_list(user(kFlags), record, list));
  ASSERT_EQ(list.count, 3u);
  TypeFieldReader names(record, list.names);
  const struct {
    u32 offset;
    u16 bits;
  } want[] = {{0, 3 << 8 | 0}, {0, 5 << 8 | 3}, {1, 0}};
  for (const auto& m : want) {
    std::span<const u8> name;
    u32 offset = 99;
    u16 bits = 99;
    ASSERT_TRUE(names.name(name) && names.position_field(offset, bits));
    EXPECT_EQ(offset, m.offset);
    EXPECT_EQ(bits, m.bits);
  }
}

TEST_F(DbiFormatsTest, AbsCodeOnlyAndFrameOffsetsOfVariant3) {
  Sw.ToolchainKind = 4;
  ASSERT_EQ(load_abs(abs_program().bytes(), true), 0);
  const auto pieces = Pieces;
  ASSERT_EQ(load_abs(abs_program().bytes(), false), 0);
  EXPECT_EQ(Pieces, pieces);
  EXPECT_EQ(Sym.Count, 0);
  EXPECT_EQ(SymScopes.ScopeCount, 0);
  EXPECT_EQ(Types.SlotCount, 0u);

  Sw.ToolchainVariant = 3;  // -XM3: frame offsets 2 lower
  ASSERT_EQ(load_abs(abs_program().bytes()), 0);
  const ScopeRecord* p = local("p", 0x0201);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->location.get(), 2u);
}

// A fixture with a header, an empty external part and a debug part of its
// own, the data part of one LD.
std::string abs_with(const std::function<void(AbsWriter&)>& build) {
  AbsWriter w;
  w.data().asp(0x0200).ld("\x01");
  build(w);
  return w.bytes();
}

TEST_F(DbiFormatsTest, AbsMalformedRecordsEndWithTheirResult) {
  Sw.ToolchainKind = 4;
  const std::string good = abs_program().bytes();
  std::string not_mb = good;
  not_mb[0] = '\xE1';
  std::string past_end = good;
  past_end.resize(past_end.size() - 1);  // W7 aside, the ME is gone: a part beyond the end
  // a block of `type` with the NN record 32 "t", then `records`
  const auto debug = [](u32 type, auto records) {
    return abs_with([&](AbsWriter& w) {
      w.debug().bb(type, "M").nn(32, "t");
      records(w.debug());
      w.debug().be();
    });
  };
  const auto debug_raw = [](auto records) { return abs_with([&](AbsWriter& w) { records(w.debug()); }); };
  const struct {
    const char* what;
    std::string bytes;
    i16 result;
  } cases[] = {
      {"first byte not MB", not_mb, kLoadBadFormat},
      {"empty file", "", kLoadBadFormat},
      {"data part cut before its ME", past_end, kAbsPartFormat},
      {"LD of 129 bytes", abs_with([](AbsWriter& w) { w.data().byte(0xED).number(129).byte(0); }), kAbsPartFormat},
      {"repeat past the address space",
       abs_with([](AbsWriter& w) { w.data().asp(0xFF00).re(0x81).ld(std::string(2, '\0')); }), kAbsPartFormat},
      {"repeat count of the whole space", abs_with([](AbsWriter& w) { w.data().re(0xFFFFFFFF).ld("\x01"); }),
       kAbsPartFormat},
      {"an address past 64 KiB", abs_with([](AbsWriter& w) { w.data().asp(0x10000); }), kAbsPartFormat},
      {"a record of no data part", abs_with([](AbsWriter& w) { w.data().nn(1, "x"); }), kAbsPartFormat},
      {"ASI without its NI", abs_with([](AbsWriter& w) { w.external().asi(1, 2); }), kAbsPartFormat},
      {"ASI of another index", abs_with([](AbsWriter& w) { w.external().ni(1, "a").asi(2, 2); }), kAbsPartFormat},
      {"AS other than ASI", abs_with([](AbsWriter& w) { w.external().asn(1, 2); }), kAbsPartFormat},
      {"type number 26", debug(3, [](AbsPart& d) { d.atn(32, 26, 8); }), kLoadBadFormat},
      {"type number of no slot", debug(3, [](AbsPart& d) { d.atn(32, 0xFFFFFFFF, 8); }), kLoadBadFormat},
      {"ATN of no NN", debug(3, [](AbsPart& d) { d.atn(77, kInt, 3).asn(77, 1); }), kLoadBadFormat},
      {"ASN of another index", debug(3, [](AbsPart& d) { d.atn(32, kInt, 3).asn(33, 1); }), kLoadBadFormat},
      {"TY of no NN", debug(1, [](AbsPart& d) { d.ty(kPoint, 77, 'T').number(kInt); }), kLoadBadFormat},
      {"TY below 256", debug(1, [](AbsPart& d) { d.ty(200, 32, 'T').number(kInt); }), kLoadBadFormat},
      {"TY in a module block", debug(3, [](AbsPart& d) { d.ty(kPoint, 32, 'T').number(kInt); }), kLoadBadFormat},
      {"TY letter p", debug(1, [](AbsPart& d) { d.ty(kPoint, 32, 'p').number(kInt); }), kLoadBadFormat},
      {"a bit field past byte 31",
       debug(1, [](AbsPart& d) { d.ty(kPoint, 32, 'G').number(40).name("a").number(kInt).number(256).number(1); }),
       kLoadBadFormat},
      {"block type 12", debug(12, [](AbsPart&) {}), kLoadBadFormat},
      {"a function's end before its start",
       debug_raw([](AbsPart& d) { d.bb_function(4, "f", kInt, 0x0200).be_function(0x01FF); }), kLoadBadFormat},
      {"a line without its address", debug(5, [](AbsPart& d) { d.atn(0, 0, 7).number(1); }), kLoadBadFormat},
      {"a block left open", debug_raw([](AbsPart& d) { d.bb(3, "M").nn(1, "a"); }), kLoadBadFormat},
      {"a record outside any block", debug_raw([](AbsPart& d) { d.nn(1, "a"); }), kLoadBadFormat},
      {"no number where one must be", debug(3, [](AbsPart& d) { d.atn(32, kInt, 1).byte(0x89); }), kLoadBadFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load_abs(c.bytes), c.result);
  }
  // BB records nested deeper than the reader goes
  const std::string deep = debug_raw([](AbsPart& d) {
    for (int i = 0; i < kAbsBlockDepthMax + 1; ++i) d.bb(3, "M");
    for (int i = 0; i < kAbsBlockDepthMax + 1; ++i) d.be();
  });
  EXPECT_EQ(load_abs(deep), kLoadBadFormat);
  // the external part ends where the data part begins, with its ASP
  AbsWriter no_debug;
  no_debug.external().ni(1, "main").asi(1, 0x0200);
  no_debug.data().asp(0x0200).ld("\x01");
  EXPECT_EQ(load_abs(no_debug.bytes()), 0);
  EXPECT_EQ(symbol_value("_main"), 0x0200u);
  EXPECT_EQ(dbi_load_abs((dir_.system_path() + "\\none.abs").c_str(), true), kAbsFileMissing);
}

TEST_F(DbiFormatsTest, AbsEveryTruncationAndCorruptionEndsCleanly) {
  Sw.ToolchainKind = 4;
  const AbsWriter w = abs_program();
  const std::string full = w.bytes();
  const std::size_t data_at = full.size() - 1 - w.data().bytes().size();
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    // a cut inside the data part is found there; any earlier cut leaves a
    // part beyond the file's end
    ASSERT_EQ(load_abs(full.substr(0, n)), n > data_at ? kAbsPartFormat : kLoadBadFormat);
  }
  constexpr char kWild[] = {'\0', '\x7F', '\x84', '\xDF', '\xF8', '\xFF'};
  for (std::size_t at = 0; at < full.size(); ++at) {
    std::string bad = full;
    bad[at] = kWild[at % std::size(kWild)];
    const i16 result = load_abs(bad);
    ASSERT_TRUE(result == 0 || result == kLoadBadFormat || result == kLoadFull || result == kAbsPartFormat)
        << at << " " << result;
  }
}

// Many global variables, so that records straddle the buffer's refill.
TEST_F(DbiFormatsTest, AbsDebugPartOver64KiB) {
  Sw.ToolchainKind = 4;
  AbsWriter w;
  w.external().ni(1, "last").asi(1, 0x4321);
  AbsPart& d = w.debug();
  d.bb(3, "BIG");
  for (u32 i = 0; d.bytes().size() < 70000; ++i)
    d.nn(100 + i, "variable_with_a_long_name_" + std::to_string(i)).atn(100 + i, kInt, 3).asn(100 + i, i);
  d.nn(99, "last").atn(99, 7, 8).asn(99, 0x4321).be();  // unsigned long
  w.data().asp(0).ld("\x01");
  ASSERT_EQ(load_abs(w.bytes()), 0);
  EXPECT_EQ(symbol_type("_last"), 0x86u);
}

// --- loader D: .lsi and .lin

LsiWriter lsi_program() {
  LsiWriter w;
  w.lsi_line("LINK MAP")
      .code_area(0x0200)
      .data_area(0x9100)
      .bank_area("ROMBANK", 0x10000, 0x13FFF, 0x4000)
      .symbol(0x0200, "start")
      .symbol(0x0200, "main_")
      .symbol(0x0240, "helper@main.c")
      .symbol(0x0260, "util_")
      .symbol(0x4100, "banked_")
      .symbol(0x4200, "FRAMEPTR")
      .symbol_banked(0x4300, "far_", 0x00012345)
      .symbol(0x9100, "origin_")
      .symbol(0x9120, "total_")
      .item(0x9100, "origin", "X1", "S", "main.c", "")
      .item(0x0004, "p", "PX1", "A", "main.c", "main")
      .item(0xFFFE, "n", "i", "A", "main.c", "main")
      .item(0x9110, "counts", "A8Uc", "S", "main.c", "main")
      .item(0x0002, "v", "Ul", "A", "main.c", "helper")
      .item(0x0002, "w", "i", "A", "main.c", "ghost")
      .item(0x4110, "bank", "c", "S", "util.c", "", "00010110")
      .item(0x0006, "q", "PPi", "A", "util.c", "util")
      .struct_type('X', "point", {{"x", "i", 0}, {"y", "i", 2}}, 4, 1, "main.c")
      .struct_type('Y', "cell", {{"b", "Uc", 0}, {"w", "Ui", 0}}, 2, 2, "main.c")
      .enum_type("color", {{"red", 0}, {"green", 1}, {"blue", -1}}, 3, "main.c")
      .typedef_type("count_t", 4, "main.c")
      .struct_type('X', "node", {{"next", "PX1", 0}, {"val", "Fi", 2}}, 4, 1, "util.c")
      .global("origin", "main.c", "X1")
      .global("total", "main.c", "PTi");
  w.file("skipped.c").file("main.c").line(0x0200, 10).line(0x0208, 11).lin_line("0210 +12").line(0x0220, -3);
  w.file("util.c").line(0x0260, 5).line(0x0262, 6);
  return w;
}

TEST_F(DbiFormatsTest, LsiFillsSymbolsTypesScopesAndLines) {
  Sw.ToolchainKind = 5;
  const LsiWriter w = lsi_program();
  ASSERT_EQ(load_lsi(w.lsi(), w.lin()), 0);
  sym_sort_symbols();

  // the bank area is a mapping entry; symbols inside its window are placed
  // at its physical address, FRAMEPTR never is
  ASSERT_EQ(TgtMmu.DescriptorCount, 1);
  EXPECT_EQ(TgtMmu.Descriptors[0].base, 0x10000u);
  EXPECT_EQ(TgtMmu.Descriptors[0].start, 0x4000);
  EXPECT_EQ(TgtMmu.Descriptors[0].size, 0x4000);
  EXPECT_EQ(symbol_value("_banked"), 0x10100u);
  EXPECT_EQ(symbol_value("FRAMEPTR"), 0x4200u);
  EXPECT_EQ(symbol_value("_far"), 0x10300u);  // no mapping in force: the listed address through the window
  EXPECT_EQ(Stk.FramePointerAddress, 0x4200);  // where the backtrace reads the frame pointer
  EXPECT_EQ(Dbi.StartAddress, 0x0200u);
  EXPECT_EQ(SymFlag.CodeLow, 0x0200u);
  EXPECT_EQ(SymFlag.CodeHigh, 0x9100u);

  // types: the 'X' line of each module in its own slot, a typedef takes a slot
  const u32 point = kFirstTypeIndex + 0, cell = kFirstTypeIndex + 1, color = kFirstTypeIndex + 2,
            node = kFirstTypeIndex + 4;
  EXPECT_EQ(exp_type_size(point), 4u);
  EXPECT_EQ(exp_type_size(cell), 2u);
  EXPECT_EQ(record_kind(color), kKindEnum);
  EXPECT_EQ(exp_type_size(color), 1u);  // an enum of toolchain kind 5
  EXPECT_EQ(record_kind(kFirstTypeIndex + 3), 0u);
  EXPECT_EQ(exp_type_size(node), 4u);
  EXPECT_EQ(symbol_type("_origin"), point);
  EXPECT_EQ(symbol_type("_total"), 0xC1u);  // a 'T' letter in a descriptor is passed over

  // items: static and frame variables with their descriptors
  const u16 origin = sym_find_static("origin", 0x0201);
  ASSERT_NE(origin, 0);
  EXPECT_EQ(sym_scope_record(origin)->type.get(), point);
  const ScopeRecord* p = local("p", 0x0201);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->kind.get(), kScopeFrame);
  EXPECT_EQ(record_kind(p->type.get()), kKindPointer);
  EXPECT_EQ(exp_type_size(p->type.get()), 2u);
  EXPECT_EQ(exp_element_type(p->type.get()), point);
  const ScopeRecord* n = local("n", 0x0201);
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->location.get(), 0xFFFFFFFEu);
  const ScopeRecord* counts = local("counts", 0x0201);
  ASSERT_NE(counts, nullptr);
  EXPECT_EQ(exp_type_size(counts->type.get()), 8u);
  EXPECT_EQ(exp_array_count(counts->type.get()), 8u);
  const ScopeRecord* v = local("v", 0x0241);  // the static function, found as name@module
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->type.get(), 0x86u);
  EXPECT_EQ(local("w", 0x0201), nullptr);  // its function has no symbol
  EXPECT_NE(sym_find_static("bank", 0x0261), 0);
  EXPECT_EQ(sym_scope_record(sym_find_static("bank", 0x0261))->location.get(), 0x10110u);
  // the functions' blocks run to the next symbol
  const u16 main_block = sym_innermost_scope(0x023F);
  ASSERT_NE(main_block, 0);
  EXPECT_EQ(sym_scope_record(u16(main_block - 1))->size.get(), 0x40);
  EXPECT_EQ(record_kind(symbol_type("_main")), kKindFunction);
  const u16 main_item = sym_find_static("main", 0x0201);  // named as the item records name it
  ASSERT_NE(main_item, 0);
  EXPECT_EQ(sym_scope_record(main_item)->type.get(), symbol_type("_main"));

  // lines: the first of two "*" lines is skipped; a line below 1 is not kept
  EXPECT_EQ(SymModules.ModuleCount, 2);
  EXPECT_EQ(address_of_line("MAIN.C", 12), 0x0210);
  EXPECT_EQ(address_of_line("UTIL.C", 6), 0x0262);
  EXPECT_EQ(address_of_line("SKIPPED.C", 1), -1);
}

TEST_F(DbiFormatsTest, LsiReadsLfLinesAndTheCapitalStart) {
  Sw.ToolchainKind = 5;
  LsiWriter w;
  w.symbol(0x0123, "START").symbol(0x0200, "Main_").item(0x0004, "a", "i", "A", "m.c", "Main");
  w.file("m.c").line(0x0200, 1);
  const auto lf = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  ASSERT_EQ(load_lsi(lf(w.lsi()), lf(w.lin())), 0);
  EXPECT_EQ(Dbi.StartAddress, 0x0123u);
  EXPECT_EQ(SymFlag.CaseSensitive, 0);  // START and no start: names compare without case
  EXPECT_EQ(address_of_line("M.C", 1), 0x0200);
  EXPECT_NE(local("a", 0x0200), nullptr);
}

TEST_F(DbiFormatsTest, LsiMalformedLinesEndWithTheirResult) {
  Sw.ToolchainKind = 5;
  const LsiWriter good = lsi_program();
  const auto with_lsi = [&](std::string extra_first, std::string extra_last) {
    return std::make_pair(extra_first + good.lsi() + extra_last, good.lin());
  };
  const auto with_lin = [&](std::string lin) { return std::make_pair(good.lsi(), lin); };
  std::string many_banks;
  for (int i = 0; i < 129; ++i) {
    LsiWriter b;
    b.bank_area("BANK" + std::to_string(i), 0x10000 + u32(i) * 0x100, 0x100FF + u32(i) * 0x100, 0x4000);
    many_banks += b.lsi();
  }
  const struct {
    const char* what;
    std::pair<std::string, std::string> files;
    i16 result;
  } cases[] = {
      {"an area without its '-'", with_lsi("ROM\t= 00010000+00013FFF\r\n\r\n\t= 4000\r\n", ""), kLoadBadFormat},
      {"an area without its logical start", with_lsi("ROM\t= 00010000-00013FFF\r\n\r\n\tnone\r\n", ""),
       kLoadBadFormat},
      {"129 bank areas", with_lsi(many_banks, ""), kLoadFull},
      {"an item of six fields", with_lsi("0002\t@@a@i@A@m.c@f@\r\n", ""), kLoadBadFormat},
      {"a type number below the module's first", with_lsi("", "Xneg{}2,-10@main.c@\r\n"), kLoadBadFormat},
      {"a huge type number", with_lsi("", "Xbig{}2,99999999@main.c@\r\n"), kLoadBadFormat},
      {"a negative array count", with_lsi("", "Gtotal@0@0@main.c@A-1i@\r\n"), kLoadBadFormat},
      {"an array of 65,536", with_lsi("", "Gtotal@0@0@main.c@A65536i@\r\n"), kLoadBadFormat},
      {"a negative struct size", with_lsi("", "Xs{}-2,1@main.c@\r\n"), kLoadBadFormat},
      {"a tag without '{' or '@'", with_lsi("", "Xpoint@main.c@\r\n"), kLoadBadFormat},
      {"a user type of a module without types", with_lsi("", "Gtotal@0@0@none.c@X1@\r\n"), kLoadBadFormat},
      {"a line longer than 4,096", with_lsi(std::string(5000, 'a') + "\r\n", ""), kLoadBadFormat},
      {"a '*' line under five characters", with_lin("*  \r\n0200 1\r\n"), kLoadBadFormat},
      {"a line before any '*'", with_lin("0200 1\r\n"), kLoadBadFormat},
      {"a line without its number", with_lin("*    a.c\r\n0200 x\r\n"), kLoadBadFormat},
      {"one LF-less line of 70,000 bytes", with_lin(std::string(70000, '1')), kLoadBadFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load_lsi(c.files.first, c.files.second), c.result);
  }
  // missing files
  write("alone.lsi", good.lsi());
  EXPECT_EQ(dbi_load_lsi((dir_.system_path() + "\\alone.lsi").c_str()), kLoadNoDebugInfo);
  EXPECT_EQ(dbi_load_lsi((dir_.system_path() + "\\none.lsi").c_str()), kLoadNoDebugInfo);
}

// A text has no end record: a cut at a line's end leaves a shorter listing,
// which loads; a cut inside a line is the format error.
TEST_F(DbiFormatsTest, LsiEveryTruncationAndCorruptionEndsCleanly) {
  Sw.ToolchainKind = 5;
  const LsiWriter w = lsi_program();
  for (const bool cut_lsi : {true, false}) {
    const std::string& full = cut_lsi ? w.lsi() : w.lin();
    for (std::size_t n = 0; n < full.size(); ++n) {
      SCOPED_TRACE(std::to_string(cut_lsi) + " " + std::to_string(n));
      const std::string cut = full.substr(0, n);
      const bool at_line_end = n == 0 || cut.back() == '\n' || cut.back() == '\r';
      const i16 result = cut_lsi ? load_lsi(cut, w.lin()) : load_lsi(w.lsi(), cut);
      if (at_line_end)
        ASSERT_TRUE(result == 0 || result == kLoadBadFormat) << result;  // a type line may lose its types
      else
        ASSERT_EQ(result, kLoadBadFormat);
    }
  }
  constexpr char kWild[] = {'\0', '@', '-', '\t', '\x1A', '\n', '9', 'P', 'A'};
  for (std::size_t at = 0; at < w.lsi().size(); ++at) {
    std::string bad = w.lsi();
    bad[at] = kWild[at % std::size(kWild)];
    const i16 result = load_lsi(bad, w.lin());
    ASSERT_TRUE(result == 0 || result == kLoadBadFormat || result == kLoadFull) << at << " " << result;
  }
}

// --- loader E: the scrambled format

// Type records of block 1: struct point, a pointer to it (a 5-byte record,
// widened), an array of 8 uchar.
std::string point_record() {
  std::string out;
  out += char(kKindStruct);
  out += char(4 * 8);
  out += char(2);
  out += "\x82\x05point";
  for (int i = 0; i < 2; ++i) out += std::string("\x83\x81\x00\x00\x00", 5);
  out += std::string("\x82\x01x\x88\x00", 5);
  out += std::string("\x82\x01y\x88\x02", 5);
  return out;
}

QorWriter qor_program(bool several_blocks) {
  QorWriter w(several_blocks);
  w.file("main.c").module(0x0200, 0x022F).type(point_record()).type(std::string("z\x74\x83\x00\x02", 5));
  w.type(std::string("x\x40\x83\x84\x00\x00\x00", 7));  // 64 bits
  w.line(0x0200, 10).line(0x0208, 11).line(0x0208, 9).line(0x0210, 12);
  w.file("inc.h").line(0x0220, 3).end_records();
  w.symbol(0x10, 0x0200, 0, "main").symbol(0x10, 0x9100, 0x0200, "origin").symbol(0x00, 0x9110, 0x0202, "counts");
  w.symbol(0x00, 0x9120, 0x0081, "~temp").end_block(!several_blocks);
  if (several_blocks) {
    w.file("util.c").module(0x0300, 0x030F).type(std::string("\x83\x81\x00\x00\x00", 5)).line(0x0300, 5);
    w.end_records().symbol(0x10, 0x0300, 0x0200, "util").symbol(0x10, 0x9200, 0x0084, "flag").end_block(true);
  }
  return w;
}

TEST_F(DbiFormatsTest, QorBlocksOfTypesModulesLinesAndSymbols) {
  Sw.ToolchainKind = 16;
  for (const bool several : {false, true}) {
    SCOPED_TRACE(several);
    ASSERT_EQ(load_qor(qor_program(several).bytes()), 0);
    sym_sort_symbols();
    EXPECT_EQ(SymFlag.CaseSensitive, 0);
    // variant 1 makes every symbol global; variant 2 only the flagged ones
    EXPECT_EQ(symbol_value("_main"), 0x0200u);
    EXPECT_EQ(symbol_type("_origin"), kFirstTypeIndex);
    EXPECT_EQ(symbol_value("_counts"), several ? 0xFFFFFFFFu : 0x9110u);
    // static items are matched without case, like every name of the format
    EXPECT_EQ(sym_find_static("Counts", 0x0201) != 0, several);
    EXPECT_EQ(sym_find_static("~temp", 0x0201), 0);
    EXPECT_EQ(symbol_value("_~temp"), several ? 0xFFFFFFFFu : 0x9120u);
    // the 5-byte pointer record is widened to a u32 target
    EXPECT_EQ(record_kind(kFirstTypeIndex + 1), kKindPointer);
    EXPECT_EQ(exp_element_type(kFirstTypeIndex + 1), kFirstTypeIndex);
    EXPECT_EQ(exp_type_size(kFirstTypeIndex), 4u);
    EXPECT_EQ(exp_type_size(kFirstTypeIndex + 2), 8u);
    // lines: two at one address keep the larger
    EXPECT_EQ(address_of_line("MAIN.C", 11), 0x0208);
    EXPECT_EQ(address_of_line("INC.H", 3), 0x0220);
    EXPECT_EQ(Lst.ListingMode, kListingSource);
    EXPECT_EQ(SymFlag.CodeLow, 0x0200u);
    EXPECT_EQ(SymFlag.CodeHigh, several ? 0x0310u : 0x0230u);
    const u16 module = sym_find_scope(0, kScopeModule, 0x0210);
    ASSERT_NE(module, 0);
    char name[32];
    sym_name_text(sym_scope_record(u16(module - 1))->name.get(), name, sizeof name);
    EXPECT_STREQ(name, "main.c");
    if (several) {
      // the second block's type 0x200 is the first type stored after its module record
      EXPECT_EQ(symbol_type("_util"), kFirstTypeIndex + 3);
      EXPECT_EQ(exp_resolve_type(kFirstTypeIndex + 3), 0x81u);
      EXPECT_EQ(symbol_type("_flag"), 0x84u);
      EXPECT_EQ(address_of_line("UTIL.C", 5), 0x0300);
    }
  }
}

TEST_F(DbiFormatsTest, QorKeystreamStartsAtOffset5) {
  // a known answer: seed 0, so the state starts at the seed constant 0x5A
  const std::string file = std::string("IA80\x00", 5) + std::string("\x00\x00\x00", 3);
  std::vector<u8> body(file.begin() + 5, file.end());
  dbi_unscramble_start(0);
  dbi_unscramble(body);
  EXPECT_EQ(body, (std::vector<u8>{0x6B, 0xA8, 0xA1}));
  // the writer's own keystream and the loader's agree over a whole body
  const QorWriter w = qor_program(true);
  const std::string bytes = w.bytes();
  std::vector<u8> plain(bytes.begin() + kQorHeaderSize, bytes.end());
  dbi_unscramble_start(u8(bytes[4]));
  dbi_unscramble(std::span<u8>(plain.data(), 10));
  dbi_unscramble(std::span<u8>(plain.data() + 10, plain.size() - 10));  // the state carries over
  EXPECT_EQ(std::string(plain.begin(), plain.end()), w.plain());
}

TEST_F(DbiFormatsTest, QorMalformedRecordsEndWithTheFormatError) {
  Sw.ToolchainKind = 16;
  const auto body = [](auto build) {
    QorWriter w(true);
    build(w);
    return w.bytes();
  };
  std::string wrong_magic = qor_program(false).bytes();
  wrong_magic[1] = 'B';
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"wrong magic", wrong_magic},
      {"header only", "IRLN\x01"},
      {"a length of 0", body([](QorWriter& w) { w.byte(0).end_records().end_block(true); })},
      {"a length of 1", body([](QorWriter& w) { w.byte(1).byte(0x78).end_records().end_block(true); })},
      {"a module record of 5 bytes", body([](QorWriter& w) { w.record(kQorModule, "\x00\x02\x10").end_records().end_block(true); })},
      {"a line record before any file", body([](QorWriter& w) { w.line(0x0200, 1).end_records().end_block(true); })},
      {"a file name without its NUL", body([](QorWriter& w) { w.record(kQorFile, "main.c").end_records().end_block(true); })},
      {"a record past the file's end", body([](QorWriter& w) { w.byte(40).byte('y'); })},
      {"a type record of no known kind", body([](QorWriter& w) { w.type("Q\x01").end_records().end_block(true); })},
      {"a module whose last address is below its first",
       body([](QorWriter& w) { w.file("a.c").module(0x0300, 0x0200).end_records().end_block(true); })},
      {"a symbol of a type not stored", body([](QorWriter& w) { w.end_records().symbol(0x10, 1, 0x0200, "a").end_block(true); })},
      {"a symbol of type 0x150", body([](QorWriter& w) { w.end_records().symbol(0x10, 1, 0x0150, "a").end_block(true); })},
      {"a symbol name without its NUL", body([](QorWriter& w) { w.end_records().byte(0x10).le16(1).le16(0x81).raw("abc"); })},
      {"a name of 256 characters",
       body([](QorWriter& w) { w.end_records().symbol(0x10, 1, 0x81, std::string(256, 'a')).end_block(true); })},
      {"no end mark after the last block", body([](QorWriter& w) { w.end_records().end_block(false); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load_qor(c.bytes), kLoadBadFormat);
  }
  EXPECT_EQ(dbi_load_format_e((dir_.system_path() + "\\none.qor").c_str()), kD01FileMissing);
}

TEST_F(DbiFormatsTest, QorEveryTruncationAndCorruptionEndsCleanly) {
  Sw.ToolchainKind = 16;
  for (const bool several : {false, true}) {
    const QorWriter w = qor_program(several);
    const std::string full = w.bytes();
    for (std::size_t n = 0; n < full.size(); ++n) {
      SCOPED_TRACE(std::to_string(several) + " " + std::to_string(n));
      ASSERT_EQ(load_qor(full.substr(0, n)), kLoadBadFormat);
    }
    // the plain body corrupted, then scrambled as a writer would
    constexpr char kWild[] = {'\0', '\x01', '\x06', '\x7F', '\xFE', '\xFF'};
    for (std::size_t at = 0; at < w.plain().size(); ++at) {
      std::string plain = w.plain();
      plain[at] = kWild[at % std::size(kWild)];
      const i16 result = load_qor(w.header() + QorWriter::scrambled(plain, 0x37));
      ASSERT_TRUE(result == 0 || result == kLoadBadFormat || result == kLoadFull) << at << " " << result;
    }
  }
}

}  // namespace
