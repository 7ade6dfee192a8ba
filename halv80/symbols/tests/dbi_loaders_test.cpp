// The binary debug-information loaders A (.d01) and C (.db1) on fixtures made
// by the test writers: several modules, nested blocks and every type kind;
// code-only loading; files over 64 KiB whose records straddle the buffer's
// refill point; and every truncation and corruption of a fixture, which must
// end in a result, never a crash.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_db1.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "halv80/symbols/tests/dbi_fixture.h"
#include "platform/host/host_file.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using fixture::D01Member;
using fixture::D01Var;
using fixture::D01Writer;

std::map<u32, u8> Written;  // code bytes by address, from the code writer

void capture(u16 address, std::span<const u8> bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) Written[u16(address + i)] = bytes[i];
}

// Type numbers of the fixture: 100 and up are user types from 512.
constexpr u16 kInt = 4, kUint = 5, kUchar = 1;
constexpr u16 kPoint = 100, kPointPtr = 101, kPoints = 102, kUnion = 103, kFlags = 104, kFunc = 105, kAlias = 106,
              kOther = 107;
u32 user(u16 number) { return u32(number) + 412; }

// Two modules: MAIN with a function holding a nested block, UTIL with one
// more function; every type kind; symbols of each kind; skipped records.
D01Writer program() {
  D01Writer w;
  w.type_struct(kPoint, "point", 4, {{0, "x", kInt}, {2, "y", kInt}})
      .type_pointer(kPointPtr, kPoint)
      .type_array(kPoints, kPoint, 12)
      .type_union(kUnion, "word", 2, {{0, "b", kUchar}, {0, "w", kUint}})
      .type_struct(kFlags, "flags", 4, {{0, "a", kInt}, {0, "b", kInt}, {2, "c", kInt}})
      .type_bit_field(kFlags, 3, 0, kInt)
      .type_bit_field(kFlags, 5, 3, kUint)
      .type_function(kFunc, kInt, 2)
      .type_alias(kAlias, kPoint)
      .type_other(kOther, 30)
      .skipped();
  w.module_start("MAIN")
      .symbol(1, 1, 0x0200, "main", kFunc)
      .symbol(2, 2, 0x9100, "origin", kPoint)
      .symbol(4, 2, 0x9110, "counter", kInt)
      .symbol(4, 2, 0x9112, "?temp", kInt)
      .symbol(9, 2, 0x9114, "other", kInt)
      .address(0x0200)
      .line(10, true)
      .code("\x01\x02\x03\x04\x05\x06\x07\x08")
      .function("main", {{7, 4, "p", kPointPtr}, {7, 0xFFFFFFFE, "n", kInt}, {4, 0x9116, "s", kAlias}})
      .line(11)
      .code("\x11\x12\x13\x14")
      .block_begin({{7, 0xFFFFFFFC, "inner", kPoint}})
      .line(12)
      .code("\x21\x22")
      .block_end()
      .line(13)
      .code("\x31\x32")
      .block_end()
      .module_end();
  w.module_start("UTIL")
      .symbol(1, 1, 0x0300, "helper", kFunc)
      .address(0x0300)
      .line(5, true)
      .function("helper", {{7, 4, "v", kInt}})
      .code("\x41\x42\x43")
      .line(6)
      .code("\x51")
      .block_end()
      .module_end()
      .end();
  return w;
}

class DbiLoadersTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    reset_engine_state();
    sym_init();
    Sw.ToolchainKind = 3;
    Written.clear();
    D01.CodeWriter = capture;
  }
  void TearDown() override {
    D01.CodeWriter = nullptr;
    sym_init();
    reset_engine_state();
  }
  std::string write(const std::string& name, const std::string& bytes) const {
    dir_.write(name, bytes);
    return dir_.system_path() + "\\" + name;
  }
  // Each load writes a new file: rewriting one in place costs a flush per file.
  i16 load_d01(const std::string& bytes, bool with_symbols = true) {
    sym_init();
    Written.clear();
    return dbi_load_d01(write("p" + std::to_string(files_++) + ".d01", bytes).c_str(), with_symbols);
  }
  i16 load_db1(const std::string& bytes) {
    sym_init();
    return dbi_load_db1(write("p" + std::to_string(files_++) + ".db1", bytes).c_str());
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

  ScratchDir dir_;
  int files_ = 0;
};

