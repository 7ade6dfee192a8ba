// The symbol table: adding and hashing, lookup by name in its three modes,
// the comb sort's order (ties included), lookup by address, labels, run-time
// define and delete, the order map's shifts, the limits, and the reload reset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/tests/scratch_dir.h"

using namespace std::string_view_literals;

namespace {

class SymSymbolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
  }
  void TearDown() override {
    Co.OnCommandSide = 0;
    CoreReq.InCoreRequest = 0;
  }
};

struct Sym1 {
  const char* name;
  u32 value;
};

void add_all(std::initializer_list<Sym1> symbols) {
  for (const Sym1& s : symbols) ASSERT_EQ(sym_add(s.name, s.value, 0), 0) << s.name;
}

std::string name_of(u16 index) {
  const SymRecord* r = sym_record(index);
  return r == nullptr ? "(none)" : sym_record_name(*r);
}

// The name of the symbol that address lookup gives, or "" for none.
std::string symbol_at(u32 address) {
  const u16 found = sym_index_from_address(address);
  return found == 0 ? "" : sym_record_name(*sym_record_sorted(u16(found - 1)));
}

std::vector<u16> sorted_indexes() {
  std::vector<u16> v;
  for (u16 p = 0; p < Sym.Count; ++p) v.push_back(*sym_order_slot(p));
  return v;
}

// The first count slots hold every index once, in ascending value order.
void expect_order_sound() {
  const std::vector<u16> order = sorted_indexes();
  EXPECT_EQ(std::set<u16>(order.begin(), order.end()).size(), order.size());
  for (std::size_t p = 0; p < order.size(); ++p) {
    ASSERT_LT(order[p], Sym.Count);
    if (p > 0) {
      EXPECT_LE(sym_record(order[p - 1])->value.get(), sym_record(order[p])->value.get()) << p;
    }
  }
}

TEST_F(SymSymbolsTest, AddWritesTheRecordAndChainsTheBucket) {
  EXPECT_TRUE(sym_is_empty());
  EXPECT_EQ(sym_hash_bucket(0), nullptr);
  ASSERT_EQ(sym_add("Main", 0x1234, 7), 0);
  const SymRecord* r = sym_record(0);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->value.get(), 0x1234u);
  EXPECT_EQ(r->hit_count.get(), 0u);
  EXPECT_EQ(r->type.get(), 7u);
  EXPECT_EQ(r->saved_code.get(), kSymSavedCodeInitial);
  EXPECT_EQ(r->name.get() & 0xF0000000u, 0u);  // a short name is still stored, not packed
  EXPECT_STREQ(sym_record_name(*r), "Main");
  EXPECT_EQ(r->next.get(), 0);
  EXPECT_EQ(Sym.SortState, kSymAdded);
  EXPECT_FALSE(sym_is_empty());
  EXPECT_EQ(sym_record(1), nullptr);

  // The same letters in any case, with '_' and '@' anywhere, share the bucket.
  add_all({{"MAIN", 2}, {"_ma@in_", 3}});
  const u16 h = sym_hash_name("Main");
  EXPECT_EQ(sym_hash_name("MAIN"), h);
  EXPECT_EQ(sym_hash_name("_ma@in_"), h);
  EXPECT_EQ(*sym_hash_bucket(h), 1);
  EXPECT_EQ(sym_record(0)->next.get(), 2);
  EXPECT_EQ(sym_record(1)->next.get(), 3);
  EXPECT_EQ(sym_record(2)->next.get(), 0);
}

TEST_F(SymSymbolsTest, TheHashSkipsUnderscoreAndAt) {
  const struct {
    std::string_view name;
    u16 hash;
  } cases[] = {
      {"", 0},
      {"a", 0x41 * 17},                       // 1,105
      {"ab", 1105 + 1105 * 4 + 0x42 * 17},    // 6,647
      {"_A@b_", 6647},
      {"abcdefghijklmnop", 0xAD68},           // wraps to 16 bits many times
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.name)));
    EXPECT_EQ(sym_hash_name(c.name), c.hash);
  }
}

