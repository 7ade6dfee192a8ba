// The text symbol, map and line-file loaders: symbol files made from real
// tools' output (the demo program sdcc builds, pasmo, sdas), the map and line
// files of toolchain kinds 1, 2 and 16 written from the demo's own line records
// and then used through the line lookups and ".N" expressions, and the
// boundaries of each text and binary layout. Each test has its own scratch
// folder.
#include "halv80/symbols/sym_text_loader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_file.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

const std::string kProgramDir = HALV80_TEST_PROGRAM_DIR;

// What sdcc's linker says about the demo program (demo.noi): every symbol,
// and the source line records "C$demo.c$<line>$..." as address -> line.
struct DemoProgram {
  std::vector<std::pair<std::string, u32>> symbols;  // in file order
  std::vector<std::pair<u32, u32>> line_records;     // (address, line), in file order
  u32 value(const std::string& name) const {
    for (const auto& [n, v] : symbols)
      if (n == name) return v;
    return 0xFFFFFFFF;
  }
};

const DemoProgram& demo() {
  static const DemoProgram program = [] {
    DemoProgram p;
    std::ifstream in(kProgramDir + "/demo.noi");
    std::string keyword, name, value;
    while (in >> keyword >> name) {
      if (keyword != "DEF" || !(in >> value)) continue;
      const u32 v = u32(std::strtoul(value.c_str(), nullptr, 16));
      p.symbols.emplace_back(name, v);
      const std::string prefix = "C$demo.c$";
      if (name.compare(0, prefix.size(), prefix) == 0)
        p.line_records.emplace_back(v, u32(std::strtoul(name.c_str() + prefix.size(), nullptr, 10)));
    }
    return p;
  }();
  return program;
}

// The line each address keeps: of two lines at one address, the larger.
std::map<u32, u32> kept_lines() {
  std::map<u32, u32> kept;
  for (const auto& [address, line] : demo().line_records) kept[address] = std::max(kept[address], line);
  return kept;
}

// A binary .lin file: u16 address, u16 line word, little-endian; `tail`
// bytes after the entries.
std::string lin_bytes(const std::vector<std::pair<u32, u32>>& entries, std::string_view tail = {}) {
  std::string out;
  for (const auto& [address, word] : entries) {
    for (const u32 v : {address, word}) {
      out += char(v & 0xFF);
      out += char(v >> 8 & 0xFF);
    }
  }
  out += tail;
  return out;
}

std::string hex4(u32 value) {
  char text[8];
  snprintf(text, sizeof text, "%04X", value & 0xFFFF);
  return text;
}

// Expected line records: file, address, line.
struct LineAt {
  const char* file;
  u32 address;
  u16 line;
};

class SymTextLoaderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    reset_all();
  }
  void TearDown() override {
    sym_init();
    reset_engine_state();
  }
  static void reset_all() {
    reset_engine_state();
    sym_init();
  }
  // A file of the scratch folder in the system's form.
  std::string path(const std::string& name) const { return dir_.system_path() + "\\" + name; }
  u16 load(const std::string& name, u16 type, u16 kind) {
    Sw.ToolchainKind = kind;
    return sym_load_text_map(path(name).c_str(), type);
  }
  // Runs a shell command in the scratch folder; true when it succeeded.
  bool run(const std::string& command) const {
    return std::system(("cd '" + dir_.path() + "' && " + command).c_str()) == 0;
  }
  static u32 symbol_value(const std::string& name) {
    const u16 found = sym_find_by_name(name, kSymFindExact);
    return found ? sym_record(u16(found - 1))->value.get() : 0xFFFFFFFF;
  }
  // Live symbols of exactly that name.
  static int symbol_count(const std::string& name) {
    int n = 0;
    for (u16 i = 0; i < Sym.Count; ++i)
      if (sym_record_name(*sym_record(i)) == name) ++n;
    return n;
  }
  static void expect_line(const LineAt& at) {
    SCOPED_TRACE(testing::Message() << std::hex << "address " << at.address);
    u16 line = 0;
    const char* file = sym_line_from_address(at.address, line);
    ASSERT_NE(file, nullptr);
    EXPECT_STREQ(file, at.file);
    EXPECT_EQ(line, at.line);
  }
  static void expect_no_line(u32 address) {
    u16 line = 0;
    EXPECT_EQ(sym_line_from_address(address, line), nullptr) << std::hex << address;
  }
  static u32 evaluate(const std::string& text) {
    std::size_t used = 0;
    const u32 value = exp_eval_number_at_cursor(text, used);
    EXPECT_EQ(Exp.AbortWord, 0) << text;
    return value;
  }

  ScratchDir dir_;
};