TEST_F(DbiLoadersTest, D01FillsSymbolsModulesLinesScopesAndCode) {
  ASSERT_EQ(load_d01(program().bytes()), 0);
  sym_sort_symbols();

  // code bytes at their addresses
  EXPECT_EQ(Written.size(), 20u);
  EXPECT_EQ(Written[0x0200], 0x01);
  EXPECT_EQ(Written[0x020C], 0x21);
  EXPECT_EQ(Written[0x0303], 0x51);

  // symbols with a '_' in front, typed inside a module; kinds 4 and 9 are not symbols
  EXPECT_EQ(symbol_value("_main"), 0x0200u);
  EXPECT_EQ(symbol_type("_main"), user(kFunc));
  EXPECT_EQ(symbol_type("_origin"), user(kPoint));
  EXPECT_EQ(symbol_value("_counter"), 0xFFFFFFFFu);
  EXPECT_EQ(symbol_value("_other"), 0xFFFFFFFFu);

  // lines of both modules, named with the default source extension
  EXPECT_EQ(SymModules.ModuleCount, 2);
  EXPECT_EQ(address_of_line("MAIN.C", 11), 0x0208);
  EXPECT_EQ(address_of_line("MAIN.C", 13), 0x020E);
  EXPECT_EQ(address_of_line("UTIL.C", 6), 0x0303);
  EXPECT_EQ(Lst.ListingMode, kListingSource);

  // the code range covers both functions
  EXPECT_EQ(SymFlag.CodeLow, 0x0200u);
  EXPECT_EQ(SymFlag.CodeHigh, 0x0304u);

  // locals: the nested block's variable and the function's, by name
  const u16 inner = sym_find_local("inner", 0x020C);
  ASSERT_NE(inner, 0);
  EXPECT_EQ(sym_scope_record(inner)->location.get(), 0xFFFFFFFCu);
  EXPECT_EQ(sym_scope_record(inner)->type.get(), user(kPoint));
  const u16 p = sym_find_local("p", 0x0201);
  ASSERT_NE(p, 0);
  EXPECT_EQ(sym_scope_record(p)->kind.get(), kScopeFrame);
  EXPECT_EQ(sym_find_local("v", 0x0201), 0);
  EXPECT_NE(sym_find_local("v", 0x0301), 0);
  // the function's block spans its code; its static item carries the symbol's type
  const u16 block = sym_innermost_scope(0x020F);
  ASSERT_NE(block, 0);
  EXPECT_EQ(sym_scope_record(u16(block - 1))->size.get(), 0x10);
  const u16 module = sym_find_scope(0, kScopeModule, 0x0201);
  ASSERT_NE(module, 0);
  const u16 function = sym_find_static("main", 0x0201);
  ASSERT_NE(function, 0);
  EXPECT_EQ(sym_scope_record(function)->type.get(), user(kFunc));
  EXPECT_EQ(sym_scope_record(function)->size.get(), 0x10);
  EXPECT_GT(sym_find_scope(0, kScopeModule, 0x0302), module);  // UTIL's own range
  EXPECT_NE(sym_find_static("counter", 0x0201), 0);
  EXPECT_EQ(sym_find_static("?temp", 0x0201), 0);
}