TEST_F(SymSymbolsTest, FindByNameInEachModeAndCase) {
  add_all({{"_main", 1}, {"start_", 2}, {"_exit", 3}, {"Loop", 4}, {"_@value", 5}, {"@@tmp", 6}});
  const struct {
    std::string_view query;
    u16 mode;
    u16 case_flag;
    u16 found;  // index + 1
  } cases[] = {
      {"main", kSymFindTolerant, 1, 1},    // a stored leading '_' is skipped
      {"_main", kSymFindTolerant, 1, 1},   // a query with '_' compares exactly
      {"@main", kSymFindTolerant, 1, 0},
      {"start", kSymFindTolerant, 1, 2},   // a stored trailing '_' where the query ends
      {"start_", kSymFindTolerant, 1, 2},
      {"star", kSymFindTolerant, 1, 0},
      {"exit", kSymFindTolerant, 1, 3},
      {"exit_", kSymFindTolerant, 1, 0},
      {"loop", kSymFindTolerant, 1, 0},    // case flag 1: the stored spelling only
      {"loop", kSymFindTolerant, 0, 4},
      {"@@tmp", kSymFindTolerant, 1, 6},
      {"", kSymFindTolerant, 1, 0},
      {"main", kSymFindExact, 1, 0},
      {"_main", kSymFindExact, 1, 1},
      {"start", kSymFindExact, 1, 0},
      {"LOOP", kSymFindExact, 0, 4},
      {"main", kSymFindIdentifier, 1, 1},  // '_' + the query
      {"value", kSymFindIdentifier, 1, 5}, // one character, '@', the query
      {"tmp", kSymFindIdentifier, 1, 6},
      {"start", kSymFindIdentifier, 1, 0},
      {"_main", kSymFindIdentifier, 1, 0},
      {"MAIN", kSymFindIdentifier, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.query << " mode " << c.mode << " case " << c.case_flag);
    SymFlag.CaseSensitive = c.case_flag;
    EXPECT_EQ(sym_find_by_name(c.query, c.mode), c.found);
  }
}

TEST_F(SymSymbolsTest, TheFirstMatchInChainOrderWins) {
  add_all({{"Main", 1}, {"MAIN", 2}, {"main", 3}});
  const struct {
    u16 case_flag;
    std::string_view query;
    u16 found;
  } cases[] = {{1, "MAIN", 2}, {1, "main", 3}, {1, "mAIN", 0}, {0, "main", 1}, {0, "MAIN", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.query << " case " << c.case_flag);
    SymFlag.CaseSensitive = c.case_flag;
    EXPECT_EQ(sym_find_by_name(c.query, kSymFindExact), c.found);
  }
}

TEST_F(SymSymbolsTest, ToolchainKind5MovesATrailingUnderscoreToTheFront) {
  const struct {
    u16 kind;
    const char* added;
    const char* stored;
  } cases[] = {
      {5, "func_", "_func"}, {5, "_var_", "_var"}, {5, "x_", "_x"}, {5, "_", "_"},
      {5, "plain", "plain"}, {16, "func_", "func_"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << " " << c.added);
    sym_reset();
    Sw.ToolchainKind = c.kind;
    ASSERT_EQ(sym_add(c.added, 0x100, 0), 0);
    EXPECT_EQ(name_of(0), c.stored);
  }
  sym_reset();
  Sw.ToolchainKind = 5;
  add_all({{"func_", 0x100}});
  EXPECT_EQ(sym_find_by_name("func", kSymFindTolerant), 1);
  EXPECT_EQ(sym_find_by_name("_func", kSymFindExact), 1);
}

TEST_F(SymSymbolsTest, LookupValueGivesTheLogicalLow16Bits) {
  add_all({{"_big", 0x12345}});
  u16 out = 0xBEEF;
  EXPECT_EQ(sym_lookup_value("big", out), 1);
  EXPECT_EQ(out, 0x2345);
  out = 0xBEEF;
  EXPECT_EQ(sym_lookup_value("small", out), 0);
  EXPECT_EQ(out, 0xBEEF);
}