// --- Symbols from real tools ---------------------------------------------------

// The demo's symbols through awk, from the linker's .noi and its .map, read
// as symbol files: every value the linker gave.
TEST_F(SymTextLoaderTest, SymbolFilesMadeFromTheLinkersOutputsHoldItsValues) {
  ASSERT_FALSE(demo().symbols.empty());
  const struct {
    const char* name;
    std::string command;
  } cases[] = {
      {"noi.sym", "awk '$1 == \"DEF\" { v = $3; sub(/^0x/, \"\", v); print v, $2 }' " + kProgramDir +
                      "/demo.noi > noi.sym"},
      // the map's symbol lines: eight hexadecimal digits, the name, a tab between
      {"map.sym", "awk '$1 ~ /^[0-9A-F]+$/ && length($1) == 8 && NF >= 2 { printf \"%s\\t%s\\r\\n\", $1, $2 }' " +
                      kProgramDir + "/demo.map > map.sym"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset_all();
    ASSERT_TRUE(run(c.command));
    ASSERT_EQ(load(c.name, kDebugSymbolFile, 16), kLoadDone);
    sym_sort_symbols();
    for (const auto& [name, value] : demo().symbols) EXPECT_EQ(symbol_value(name), value & 0xFFFF) << name;
    EXPECT_EQ(SymFlag.CaseSensitive, 0);  // a symbol file's names compare without case
    u16 main_value = 0;
    ASSERT_EQ(sym_lookup_value("MAIN", main_value), 1);
    EXPECT_EQ(main_value, demo().value("_main"));
    EXPECT_EQ(Sym.Count, demo().symbols.size());
  }
}

// Other tools' own symbol listings are not this layout: a format error
// (message 44 at the command), and nothing worse.
TEST_F(SymTextLoaderTest, OtherToolsSymbolListingsAreFormatErrors) {
  dir_.write("tiny.asm", "\tORG 100H\nstart:\tLD A,1\nloop:\tJR loop\nvalue\tEQU 1234H\n\tPUBLIC start\n");
  ASSERT_TRUE(run("pasmo tiny.asm tiny.bin pasmo.sym >/dev/null 2>&1"));
  ASSERT_TRUE(run("pasmo --public tiny.asm tiny.bin pasmo.pub >/dev/null 2>&1"));
  ASSERT_TRUE(run("cp " + kProgramDir + "/demo.sym sdas.sym"));
  const struct {
    const char* name;
    u16 type;
    u16 kind;
  } cases[] = {
      {"pasmo.sym", kDebugSymbolFile, 16},
      {"pasmo.pub", kDebugSymbolFile, 16},
      {"pasmo.sym", kDebugMapFile, 1},  // its "\t\t" is followed by EQU, not a value
      {"sdas.sym", kDebugSymbolFile, 16},
      {"sdas.sym", kDebugMapFile, 2},   // its "Symbol Table" has other columns
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " kind " << c.kind);
    reset_all();
    EXPECT_EQ(load(c.name, c.type, c.kind), kLoadBadFormat);
  }
}

// --- Line tables from the map and line files of each kind ----------------------