TEST_F(DbiLoadersTest, D01TypeRecordsOfEveryKind) {
  ASSERT_EQ(load_d01(program().bytes()), 0);
  const struct {
    u16 number;
    u32 size;
  } sizes[] = {
      {kPoint, 4}, {kPointPtr, 2}, {kPoints, 12}, {kUnion, 2}, {kFlags, 4}, {kFunc, 0}, {kAlias, 4},
  };
  for (const auto& c : sizes) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(exp_type_size(user(c.number)), c.size);
  }
  EXPECT_EQ(exp_resolve_type(user(kAlias)), user(kPoint));
  std::span<const u8> record;
  EXPECT_FALSE(sym_type_record(user(kOther), record));  // an unknown kind: an empty record

  // the bit fields waited for their details: types and positions patched
  ASSERT_TRUE(sym_type_record(user(kFlags), record));
  TypeFieldReader r(record);
  u8 kind = 0;
  u32 size = 0, count = 0, types[3] = {};
  std::span<const u8> name;
  ASSERT_TRUE(r.byte(kind) && r.size(size) && r.count(count) && r.name(name));
  EXPECT_EQ(kind, kKindStruct);
  EXPECT_EQ(count, 3u);
  for (u32& t : types) ASSERT_TRUE(r.type(t));
  EXPECT_EQ(types[0], 0x81u);
  EXPECT_EQ(types[1], 0x85u);
  EXPECT_EQ(types[2], 0x81u);
  const struct {
    u32 offset;
    u16 bit_field;
  } positions[] = {{0, 3 << 8 | 0}, {0, 5 << 8 | 3}, {2, 0}};
  for (const auto& want : positions) {
    u32 offset = 99;
    u16 bits = 99;
    ASSERT_TRUE(r.name(name) && r.position_field(offset, bits));
    EXPECT_EQ(offset, want.offset);
    EXPECT_EQ(bits, want.bit_field);
  }
  // the union's members all lie at offset 0
  ASSERT_TRUE(sym_type_record(user(kUnion), record));
  EXPECT_EQ(record[0], kKindStruct);
}

TEST_F(DbiLoadersTest, D01CodeOnlyLeavesTheDatabaseAlone) {
  ASSERT_EQ(load_d01(program().bytes(), true), 0);
  const std::map<u32, u8> full = Written;
  ASSERT_EQ(load_d01(program().bytes(), false), 0);
  EXPECT_EQ(Written, full);
  EXPECT_EQ(Sym.Count, 0);
  EXPECT_EQ(SymModules.ModuleCount, 0);
  EXPECT_EQ(SymScopes.ScopeCount, 0);
  EXPECT_EQ(Types.SlotCount, 0u);
}

TEST_F(DbiLoadersTest, D01StartUpModuleSetsTheProgramCounter) {
  reg_set(kRegPC, 0);
  D01Writer w;
  w.code("\xAA").module_start("CSTARTUP").address(0x0123).code("\xF3\x31").module_end().end();
  ASSERT_EQ(load_d01(w.bytes()), 0);
  EXPECT_EQ(reg_get(kRegPC), 0x0123);
  EXPECT_EQ(Written[0x0000], 0xAA);  // a code record before any address record writes at 0
}

TEST_F(DbiLoadersTest, D01MalformedStreamsEndWithTheirResult) {
  const auto stream = [](auto build) {
    D01Writer w;
    build(w);
    return w.bytes();
  };
  const struct {
    const char* what;
    std::string bytes;
    i16 result;
  } cases[] = {
      {"line before any module", stream([](D01Writer& w) { w.line(1).end(); }), kLoadBadFormat},
      {"line after the module ended", stream([](D01Writer& w) { w.module_start("M").module_end().line(1).end(); }),
       kLoadBadFormat},
      {"block end with no function", stream([](D01Writer& w) { w.module_start("M").block_end().end(); }),
       kLoadBadFormat},
      {"bit field with no waiting struct", stream([](D01Writer& w) { w.type_bit_field(100, 1, 0, 4).end(); }),
       kLoadBadFormat},
      {"bit field of another struct", stream([](D01Writer& w) {
         w.type_struct(100, "s", 2, {{0, "a", 4}, {0, "b", 4}}).type_bit_field(101, 1, 0, 4).end();
       }),
       kLoadBadFormat},
      {"type number below the user types", stream([](D01Writer& w) { w.type_pointer(99, 4).end(); }), kLoadBadFormat},
      {"no end record", stream([](D01Writer& w) { w.module_start("M").module_end(); }), kLoadBadFormat},
      {"empty file", "", kLoadBadFormat},
      {"unknown tag", stream([](D01Writer& w) { w.module_start("M").u8_('Z').end(); }), kD01UnknownRecord},
      {"huge member count",
       stream([](D01Writer& w) { w.u8_('J').be16(100).u8_(18).name("u").be16(2).be32(0xFFFFFFFF); }), kLoadBadFormat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(load_d01(c.bytes), c.result);
  }
}

TEST_F(DbiLoadersTest, D01EveryTruncationAndCorruptionEndsCleanly) {
  const std::string full = program().bytes();
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(load_d01(full.substr(0, n)), kLoadBadFormat);
  }
  // every byte replaced, in turn, by values that turn counts and lengths wild
  constexpr char kWild[] = {'\0', '\x0E', '\x7F', '\xFF'};
  for (std::size_t at = 0; at < full.size(); ++at) {
    std::string bad = full;
    bad[at] = kWild[at % std::size(kWild)];
    const i16 result = load_d01(bad);
    ASSERT_TRUE(result == 0 || result == kLoadBadFormat || result == kLoadFull || result == kD01UnknownRecord)
        << at << " " << result;
  }
}

