// Modules and line tables: module names (8.3 cut, case, double-byte paths),
// name matching and reselection, the rules for lines at one address and for
// repeated lines, line <-> address lookups with the line chain and the nearest
// following line, sorting by finishing, and the limits of the tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"

namespace {

using Lines = std::vector<std::pair<u32, u32>>;  // line, address

class SymModulesTest : public testing::Test {
 protected:
  void SetUp() override { reset_all(); }
  static void reset_all() {
    reset_engine_state();
    sym_init();
  }
  // Begins a module, adds its lines and ends it.
  static void add_module(const char* path, const Lines& lines) {
    ASSERT_EQ(sym_begin_module(path), 0);
    for (const auto& [line, address] : lines) ASSERT_EQ(sym_add_line(line, address), 0);
    ASSERT_EQ(sym_end_module(), 0);
  }
  static std::string module_name(u16 index) {
    const ModuleRecord* m = sym_module_record(index);
    if (m == nullptr) return "<none>";
    char text[kModuleNameSize];
    sym_name_text(m->file_name.get(), text, sizeof text);
    return text;
  }
  // The current module's records as (line, address) pairs.
  static Lines records() {
    Lines out;
    for (u32 i = 0; const LineRecord* r = sym_line_record(i); ++i)
      out.emplace_back(r->line.get(), r->address.get());
    return out;
  }
};

TEST_F(SymModulesTest, ModuleNamesAreFileNamesCutTo83AndUpperCased) {
  const struct {
    u16 long_names;
    const char* path;
    const char* name;
  } cases[] = {
      {0, "c:\\src\\verylongname.c", "VERYLONG.C"},
      {0, "longfilename.cpp", "LONGFILE.CPP"},
      {0, "x.text", "X.TEX"},
      {0, "makefile_long", "MAKEFILE"},
      {0, "abcdefg\x95\x5cx.c", "ABCDEFG.C"},      // the pair would pass 8 bytes: the name stops
      {1, "dir/verylongname.c", "VERYLONGNAME.C"},
      {1, "a:b.c", "B.C"},
      {1, "\x95\x5c" "abc.c", "\x95\x5c" "ABC.C"},  // 0x5C trail byte is no '\'
      {1, "\x83\x61x.c", "\x83\x61X.C"},             // a trail byte 'a' stays lower case
      {1, "dir\\", ""},
      {1, "d\\ab\x95", "AB\x95"},                 // a lone lead byte at the end is one unit
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    reset_all();
    Sw.LongNames = c.long_names;
    ASSERT_EQ(sym_begin_module(c.path), 0);
    EXPECT_EQ(module_name(0), c.name);
  }
}

TEST_F(SymModulesTest, FindModuleMatchesFullNamesBeforeBaseNames) {
  add_module("MAIN.C", {{1, 0x100}});
  add_module("UTIL", {{1, 0x200}});
  add_module("UTIL.C", {{1, 0x300}});

  const struct {
    const char* query;
    u16 start;
    i32 index;  // -1: not found
    u16 by_base_name;
    const char* text_after;  // the caller's buffer afterwards
  } cases[] = {
      {"MAIN.C", 0, 0, 0, "MAIN.C"},
      {"main.c", 0, 0, 0, "main.c"},
      {"MAIN", 0, 0, 0, "MAIN.C"},    // the full stored name comes back
      {"UTIL.C", 0, 2, 0, "UTIL.C"},  // the equal name wins over the base name UTIL
      {"UTIL.H", 0, 1, 1, "UTIL.H"},  // only a base-name candidate
      {"MAIN.H", 0, -1, 0, "MAIN.H"},
      {"MAIN.C", 1, -1, 0, "MAIN.C"},  // searched from module 1 on
      {"MAI", 0, -1, 0, "MAI"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    char buffer[32];
    std::strcpy(buffer, c.query);
    const ModuleRecord* m = sym_find_module(buffer, sizeof buffer, c.start);
    if (c.index < 0) {
      EXPECT_EQ(m, nullptr);
    } else {
      EXPECT_EQ(m, sym_module_record(u16(c.index)));
      EXPECT_EQ(SymModules.Current, c.index);
    }
    EXPECT_EQ(SymModules.FoundByBaseName, c.by_base_name);
    EXPECT_STREQ(buffer, c.text_after);
  }
}

TEST_F(SymModulesTest, BeginReselectsAModuleButNotABaseNameCandidate) {
  add_module("a.c", {{1, 0x100}, {2, 0x104}});
  add_module("MAIN", {{1, 0x200}});
  EXPECT_EQ(SymModules.MainModule, 1);
  EXPECT_STREQ(SymModules.MainFileName, "A.C");

  // Reselected: the lines go on where they stopped.
  ASSERT_EQ(sym_begin_module("A.C"), 0);
  EXPECT_EQ(SymModules.ModuleCount, 2);
  EXPECT_EQ(sym_add_line(3, 0x108), 0);
  EXPECT_EQ(sym_add_line(2, 0x108), 0);  // one address: the larger line 3 stays
  ASSERT_EQ(sym_end_module(), 0);
  EXPECT_EQ(sym_module_record(0)->line_count.get(), 3u);
  EXPECT_EQ(sym_module_record(0)->highest.get(), 0x108u);

  // MAIN.C finds MAIN only by its base name: a module of its own.
  ASSERT_EQ(sym_begin_module("main.c"), 0);
  EXPECT_EQ(SymModules.ModuleCount, 3);
  EXPECT_EQ(module_name(2), "MAIN.C");
  ASSERT_EQ(sym_end_module(), 0);
  EXPECT_EQ(SymModules.MainModule, 1);
}

TEST_F(SymModulesTest, LinesAtOneAddressKeepTheLargerLine) {
  const struct {
    const char* what;
    Lines added;
    Lines stored;
  } cases[] = {
      {"larger second", {{10, 0x100}, {12, 0x100}}, {{12, 0x100}}},
      {"smaller second", {{12, 0x100}, {10, 0x100}}, {{12, 0x100}}},
      {"same line again", {{10, 0x100}, {10, 0x104}}, {{10, 0x100}}},
      {"three", {{5, 0x100}, {7, 0x100}, {6, 0x100}, {8, 0x102}}, {{7, 0x100}, {8, 0x102}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    reset_all();
    add_module("T.C", c.added);
    sym_finish_modules();
    EXPECT_EQ(records(), c.stored);
  }
}

TEST_F(SymModulesTest, RepeatedLinesGetBit15OnlyWithKinds1And5) {
  const struct {
    u16 kind;
    u32 stored_repeat;
    std::vector<u16> chain;  // addresses of line 10 after the first
  } cases[] = {
      {1, 0x800A, {}},
      {5, 0x800A, {}},
      {16, 10, {0x108}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    reset_all();
    Sw.ToolchainKind = c.kind;
    add_module("R.C", {{10, 0x100}, {11, 0x104}, {10, 0x108}});
    sym_finish_modules();
    EXPECT_EQ(sym_line_record(2)->line.get(), c.stored_repeat);

    // Shown without the mark; the mark is kept for the label prefix.
    u16 line = 0;
    ASSERT_NE(sym_line_from_address(0x108, line), nullptr);
    EXPECT_EQ(line, 10);
    EXPECT_EQ(SymModules.FoundLine, c.stored_repeat);

    // A marked repeat is no part of the line's chain.
    u16 address = 0;
    ASSERT_EQ(sym_address_from_line("R.C", 10, address), 10);
    EXPECT_EQ(address, 0x100);
    std::vector<u16> chain;
    while (sym_line_chain_next(address)) chain.push_back(address);
    EXPECT_EQ(chain, c.chain);
  }
}

TEST_F(SymModulesTest, EveryStorableLineHasItsOwnRepeatMark) {
  Sw.ToolchainKind = 1;
  // lines 16,384 apart, and the highest line, are each seen once
  add_module("BIG.C", {{1, 0x100}, {16385, 0x104}, {32767, 0x108}, {32767 - 16384, 0x10C}});
  sym_finish_modules();
  EXPECT_EQ(records(), (Lines{{1, 0x100}, {16385, 0x104}, {32767, 0x108}, {16383, 0x10C}}));
}

TEST_F(SymModulesTest, LineToAddressTakesTheNextHigherLine) {
  add_module("A.C", {{10, 0x100}, {20, 0x110}, {30, 0x120}});
  add_module("EMPTY.C", {});
  sym_finish_modules();

  const struct {
    const char* file;
    u16 line;
    i32 found;
    u16 address;
  } cases[] = {
      {"A.C", 10, 10, 0x100},  {"A.C", 15, 20, 0x110}, {"A.C", 1, 10, 0x100},
      {"A.C", 30, 30, 0x120},  {"A.C", 31, kNoLine, 0}, {"A", 20, 20, 0x110},
      {"EMPTY.C", 1, kNoLine, 0}, {"B.C", 1, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << ":" << c.line);
    u16 address = 0;
    EXPECT_EQ(sym_address_from_line(c.file, c.line, address), c.found);
    EXPECT_EQ(address, c.address);
  }
}

TEST_F(SymModulesTest, LineChainVisitsEveryAddressOfTheLineOnce) {
  add_module("C.C", {{5, 0x100}, {6, 0x104}, {5, 0x108}, {7, 0x10C}, {5, 0x110}});
  sym_finish_modules();
  for (int round = 0; round < 2; ++round) {  // the second query finds the chain built
    SCOPED_TRACE(round);
    u16 address = 0;
    ASSERT_EQ(sym_address_from_line("C.C", 5, address), 5);
    EXPECT_EQ(SymModules.ChainRecord, 1u);
    std::vector<u16> all{address};
    while (sym_line_chain_next(address)) all.push_back(address);
    EXPECT_EQ(all, (std::vector<u16>{0x100, 0x108, 0x110}));
  }
  u16 address = 0;
  ASSERT_EQ(sym_address_from_line("C.C", 7, address), 7);
  EXPECT_FALSE(sym_line_chain_next(address));
}

TEST_F(SymModulesTest, AddressToLineRemembersTheNearestFollowingLine) {
  add_module("A.C", {{10, 0x100}, {20, 0x110}});
  add_module("B.C", {{5, 0x200}, {6, 0x210}});
  add_module("C.C", {{1, 0x300}, {2, 0x600}});
  add_module("D.C", {{7, 0x380}, {8, 0x500}});  // inside C's range, closer
  sym_finish_modules();

  const struct {
    u32 address;
    const char* file;  // null: no line
    u16 line;
    u16 nearest_module;
    u32 nearest_line;
  } cases[] = {
      {0x100, "A.C", 10, kNoModule, 0}, {0x110, "A.C", 20, kNoModule, 0},
      {0x600, "C.C", 2, kNoModule, 0},  {0x108, nullptr, 0, 0, 20},
      {0x201, nullptr, 0, 1, 6},        {0x400, nullptr, 0, 3, 8},
      {0x0FF, nullptr, 0, kNoModule, 0}, {0x700, nullptr, 0, kNoModule, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address);
    u16 line = 0;
    const char* file = sym_line_from_address(c.address, line);
    if (c.file == nullptr) {
      EXPECT_EQ(file, nullptr);
      EXPECT_EQ(line, 0);
    } else {
      ASSERT_NE(file, nullptr);
      EXPECT_STREQ(file, c.file);
      EXPECT_EQ(line, c.line);
    }
    EXPECT_EQ(SymModules.NearestModule, c.nearest_module);
    if (c.nearest_module != kNoModule) {
      EXPECT_EQ(SymModules.NearestLine, c.nearest_line);
    }
  }
}

TEST_F(SymModulesTest, FinishingSortsLinesAndBuildsTheIndexOnce) {
  // 600 lines in three blocks, in falling address order, then a few shuffled
  // by a fixed sequence.
  Lines lines;
  for (u32 i = 0; i < 600; ++i) lines.emplace_back(i + 1, 0x8000 - 4 * i);
  u32 seed = 1;
  for (u32 i = 599; i > 0; --i) {
    seed = seed * 1103515245 + 12345;
    std::swap(lines[i].second, lines[(seed >> 8) % (i + 1)].second);
  }
  add_module("S.C", lines);
  EXPECT_EQ(sym_module_record(0)->unsorted.get(), 1);
  EXPECT_EQ(SymFlag.ModulesNeedFinishing, 1);

  sym_finish_modules();
  EXPECT_EQ(SymFlag.ModulesNeedFinishing, 0);
  EXPECT_EQ(sym_module_record(0)->unsorted.get(), 0);
  const Lines sorted = records();
  ASSERT_EQ(sorted.size(), 600u);
  for (std::size_t i = 1; i < sorted.size(); ++i) ASSERT_LT(sorted[i - 1].second, sorted[i].second);
  for (const auto& [line, address] : lines) {  // every pair is still there
    u16 found = 0;
    ASSERT_NE(sym_line_from_address(address, found), nullptr);
    EXPECT_EQ(found, line);
  }

  // Index: one zeroed entry per 20 lines up to the highest line, 600 / 20.
  ASSERT_NE(sym_line_index_slot(29), nullptr);
  EXPECT_EQ(sym_line_index_slot(29)->get(), 0u);
  EXPECT_EQ(sym_line_index_slot(30), nullptr);
  sym_line_index_slot(3)->set(1234);
  const NameHandle index = sym_module_record(0)->line_index.get();
  sym_finish_modules();  // a built index is kept, with what it learned
  EXPECT_EQ(sym_module_record(0)->line_index.get(), index);
  EXPECT_EQ(sym_line_index_slot(3)->get(), 1234u);

  // More lines after the index was built: a larger one is built, never one
  // read past its end.
  ASSERT_EQ(sym_begin_module("S.C"), 0);
  ASSERT_EQ(sym_add_line(700, 0x9000), 0);
  ASSERT_EQ(sym_end_module(), 0);
  sym_finish_modules();
  EXPECT_NE(sym_module_record(0)->line_index.get(), index);
  ASSERT_NE(sym_line_index_slot(34), nullptr);
  EXPECT_EQ(sym_line_index_slot(34)->get(), 0u);
  EXPECT_EQ(sym_line_index_slot(35), nullptr);
}

TEST_F(SymModulesTest, LinesAreRefusedWithoutAnOpenModuleOrOutOfRange) {
  EXPECT_EQ(sym_add_line(1, 0x100), 2);  // nothing begun
  ASSERT_EQ(sym_begin_module("L.C"), 0);
  const struct {
    u32 line;
    u16 result;
  } cases[] = {{0, 2}, {32768, 2}, {0x8005, 2}, {0xFFFFFFFF, 2}, {1, 0}, {32767, 0}};
  u32 address = 0x100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(sym_add_line(c.line, address++), c.result);
  }
  ASSERT_EQ(sym_end_module(), 0);
  EXPECT_EQ(sym_add_line(5, 0x200), 2);  // ended
  EXPECT_EQ(sym_module_record(0)->line_count.get(), 2u);
  EXPECT_EQ(sym_module_record(0)->highest_line.get(), 32767u);
  EXPECT_EQ(sym_module_record(0)->index_count.get(), 32767 / 20);
}

TEST_F(SymModulesTest, TablesFillUpAtTheirLimits) {
  SymStore.ChunkLimit = kSymChunkMax;  // room for every page and block below

  // 400 blocks of 256 lines per module.
  ASSERT_EQ(sym_begin_module("BIG.C"), 0);
  for (u32 i = 0; i < kLinesPerModule; ++i) ASSERT_EQ(sym_add_line(i % 2 + 1, i), 0) << i;
  EXPECT_EQ(sym_add_line(3, kLinesPerModule), 1);
  ASSERT_EQ(sym_end_module(), 0);
  EXPECT_EQ(sym_module_record(0)->line_count.get(), kLinesPerModule);

  // 4,864 modules.
  for (std::size_t i = 1; i < kModuleLimit; ++i)
    ASSERT_EQ(sym_begin_module(("M" + std::to_string(i)).c_str()), 0) << i;
  EXPECT_EQ(SymModules.ModuleCount, kModuleLimit);
  EXPECT_EQ(sym_begin_module("ONEMORE.C"), 1);
  EXPECT_EQ(sym_begin_module("M7"), 0);  // an existing one can still be reselected
  EXPECT_EQ(sym_module_record(u16(kModuleLimit)), nullptr);
}

TEST_F(SymModulesTest, LinesStopWhenMemoryRunsOut) {
  ASSERT_GT(SymStore.ChunkCount, 0);  // the name store's work areas took the first
  SymStore.ChunkLimit = SymStore.ChunkCount - 1u;  // no chunk after the current one
  ASSERT_EQ(sym_begin_module("OUT.C"), 0);
  u32 added = 0;
  u16 result = 0;
  while (added < kLinesPerModule && (result = sym_add_line(added % 2 + 1, added)) == 0) ++added;
  EXPECT_EQ(result, 1);
  EXPECT_LT(added, kLinesPerModule);
  EXPECT_EQ(added % kLinesPerBlock, 0u);  // refused when a new block was due
  ASSERT_EQ(sym_end_module(), 0);
  EXPECT_EQ(sym_module_record(0)->line_count.get(), added);
  u16 line = 0;
  ASSERT_NE(sym_line_from_address(added - 1, line), nullptr);
  EXPECT_EQ(line, (added - 1) % 2 + 1);
}

}  // namespace