// Writes the demo's symbols and line records in the layout of `kind` and
// gives the file to load and its type.
std::pair<std::string, u16> write_demo_files(const ScratchDir& dir, u16 kind) {
  const DemoProgram& d = demo();
  std::string symbols;
  if (kind == 1) {
    symbols = "LINK MAP\r\n";
    for (const auto& [name, value] : d.symbols) symbols += "\t\t" + hex4(value) + " " + name + "\r\n";
    std::string lin = "*** demo.c\r\n";
    for (const auto& [address, line] : d.line_records) lin += hex4(address) + ": " + std::to_string(line) + "\r\n";
    dir.write("demo.map", symbols);
    dir.write("demo.lin", lin);
    return {"demo.map", kDebugMapFile};
  }
  if (kind == 2) {
    u32 base = 0xFFFF;
    for (const auto& record : d.line_records) base = std::min(base, record.first);
    const u32 code = d.value("s__CODE");
    symbols = "Linker map of DEMO\r\nMachine type is Z80\r\n\r\n";
    symbols += "C:\\WORK\\crt0.obj  text  " + hex4(code) + "\r\n";  // no crt0.lin: no lines
    symbols += "C:\\WORK\\demo.obj  text  " + hex4(base) + "\r\n\r\n";
    symbols += "Symbol Table\r\n\r\n";
    for (const auto& [name, value] : d.symbols) symbols += name + "  text  " + hex4(value) + "\r\n";
    symbols += "__Ltext  text  " + hex4(code) + "\r\n__Htext  text  " + hex4(code + d.value("l__CODE")) + "\r\n";
    std::vector<std::pair<u32, u32>> entries;
    for (const auto& [address, line] : d.line_records) entries.emplace_back(address - base, line);
    dir.write("demo.map", symbols);
    dir.write("demo.lin", lin_bytes(entries));
    return {"demo.map", kDebugMapFile};
  }
  // kind 16: a symbol file; the MAP names the modules and their two bases,
  // and the line words choose a base by their top bits.
  constexpr u32 kBase1 = 0x0200;
  constexpr u32 kBase2 = 0x0100;
  for (const auto& [name, value] : d.symbols) symbols += hex4(value) + " " + name + "\r\n";
  std::vector<std::pair<u32, u32>> entries;
  for (std::size_t i = 0; i < d.line_records.size(); ++i) {
    const auto [address, line] = d.line_records[i];
    const u32 selector = i % 4;  // 0 and 3: no base
    const u32 base = selector == 1 ? kBase1 : selector == 2 ? kBase2 : 0;
    entries.emplace_back(address - base, selector << 14 | line);
  }
  dir.write("demo.sym", symbols);
  dir.write("demo.map", "Module  <crt0>  CODE=0200 DATA=9100\r\nModule  <demo>  CODE=" + hex4(kBase1) +
                            " DATA=" + hex4(kBase2) + "\r\n");
  dir.write("demo.lin", lin_bytes(entries));
  return {"demo.sym", kDebugSymbolFile};
}

TEST_F(SymTextLoaderTest, DemoLineRecordsThroughEachKindsFilesGiveItsLines) {
  ASSERT_FALSE(demo().line_records.empty());
  const std::map<u32, u32> kept = kept_lines();
  for (const u16 kind : {1, 2, 16}) {
    SCOPED_TRACE(testing::Message() << "kind " << kind);
    reset_all();
    ScratchDir dir;
    const auto [file, type] = write_demo_files(dir, kind);
    Sw.ToolchainKind = kind;
    ASSERT_EQ(sym_load_text_map((dir.system_path() + "\\" + file).c_str(), type), kLoadDone);
    sym_sort_symbols();
    EXPECT_EQ(Lst.ListingMode, kListingSource);
    EXPECT_EQ(SymModules.ModuleCount, 1);  // crt0 has no line file

    std::map<u32, u32> first_address;  // line -> its lowest address
    for (const auto& [address, line] : kept) {
      expect_line({"DEMO.C", address, u16(line)});
      first_address.emplace(line, address);
    }
    for (const auto& [line, address] : first_address) {
      SCOPED_TRACE(testing::Message() << "line " << line);
      u16 found = 0;
      EXPECT_EQ(sym_address_from_line("DEMO.C", u16(line), found), i32(line));
      EXPECT_EQ(found, address);
      EXPECT_EQ(evaluate(".DEMO.C:" + std::to_string(line)), address);
    }
    // a function's name gives the line at its address
    EXPECT_EQ(evaluate(".main"), demo().value("_main"));
    EXPECT_EQ(evaluate(".add_point"), demo().value("_add_point"));

    EXPECT_EQ(SymFlag.CaseSensitive, type == kDebugSymbolFile ? 0 : 1);
    if (kind == 1) {
      EXPECT_EQ(Dbi.StartAddress, demo().value("start"));
    }
    if (kind == 2) {
      EXPECT_EQ(SymFlag.CodeLow, demo().value("s__CODE"));
      EXPECT_EQ(SymFlag.CodeHigh, demo().value("s__CODE") + demo().value("l__CODE"));
    }
  }
}

// --- Edge cases ----------------------------------------------------------------