// Symbols up to the refill point, then a long struct and more records, the
// whole shifted byte by byte so that the struct and the records after it
// straddle the point where the buffer is refilled.
TEST_F(DbiLoadersTest, D01RecordsStraddleTheRefillOfAFileOver64KiB) {
  std::vector<D01Member> members;
  for (u32 i = 0; i < 800; ++i) members.push_back({i * 2, "m" + std::to_string(i), kInt});
  for (std::size_t shift = 0; shift < 12; shift += 3) {
    SCOPED_TRACE(shift);
    D01Writer w;
    w.module_start("BIG").symbol(2, 2, 0, std::string(1 + shift, 'a'), kInt);
    for (u32 i = 0; w.size() < 61000; ++i) w.symbol(2, 2, i, "s" + std::to_string(i), kInt);
    const std::size_t struct_at = w.size();
    w.type_struct(kPoint, "big", 1600, members);
    // it begins before the first refill and ends past the first buffer
    ASSERT_LT(struct_at, 65536u - kDbiBufferKeep);
    ASSERT_GT(w.size(), 65536u);
    for (u32 i = 0; w.size() < 70000; ++i) w.symbol(2, 2, i, "t" + std::to_string(i), kInt);
    w.symbol(2, 2, 0x4321, "last", kInt).module_end().end();
    ASSERT_GT(w.size(), 65536u);
    ASSERT_EQ(load_d01(w.bytes()), 0);
    EXPECT_EQ(symbol_value("_last"), 0x4321u);
    EXPECT_EQ(exp_type_size(user(kPoint)), 1600u);
    std::span<const u8> record;
    ASSERT_TRUE(sym_type_record(user(kPoint), record));
    const std::string tail(record.end() - 6, record.end());
    EXPECT_EQ(tail, std::string("m799\x89\x3E\x06", 7).substr(1));  // last name, offset 1598
  }
}

TEST_F(DbiLoadersTest, D01FullTablesEndTheLoadKeepingWhatWasRead) {
  D01Writer w;
  w.module_start("M");
  for (u32 i = 0; i < kSymMaxCount + 10; ++i) w.symbol(2, 2, i, "s" + std::to_string(i), kInt);
  w.module_end().end();
  EXPECT_EQ(load_d01(w.bytes()), kLoadFull);
  EXPECT_EQ(Sym.Count, kSymMaxCount);
  EXPECT_EQ(symbol_value("_s0"), 0u);
}

TEST_F(DbiLoadersTest, D01MissingFile) {
  EXPECT_EQ(dbi_load_d01((dir_.system_path() + "\\none.d01").c_str(), true), kD01FileMissing);
}

// The reader hands out exactly the file's bytes across refills, never a stale
// byte after its end, also when toolchain kind 5 fills the rest with 0x1A;
// with a descrambler every byte passes through it once.
void flip(std::span<u8> fresh) {
  for (u8& b : fresh) b ^= 0x5A;
}