TEST_F(SymSymbolsTest, SortSetsTheRangeAndTheState) {
  EXPECT_EQ(Sym.SortState, kSymJustReset);
  sym_sort_symbols();
  EXPECT_EQ(Sym.SortState, kSymSorted);
  EXPECT_EQ(Sym.Lowest, 0xFFFFFFFFu);
  EXPECT_EQ(Sym.Highest, 0u);

  add_all({{"c", 0x300}, {"none", 0xFFFFFFFF}, {"a", 0x100}, {"b", 0x200}});
  SymFlag.ModulesNeedFinishing = 1;
  sym_sort_symbols();
  EXPECT_EQ(SymFlag.ModulesNeedFinishing, 0);  // finished first
  EXPECT_EQ(Sym.SortState, kSymSorted);
  EXPECT_EQ(Sym.Lowest, 0x100u);
  EXPECT_EQ(Sym.Highest, 0x300u);  // all ones is no value
  EXPECT_EQ(sorted_indexes(), (std::vector<u16>{2, 3, 0, 1}));

  const struct {
    u32 value;
    u16 range;
  } cases[] = {{0xFF, 1}, {0x100, 0}, {0x250, 0}, {0x300, 0}, {0x301, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(sym_value_in_range(c.value), c.range);
  }
}

// Orders that the comb sort leaves, worked out by hand once: equal values are
// not kept in the order of adding, and the last symbol of a run of equal
// values is the one that address lookup gives.
TEST_F(SymSymbolsTest, TheCombSortLeavesTiesInItsOwnOrder) {
  const struct {
    std::vector<u32> values;
    std::vector<u16> order;
    std::vector<std::pair<u32, u16>> lookups;  // address -> index found
  } cases[] = {
      // gaps 2, 1: the first pass moves c before b
      {{2, 1, 1}, {2, 1, 0}, {{1, 1}, {2, 0}}},
      // gaps 4, 3, 2, 1
      {{0x200, 0x100, 0x200, 0x200, 0x100, 0x300},
       {4, 1, 2, 3, 0, 5},
       {{0x100, 1}, {0x1FF, 1}, {0x200, 0}, {0x2FF, 0}, {0x300, 5}}},
      // twelve slots: the first gap 9 is taken as 11
      {{1, 3, 3, 1, 2, 3, 2, 3, 3, 1, 3, 1},
       {0, 9, 11, 3, 4, 6, 2, 7, 8, 1, 10, 5},
       {{1, 3}, {2, 6}, {3, 5}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.values));
    sym_reset();
    for (std::size_t i = 0; i < c.values.size(); ++i)
      ASSERT_EQ(sym_add("s" + std::to_string(i), c.values[i], 0), 0);
    sym_sort_symbols();
    EXPECT_EQ(sorted_indexes(), c.order);
    for (const auto& [address, index] : c.lookups) {
      SCOPED_TRACE(address);
      const u16 found = sym_index_from_address(address);
      ASSERT_NE(found, 0);
      EXPECT_EQ(*sym_order_slot(found - 1u), index);
    }
  }
}

TEST_F(SymSymbolsTest, AddressLookupBelowBetweenEqualAndAbove) {
  add_all({{"mid", 0x2000}, {"low", 0x1000}, {"high", 0x3000}});
  sym_sort_symbols();
  const struct {
    u32 address;
    const char* name;
  } cases[] = {
      {0x0000, ""}, {0x0FFF, ""}, {0x1000, "low"}, {0x1001, "low"}, {0x1FFF, "low"},
      {0x2000, "mid"}, {0x2FFF, "mid"}, {0x3000, "high"}, {0x3001, ""}, {0xFFFF, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(symbol_at(c.address), c.name);
  }
  sym_reset();
  EXPECT_EQ(sym_index_from_address(0), 0);  // an empty table
}

TEST_F(SymSymbolsTest, AddressLabels) {
  add_all({{"start", 0x100}, {"next", 0x200}});
  sym_sort_symbols();
  sym_record(0)->saved_code.set(0x1234);
  const struct {
    u32 address;
    bool allow_offset;
    const char* label;  // null: none
    u32 base;
  } cases[] = {
      {0x100, false, "start", 0x100},
      {0x105, true, "start+5", 0x100},
      {0x1FF, true, "start+FF", 0x100},
      {0x105, false, nullptr, 0x105},  // no offsets: the base is the address itself
      {0x200, false, "next", 0x200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.address);
    Sym.LabelBase = 0xDEAD;
    const char* label = sym_address_label(c.address, c.allow_offset);
    if (c.label == nullptr) {
      EXPECT_EQ(label, nullptr);
    } else {
      ASSERT_NE(label, nullptr);
      EXPECT_STREQ(label, c.label);
    }
    EXPECT_EQ(Sym.LabelBase, c.base);
  }
  Sym.LabelSavedCode = 0;
  sym_address_label(0x100, false);
  EXPECT_EQ(Sym.LabelSavedCode, 0x1234);
  EXPECT_EQ(sym_address_label(0xFF, true), nullptr);
}

TEST_F(SymSymbolsTest, FormattedLabelsWithMarkersAndSourcePrefix) {
  const NameHandle stored = sym_intern_name("main_loop");
  const NameHandle packed = sym_intern_name("_ab");
  const struct {
    NameHandle name;
    u32 offset;
    bool with_source;
    int window;  // 0 none, 1 command side, 2 core request
    std::string_view text;
  } cases[] = {
      {stored, 0, false, 0, "main_loop"},
      {stored, 0x1A, false, 0, "main_loop+1A"},
      {stored, 0x12345, false, 0, "main_loop+2345"},
      {packed, 0, false, 0, "_ab"},
      {stored, 0x1A, false, 1, "\xFFmain_loop+1A\xFE"},
      {stored, 0, false, 2, "\xFFmain_loop\xFE"},
      {stored, 0, true, 0, "                  : 1234 main_loop"},
      {stored, 3, true, 1, "                  : 1234 \xFFmain_loop+3\xFE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.text)));
    Co.OnCommandSide = c.window == 1;
    CoreReq.InCoreRequest = c.window == 2;
    EXPECT_EQ(std::string_view(sym_format_label(c.name, c.offset, c.with_source, 0x1234)), c.text);
  }
}

TEST_F(SymSymbolsTest, TheSourcePrefixNamesTheLine) {
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  ASSERT_EQ(sym_add_line(12, 0x1234), 0);
  sym_end_module();
  add_all({{"main", 0x1234}});
  sym_sort_symbols();
  EXPECT_STREQ(sym_format_label(sym_record(0)->name.get(), 0, true, 0x1234), "MAIN.C      :  12 : 1234 main");
}

TEST_F(SymSymbolsTest, LongLabelsAreCutAndKeepTheirTail) {
  std::string wide = "x";  // then double-byte characters: a cut never halves one
  for (int i = 0; i < 200; ++i) wide += "\x82\xA0";
  const struct {
    std::string name;
    bool double_byte;
  } cases[] = {{std::string(1000, 'n'), false}, {wide, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    sym_reset();
    Co.OnCommandSide = 1;
    const NameHandle h = sym_intern_name(c.name);
    ASSERT_NE(h, kNoName);
    const std::string_view label = sym_format_label(h, 0xABCD, true, 0x1234);
    EXPECT_LT(label.size(), kSymLabelSize);
    EXPECT_TRUE(label.starts_with("                  : 1234 \xFF")) << label;
    EXPECT_TRUE(label.ends_with("+ABCD\xFE")) << label;
    const std::string_view name = label.substr(26, label.size() - 26 - 6);
    EXPECT_GT(name.size(), 200u);
    EXPECT_TRUE(std::string_view(c.name).starts_with(name));
    if (c.double_byte) {
      EXPECT_EQ(name.size() % 2, 1u);  // "x" and whole pairs
    }
  }
}

TEST_F(SymSymbolsTest, DefineIntoAnEmptyTable) {
  ASSERT_EQ(sym_define("only", 0x4000, 3), 0);
  EXPECT_EQ(Sym.Count, 1);
  EXPECT_EQ(Sym.Lowest, 0x4000u);
  EXPECT_EQ(Sym.Highest, 0x4000u);
  EXPECT_EQ(Sym.SortState, kSymSorted);
  EXPECT_EQ(symbol_at(0x4000), "only");
  EXPECT_EQ(symbol_at(0x4001), "");
}

TEST_F(SymSymbolsTest, DefineInsertsInValueOrder) {
  add_all({{"a", 0x100}, {"b", 0x200}, {"c", 0x300}});
  sym_sort_symbols();
  const struct {
    const char* name;
    u32 value;
    u32 lowest;
    u32 highest;
    u32 probe;          // an address whose symbol is now `expect`
    const char* expect;
  } steps[] = {
      {"below", 0x50, 0x50, 0x300, 0x60, "below"},
      {"between", 0x250, 0x50, 0x300, 0x2FF, "between"},
      {"tie", 0x200, 0x50, 0x300, 0x200, "tie"},  // after the symbol it equals
      {"above", 0x400, 0x50, 0x400, 0x500, ""},
      {"top", 0x400, 0x50, 0x400, 0x400, "top"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(sym_define(s.name, s.value, 0), 0);
    EXPECT_EQ(Sym.SortState, kSymSorted);
    EXPECT_EQ(Sym.Lowest, s.lowest);
    EXPECT_EQ(Sym.Highest, s.highest);
    EXPECT_EQ(symbol_at(s.probe), s.expect);
    expect_order_sound();
  }
  EXPECT_EQ(symbol_at(0x1FF), "a");
  EXPECT_EQ(symbol_at(0x24F), "tie");
}

TEST_F(SymSymbolsTest, DeleteMovesTheSymbolToTheEndAndRecomputesTheLowest) {
  add_all({{"a", 0x100}, {"b", 0x200}, {"c", 0x300}});
  sym_sort_symbols();
  EXPECT_EQ(sym_delete("nothing"), 1);
  EXPECT_EQ(sym_delete("a"), 0);
  const SymRecord* a = sym_record(0);
  EXPECT_EQ(a->value.get(), kSymDeleted);
  EXPECT_EQ(a->type.get(), kSymDeleted);
  EXPECT_STREQ(sym_record_name(*a), "");
  EXPECT_EQ(sorted_indexes(), (std::vector<u16>{1, 2, 0}));
  EXPECT_EQ(Sym.Lowest, 0x200u);
  EXPECT_EQ(symbol_at(0x100), "");
  EXPECT_EQ(symbol_at(0x2FF), "b");
  EXPECT_EQ(sym_find_by_name("a", kSymFindExact), 0);
  EXPECT_EQ(sym_delete("a"), 1);

  EXPECT_EQ(sym_delete("c"), 0);
  EXPECT_EQ(sorted_indexes(), (std::vector<u16>{1, 0, 2}));
  EXPECT_EQ(symbol_at(0x300), "b");
  // Defining above the highest goes after the last live symbol.
  ASSERT_EQ(sym_define("d", 0x500, 0), 0);
  EXPECT_EQ(sorted_indexes(), (std::vector<u16>{1, 3, 0, 2}));
  EXPECT_EQ(symbol_at(0x500), "d");
}

// A second symbol file redefines names: deletes and defines, then more plain
// adds and a sort. Every symbol added after a delete must still be found.
TEST_F(SymSymbolsTest, ASecondFileRedefiningNamesKeepsTheOrderMapWhole) {
  const struct {
    const char* scenario;
    const char* redefine;  // null: delete only
    u32 value;
  } cases[] = {
      {"delete then add", nullptr, 0},
      {"redefine between", "b", 0x250},
      {"redefine below", "b", 0x10},
      {"redefine above", "b", 0x900},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    sym_reset();
    add_all({{"a", 0x100}, {"b", 0x200}, {"c", 0x300}});
    sym_sort_symbols();
    ASSERT_EQ(sym_delete("b"), 0);
    if (c.redefine != nullptr) {
      ASSERT_EQ(sym_define(c.redefine, c.value, 0), 0);
    }
    add_all({{"d", 0x400}, {"e", 0x180}});
    sym_sort_symbols();
    expect_order_sound();
    EXPECT_EQ(symbol_at(0x100), "a");
    EXPECT_EQ(symbol_at(0x180), "e");
    EXPECT_EQ(symbol_at(0x300), "c");
    EXPECT_EQ(symbol_at(0x400), "d");
    if (c.redefine != nullptr) {
      EXPECT_EQ(symbol_at(c.value), c.redefine);
    }
  }
}

TEST_F(SymSymbolsTest, OrderShiftCrossesPageBoundaries) {
  const u32 n = kSymOrderSlotsPerPage + 2;  // two order pages
  for (u32 i = 0; i < n; ++i) ASSERT_EQ(sym_add("n" + std::to_string(i), i, 0), 0);
  ASSERT_EQ(Sym.OrderPageCount, 2);
  const u32 edge = kSymOrderSlotsPerPage - 1;
  const u32 map_end = 2 * kSymOrderSlotsPerPage - 1;
  *sym_order_slot(map_end) = 7777;

  sym_order_shift(0, edge, 42);
  EXPECT_EQ(*sym_order_slot(edge - 1), edge - 1);
  EXPECT_EQ(*sym_order_slot(edge), 42);
  EXPECT_EQ(*sym_order_slot(edge + 1), edge);      // carried into the next page
  EXPECT_EQ(*sym_order_slot(edge + 2), edge + 1);
  EXPECT_EQ(*sym_order_slot(map_end), map_end - 1);  // the old last slot dropped off

  sym_order_shift(1, edge, 0);
  for (u32 p : {edge - 1, edge, edge + 1, edge + 2}) EXPECT_EQ(*sym_order_slot(p), p) << p;
  EXPECT_EQ(*sym_order_slot(map_end), map_end - 1);  // the last slot is left as it was

  sym_order_shift(0, map_end + 1, 5);  // past the map: nothing
  EXPECT_EQ(sym_order_slot(map_end + 1), nullptr);
  EXPECT_EQ(sym_order_position(u16(edge + 1)), edge + 1);
  EXPECT_EQ(sym_order_position(u16(n + 5)), 0);  // absent
}

TEST_F(SymSymbolsTest, The65535thSymbolIsRefused) {
  char name[8];
  for (u32 i = 0; i < kSymMaxCount; ++i) {
    std::snprintf(name, sizeof name, "s%05X", i);
    ASSERT_EQ(sym_add(name, i * 4, 0), 0) << i;
  }
  EXPECT_EQ(Sym.Count, 65534);
  EXPECT_EQ(sym_add("one_more", 0, 0), 1);
  EXPECT_EQ(sym_define("one_more", 0, 0), 1);
  EXPECT_EQ(Sym.Count, 65534);
  sym_sort_symbols();
  EXPECT_EQ(sym_find_by_name("s0FFFD", kSymFindExact), 65534);
  EXPECT_EQ(sym_find_by_name("one_more", kSymFindExact), 0);
  EXPECT_EQ(symbol_at(0xFFFD * 4), "s0FFFD");
  EXPECT_EQ(symbol_at(5), "s00001");
}

TEST_F(SymSymbolsTest, ASmallChunkLimitFillsTheTable) {
  Sw.SymbolBlockLimit = 0;  // one chunk
  sym_reset();
  u32 added = 0;
  std::string name;
  for (;; ++added) {
    name = "symbol_number_" + std::to_string(added);
    if (sym_add(name, added, 0) != 0) break;
    ASSERT_LT(added, kSymMaxCount);
  }
  EXPECT_GT(added, 1000u);
  EXPECT_EQ(sym_add(name, added, 0), 1);  // still full
  EXPECT_EQ(Sym.Count, added);
  sym_sort_symbols();
  EXPECT_EQ(sym_find_by_name("symbol_number_0", kSymFindExact), 1);
  EXPECT_EQ(symbol_at(added - 1), "symbol_number_" + std::to_string(added - 1));

  Sw.SymbolBlockLimit = 4;
  sym_reset();
  EXPECT_EQ(sym_add("later", 0, 0), 0);
}

TEST_F(SymSymbolsTest, ReloadResetKeepsTheSavedBreakpointTextAndTheSavedState) {
  // the saved-state file is written to the current folder and read back
  ScratchDir dir;
  const std::filesystem::path saved_cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  struct Back {
    std::filesystem::path cwd;
    ~Back() { std::filesystem::current_path(cwd); }
  } back_to{saved_cwd};

  u8* history = sym_store_ptr(kSymWorkArea2);
  ASSERT_NE(history, nullptr);
  std::memcpy(history, "G 100\0", 6);
  Saved.HistoryWriteEnd = 6;
  Saved.HistoryNonEmpty = 1;
  Saved.DefineList[0] = sym_intern_name("#define kept_across_loads 1");

  add_all({{"a", 0x100}});
  sym_reload_reset();
  EXPECT_TRUE(sym_is_empty());
  EXPECT_EQ(SymStore.SavedBreakpoints, kNoName);

  std::string text;
  for (int i = 0; i < 300; ++i) text += "BP 1234 ";  // 2,400 bytes: two pieces
  SymStore.SavedBreakpoints = sym_store_blob(text.size(), text.data());
  ASSERT_NE(SymStore.SavedBreakpoints, kNoName);
  add_all({{"b", 0x200}});
  sym_reload_reset();
  EXPECT_TRUE(sym_is_empty());
  ASSERT_NE(SymStore.SavedBreakpoints, kNoName);
  std::string back(4000, '\0');
  back.resize(sym_store_copy(SymStore.SavedBreakpoints, reinterpret_cast<u8*>(back.data()), back.size()));
  EXPECT_EQ(back, text);
  EXPECT_EQ(Sym.SortState, kSymJustReset);

  // the history and the name lists came back into the new store
  EXPECT_EQ(std::memcmp(sym_store_ptr(kSymWorkArea2), "G 100\0", 6), 0);
  EXPECT_EQ(Saved.HistoryWriteEnd, 6);
  EXPECT_EQ(Saved.HistoryNonEmpty, 1);
  char define[64];
  ASSERT_NE(Saved.DefineList[0], kNoName);
  sym_name_text(Saved.DefineList[0], define, sizeof define);
  EXPECT_STREQ(define, "#define kept_across_loads 1");
}

}  // namespace