TEST_F(SymTextLoaderTest, SymbolTextLayouts) {
  const std::string long_name(300, 'n');
  const struct {
    const char* what;
    u16 kind;
    u16 type;
    std::string text;
    u16 result;
    std::vector<std::pair<std::string, u32>> symbols;
  } cases[] = {
      {"plain", 16, kDebugSymbolFile, "0100 _main\n0200\t_b\n", kLoadDone, {{"_main", 0x100}, {"_b", 0x200}}},
      {"CR LF", 16, kDebugSymbolFile, "0100 _main\r\n0200 _b\r\n", kLoadDone, {{"_main", 0x100}, {"_b", 0x200}}},
      {"no final newline", 16, kDebugSymbolFile, "0100 _a\n0200 _b", kLoadDone, {{"_a", 0x100}, {"_b", 0x200}}},
      {"colon after the value", 16, kDebugSymbolFile, "0100:_a 0200: _b", kLoadDone, {{"_a", 0x100}, {"_b", 0x200}}},
      {"16-bit values", 16, kDebugSymbolFile, "123456 _a\n", kLoadDone, {{"_a", 0x3456}}},
      {"0x1A ends the file", 16, kDebugSymbolFile, "0100 _a\n\x1a" "0200 _b\n", kLoadDone, {{"_a", 0x100}}},
      {"over-long name is cut", 16, kDebugSymbolFile, "0100 " + long_name + "\n0200 _next\n", kLoadDone,
       {{long_name.substr(0, kSymTextNameMax), 0x100}, {"_next", 0x200}}},
      {"malformed value", 16, kDebugSymbolFile, "0100 _a\n12G4 _b\n", kLoadBadFormat, {{"_a", 0x100}}},
      {"value without its name", 16, kDebugSymbolFile, "0100 _a\n0200", kLoadBadFormat, {{"_a", 0x100}}},
      {"a map of kind 16 is plain too", 16, kDebugMapFile, "0100 _a\n", kLoadDone, {{"_a", 0x100}}},
      {"kind 1: after each two tabs", 1, kDebugMapFile, "head 0300 _x\n\t\t0100 _a rest\n\t\t\t0200 _b", kLoadDone,
       {{"_a", 0x100}, {"_b", 0x200}}},
      {"kind 2: after Symbol Table", 2, kDebugMapFile, "0300 _x\nSymbol Table\r\n\r\n_a  text  0100\r\n_b abs 0200",
       kLoadDone, {{"_a", 0x100}, {"_b", 0x200}}},
      {"kind 2: entry cut by the end", 2, kDebugMapFile, "Symbol Table\n_a text 0100\n_b text", kLoadBadFormat,
       {{"_a", 0x100}}},
      {"kind 2: no Symbol Table", 2, kDebugMapFile, "0100 _a\n", kLoadDone, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    dir_.write("p.txt", c.text);
    EXPECT_EQ(load("p.txt", c.type, c.kind), c.result);
    sym_sort_symbols();
    int live = 0;
    for (u16 i = 0; i < Sym.Count; ++i) live += sym_record_name(*sym_record(i))[0] != '\0';
    EXPECT_EQ(live, int(c.symbols.size()));
    for (const auto& [name, value] : c.symbols) EXPECT_EQ(symbol_value(name), value) << name;
  }
}

TEST_F(SymTextLoaderTest, MissingFileOrNameIsNoDebugInformation) {
  EXPECT_EQ(load("absent.sym", kDebugSymbolFile, 16), kLoadNoDebugInfo);
  EXPECT_EQ(sym_load_text_map("", kDebugSymbolFile), kLoadNoDebugInfo);
  EXPECT_EQ(sym_load_text_map(nullptr, kDebugMapFile), kLoadNoDebugInfo);
  const std::string too_long(kSymTextPathSize, 'x');  // never cut to another name
  EXPECT_EQ(sym_load_text_map(too_long.c_str(), kDebugSymbolFile), kLoadNoDebugInfo);
}

TEST_F(SymTextLoaderTest, TolerantLookupFindsTheUnderscoredName) {
  dir_.write("p.sym", "0100 _main\n");
  ASSERT_EQ(load("p.sym", kDebugSymbolFile, 16), kLoadDone);
  u16 value = 0;
  ASSERT_EQ(sym_lookup_value("main", value), 1);
  EXPECT_EQ(value, 0x100);
}

TEST_F(SymTextLoaderTest, ASecondLoadReplacesSymbolsOfTheSameName) {
  dir_.write("a.sym", "0100 _main\n0200 _other\n");
  dir_.write("b.sym", "0300 _main\n0400 _new\n");
  ASSERT_EQ(load("a.sym", kDebugSymbolFile, 16), kLoadDone);
  ASSERT_EQ(load("b.sym", kDebugSymbolFile, 16), kLoadDone);
  sym_sort_symbols();
  EXPECT_EQ(symbol_count("_main"), 1);
  EXPECT_EQ(symbol_value("_main"), 0x300u);
  EXPECT_EQ(symbol_value("_other"), 0x200u);
  EXPECT_EQ(symbol_value("_new"), 0x400u);
  // within one load a name is not looked for: both stay
  reset_all();
  dir_.write("c.sym", "0100 _twice\n0200 _twice\n");
  ASSERT_EQ(load("c.sym", kDebugSymbolFile, 16), kLoadDone);
  EXPECT_EQ(symbol_count("_twice"), 2);
}

TEST_F(SymTextLoaderTest, AFullTableEndsTheLoad) {
  SymStore.ChunkLimit = 0;  // the one chunk that the reset took
  std::string text;
  const std::string name(200, 'v');
  for (int i = 0; i < 6000; ++i) text += hex4(u32(i)) + " " + name + std::to_string(i) + "\n";
  dir_.write("big.sym", text);
  EXPECT_EQ(load("big.sym", kDebugSymbolFile, 16), kLoadFull);
  EXPECT_GT(Sym.Count, 0);
}

// Line files of each kind at their boundaries: which lines they give, and the
// result.
TEST_F(SymTextLoaderTest, LineFileBoundaries) {
  std::vector<std::pair<u32, u32>> seventy;  // 280 bytes: a full block and a short one
  for (u32 i = 0; i < 70; ++i) seventy.emplace_back(0x1000 + 2 * i, i + 1);
  const std::vector<std::pair<u32, u32>> sixty_four(seventy.begin(), seventy.begin() + 64);
  const std::string kind16_map = "Module  <a>  CODE=8000 DATA=4000\r\n";
  const std::string long_module(300, 'm');
  using Files = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* what;
    u16 kind;
    Files files;
    u16 result;
    std::vector<LineAt> lines;
    std::vector<u32> no_lines;
  } cases[] = {
      {"kind 16: selector 01 adds the first base", 16,
       Files{{"p.map", kind16_map},
             {"a.lin", lin_bytes({{0x0010, 0x4000 | 25}, {0x0020, 0x8000 | 26}, {0x0030, 0xC000 | 27}})}},
       kLoadDone, {{"A.C", 0x8010, 25}, {"A.C", 0x4020, 26}, {"A.C", 0x0030, 27}}, {0x0010, 0x0020}},
      {"kind 16: a short last block is used", 16, Files{{"p.map", kind16_map}, {"a.lin", lin_bytes(seventy)}},
       kLoadDone, {{"A.C", 0x1000, 1}, {"A.C", 0x107E, 64}, {"A.C", 0x1080, 65}, {"A.C", 0x108A, 70}}, {0x108C}},
      {"kind 16: exactly one full block", 16, Files{{"p.map", kind16_map}, {"a.lin", lin_bytes(sixty_four)}},
       kLoadDone, {{"A.C", 0x107E, 64}}, {0x1080}},
      {"kind 16: a partial last entry is ignored", 16,
       Files{{"p.map", kind16_map}, {"a.lin", lin_bytes({{0x100, 1}, {0x104, 2}}, "\x08\x01\x03")}}, kLoadDone,
       {{"A.C", 0x104, 2}}, {0x108}},
      {"kind 16: module without its .lin, name too long", 16,
       Files{{"p.map", "Module  <gone>  CODE=0 DATA=0\nModule  <" + long_module + ">  CODE=0 DATA=0\n" + kind16_map},
             {"a.lin", lin_bytes({{0x100, 1}})}},
       kLoadDone, {{"A.C", 0x100, 1}}, {}},
      {"kind 16: malformed base", 16,
       Files{{"p.map", "Module  <a>  CODE=80G0 DATA=0\n"}, {"a.lin", lin_bytes({{0x100, 1}})}},
       kLoadBadFormat, {}, {0x100}},
      {"kind 16: bases missing", 16, Files{{"p.map", "Module  <a>  CODE=8000\n"}, {"a.lin", lin_bytes({{0x100, 1}})}},
       kLoadBadFormat, {}, {0x100}},
      {"kind 2: line 0 and line 40000 are left out", 2,
       Files{{"p.map", "Machine type is Z80\nx\\a.obj text 0100\n"},
             {"a.lin", lin_bytes({{0x10, 0}, {0x12, 40000}, {0x14, 32767}, {0x16, 5}})}},
       kLoadDone, {{"A.C", 0x114, 32767}, {"A.C", 0x116, 5}}, {0x110, 0x112}},
      {"kind 2: map without Symbol Table still gives modules", 2,
       Files{{"p.map", "Machine type is Z80\r\n\r\nA.OBJ  text  0200\r\nB.OBJ  text  0300\r\nend\r\nc.obj x 0400\r\n"},
             {"a.lin", lin_bytes({{0x10, 7}})}, {"b.lin", lin_bytes({{0x10, 8}})}, {"c.lin", lin_bytes({{0x10, 9}})}},
       kLoadDone, {{"A.C", 0x210, 7}, {"B.C", 0x310, 8}}, {0x410}},
      {"kind 2: without Machine type no modules", 2,
       Files{{"p.map", "a.obj text 0100\n"}, {"a.lin", lin_bytes({{0, 1}})}},
       kLoadDone, {}, {0x100}},
      {"kind 2: object file without its base", 2, Files{{"p.map", "Machine type is Z80\na.obj text\n"}},
       kLoadBadFormat, {}, {}},
      {"kind 1: CR LF, no final newline", 1, Files{{"p.map", ""}, {"p.lin", "*** a.c\r\n0100: 3\r\n0104 4"}}, kLoadDone,
       {{"A.C", 0x100, 3}, {"A.C", 0x104, 4}}, {}},
      {"kind 1: LF, two blocks", 1,
       Files{{"p.map", ""}, {"p.lin", "*** a.c\n0100: 3\n\n0102\n*** b.c\n0200 9 rest\n*\n0300 1\n"}}, kLoadDone,
       {{"A.C", 0x100, 3}, {"B.C", 0x200, 9}}, {0x102, 0x300}},
      {"kind 1: line 0, line 40000 and a huge line are left out", 1,
       Files{{"p.map", ""}, {"p.lin", "*** a.c\n0100 0\n0102 40000\n0104 4294967304\n0106 7\n"}}, kLoadDone,
       {{"A.C", 0x106, 7}}, {0x100, 0x102, 0x104}},
      {"kind 1: malformed address", 1, Files{{"p.map", ""}, {"p.lin", "*** a.c\n0100 1\n01G0: 3\n0104 5\n"}},
       kLoadBadFormat, {{"A.C", 0x100, 1}}, {0x104}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    ScratchDir dir;
    for (const auto& [name, bytes] : c.files) dir.write(name, bytes);
    Sw.ToolchainKind = c.kind;
    if (c.kind == 16) dir.write("p.sym", "");
    const std::string file = dir.system_path() + (c.kind == 16 ? "\\p.sym" : "\\p.map");
    EXPECT_EQ(sym_load_text_map(file.c_str(), c.kind == 16 ? kDebugSymbolFile : kDebugMapFile), c.result);
    sym_sort_symbols();
    for (const LineAt& at : c.lines) expect_line(at);
    for (const u32 address : c.no_lines) expect_no_line(address);
  }
}

// The scan restarts inside a partial match.
TEST_F(SymTextLoaderTest, ScanForFindsTextAfterAPartialMatch) {
  const struct {
    const char* text;
    const char* wanted;
    u16 result;
    u8 next;
  } cases[] = {
      {"Module Module  <x>", "Module  <", 0, 'x'},
      {"**** A", "*** ", 0, 'A'},
      {"\t\t\t1", "\t\t", 0, '\t'},
      {"Symbol Tabl", "Symbol Table", 1, 0x1A},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    dir_.write("scan.txt", c.text);
    sym_reader_reset();
    SymText.Handle = sup_file_open(path("scan.txt"), kFileModeRead);
    ASSERT_NE(SymText.Handle, -1);
    EXPECT_EQ(sym_scan_for(c.wanted), c.result);
    EXPECT_EQ(sym_read_char(SymText.Handle), c.next);
    if (!SymSource.AtEnd) sup_file_close(SymText.Handle);
    SymText.Handle = -1;
  }
}

}  // namespace