TEST_F(DbiLoadersTest, BufferReadsExactlyTheFileAcrossRefills) {
  std::string bytes(70123, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + i / 256);
  const std::string path = write("b.bin", bytes);
  const struct {
    u16 kind;
    DbiDescrambler descramble;
    u8 mask;
  } cases[] = {{3, nullptr, 0}, {5, nullptr, 0}, {3, flip, 0x5A}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mask + c.kind);
    Sw.ToolchainKind = c.kind;
    const SupFileCloser file(sup_file_open(path, kFileModeRead));
    ASSERT_EQ(dbi_buffer_init(), kDbiBufferSize);
    DbiBuf.Descramble = c.descramble;
    ASSERT_TRUE(dbi_buffer_start(file.handle, 0));
    std::size_t at = 0;
    while (at < bytes.size()) {
      // a "record" of 97 bytes: one read byte, a skip, one more byte
      u8 b = 0;
      ASSERT_TRUE(dbi_read_u8(b));
      ASSERT_EQ(b, u8(bytes[at] ^ c.mask)) << at;
      const u32 n = u32(std::min<std::size_t>(95, bytes.size() - at - 1));
      ASSERT_TRUE(dbi_skip(n));
      at += 1 + n;
      if (at < bytes.size()) {
        ASSERT_TRUE(dbi_read_u8(b));
        ASSERT_EQ(b, u8(bytes[at] ^ c.mask)) << at;
        ++at;
      }
      ASSERT_EQ(dbi_buffer_position(), at);
      dbi_buffer_refill();
    }
    u8 b = 0;
    u32 word = 0;
    EXPECT_FALSE(dbi_read_u8(b));
    EXPECT_FALSE(dbi_read_be32(word));
    EXPECT_TRUE(dbi_buffer_at_end());
    if (c.kind == 5) {
      EXPECT_EQ(DbiBuf.Data[DbiBuf.Valid], 0x1A);
    }
    // a start inside the file, a field cut by its end
    ASSERT_TRUE(dbi_buffer_start(file.handle, u32(bytes.size() - 3)));
    EXPECT_FALSE(dbi_read_be32(word));
    EXPECT_EQ(dbi_buffer_remaining(), 3u);
    DbiBuf.Descramble = nullptr;
  }
}

// --- loader C

// main.c includes defs.h inside its range; an unused entry; util.c; an entry
// without lines.
std::string db1_program() {
  using fixture::Db1Line;
  using fixture::Db1Module;
  using fixture::Db1Symbol;
  const std::vector<Db1Module> modules = {
      {0x0200, 0x0300, "main.c", 1, 6}, {0x0240, 0x0260, "defs.h", 3, 4},  {},
      {0x0300, 0x0380, "util.c", 7, 8}, {0x0380, 0x0390, "empty.c", 0, 0},
  };
  const std::vector<Db1Line> lines = {{10, 0x0200}, {11, 0x0220}, {2, 0x0240}, {3, 0x0250},
                                      {12, 0x0260}, {13, 0x0280}, {5, 0x0300}, {6, 0x0340}};
  const std::vector<Db1Symbol> symbols = {
      {"_main", 0x0200, 0x001},
      {"_util", 0x0300, 0x005},
      {"_data", 0x9000, 0x002},
      {"_far", 0x9002, 0x401},
  };
  return fixture::db1_file(modules, lines, symbols);
}

TEST_F(DbiLoadersTest, Db1ModulesWithIncludedFilesAndSymbols) {
  ASSERT_EQ(load_db1(db1_program()), 0);
  sym_sort_symbols();
  EXPECT_EQ(SymModules.ModuleCount, 3);  // the unused and the line-less entries are skipped
  const struct {
    const char* file;
    u16 line;
    i32 address;
  } lines[] = {
      {"MAIN.C", 10, 0x0200}, {"MAIN.C", 12, 0x0260}, {"MAIN.C", 13, 0x0280},
      {"DEFS.H", 2, 0x0240},  {"DEFS.H", 3, 0x0250},  {"UTIL.C", 6, 0x0340},
  };
  for (const auto& c : lines) {
    SCOPED_TRACE(std::string(c.file) + ":" + std::to_string(c.line));
    EXPECT_EQ(address_of_line(c.file, c.line), c.address);
  }
  // the include's lines are not the outer file's
  u16 line = 0;
  ASSERT_NE(sym_line_from_address(0x0250, line), nullptr);
  EXPECT_STREQ(SymModules.FileNameText, "DEFS.H");
  EXPECT_EQ(symbol_value("_main"), 0x0200u);
  EXPECT_EQ(symbol_value("_util"), 0x0300u);
  EXPECT_EQ(symbol_value("_data"), 0xFFFFFFFFu);
  EXPECT_EQ(symbol_value("_far"), 0xFFFFFFFFu);
}

// An include inside an include: each file keeps only its own lines. Then a
// group of 3,000 entries over the same 2,000 lines: the innermost takes them
// all, and the others pass over them unread.
TEST_F(DbiLoadersTest, Db1IncludesWithinIncludes) {
  const std::vector<fixture::Db1Line> lines = {{1, 0x100}, {2, 0x110}, {3, 0x120}, {4, 0x130}, {5, 0x140}, {6, 0x150}};
  ASSERT_EQ(load_db1(fixture::db1_file(
                {{0x100, 0x200, "a.c", 1, 6}, {0x110, 0x150, "b.h", 2, 5}, {0x120, 0x130, "c.h", 3, 3}}, lines, {})),
            0);
  const struct {
    const char* file;
    u16 line;
    i32 address;
  } cases[] = {
      {"A.C", 1, 0x100}, {"A.C", 6, 0x150}, {"B.H", 2, 0x110}, {"B.H", 4, 0x130},
      {"B.H", 5, 0x140}, {"C.H", 3, 0x120}, {"A.C", 3, -1},    {"B.H", 3, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + ":" + std::to_string(c.line));
    EXPECT_EQ(address_of_line(c.file, c.line), c.address);
  }

  std::vector<fixture::Db1Module> nested;
  std::vector<fixture::Db1Line> many;
  for (u32 i = 0; i < 2000; ++i) many.push_back({u16(i + 1), 0x1000 + i});
  for (u32 i = 0; i < 3000; ++i) nested.push_back({0x1000 + i, 0x9000 - i, "n" + std::to_string(i) + ".h", 1, 2000});
  Sw.SymbolBlockLimit = 16;
  ASSERT_EQ(load_db1(fixture::db1_file(nested, many, {})), 0);
  EXPECT_EQ(address_of_line("N2999.H", 2000), 0x1000 + 1999);
  EXPECT_EQ(address_of_line("N0.H", 1), -1);
}

TEST_F(DbiLoadersTest, Db1TablesLargerThanTheBuffer) {
  std::vector<fixture::Db1Module> modules;
  std::vector<fixture::Db1Line> lines;
  std::vector<fixture::Db1Symbol> symbols;
  Sw.SymbolBlockLimit = 16;         // a line block for each module
  for (u32 i = 0; i < 2500; ++i) {  // 85,000 bytes of module entries
    modules.push_back({0x0100 + i * 4, 0x0100 + i * 4 + 4, "m" + std::to_string(i) + ".c", i + 1, i + 1});
    lines.push_back({u16(i + 1), 0x0100 + i * 4});
    symbols.push_back({"_symbol_with_a_long_name_" + std::to_string(i), i, 1});
  }
  ASSERT_EQ(load_db1(fixture::db1_file(modules, lines, symbols)), 0);
  EXPECT_EQ(SymModules.ModuleCount, 2500);
  EXPECT_EQ(address_of_line("M2499.C", 2500), 0x0100 + 2499 * 4);
  EXPECT_EQ(symbol_value("_symbol_with_a_long_name_2499"), 2499u);
  EXPECT_EQ(symbol_value("_symbol_with_a_long_name_0"), 0u);
}

TEST_F(DbiLoadersTest, Db1TruncatedOrMissing) {
  const std::string full = db1_program();
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    ASSERT_EQ(load_db1(full.substr(0, n)), kDb1ReadFailed);
  }
  // a line range past the table's end
  std::string bad = full;
  bad[136 + 20] = '\x7F';  // the first module's last line index
  EXPECT_EQ(load_db1(bad), kDb1ReadFailed);
  EXPECT_EQ(dbi_load_db1((dir_.system_path() + "\\none.db1").c_str()), kLoadNoDebugInfo);
}

}  // namespace
