// Scope records: the module and block chains, innermost and enclosing blocks,
// variables by location and by name (a local shadowing a static, an inner
// local shadowing an outer one), the labels of locations, nearest statics,
// and the count limit.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"

namespace {

ScopeRecord make_scope(u16 kind, u32 location, u16 size, std::string_view name) {
  ScopeRecord r{};
  r.kind.set(kind);
  r.location.set(location);
  r.size.set(size);
  r.link.set(0x5A5A);  // the store sets the links of modules and blocks
  r.name.set(name.empty() ? kNoName : sym_intern_name(name));
  return r;
}

class SymScopesTest : public testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
    SymFlag.CodeLow = 0x100;
    SymFlag.CodeHigh = 0x3FF;
  }
  static void add(u16 kind, u32 location, u16 size, std::string_view name = {}) {
    ASSERT_EQ(sym_add_scope(make_scope(kind, location, size, name)), 0);
  }
  // Two modules; the comment gives each record's index.
  static void add_program() {
    add(kScopeModule, 0x100, 0x200, "m1.c");     // 0
    add(kScopeStatic, 0x8000, 2, "counter");     // 1
    add(kScopeStatic, 0x8010, 16, "table");      // 2
    add(kScopeBlock, 0x100, 0x100, "f");         // 3
    add(kScopeFrame, u32(-2), 2, "x");           // 4
    add(kScopeFrame, u32(-4), 2, "y");           // 5
    add(kScopeStatic, 0x8020, 8, "counter");     // 6  f's own static
    add(kScopeBlock, 0x140, 0x40);               // 7  inner block of f
    add(kScopeFrame, u32(-6), 2, "x");           // 8  shadows f's x
    add(kScopeRegister, 3, 1, "r");              // 9
    add(kScopeBlockEnd, 0, 0);                   // 10
    add(kScopeBlockEnd, 0, 0);                   // 11
    add(kScopeBlock, 0x200, 0x100, "g");         // 12
    add(kScopeFrame, u32(-2), 2, "z");           // 13
    add(kScopeRegister, 4, 1, "z");              // 14 a second z in the same block
    add(kScopeBlockEnd, 0, 0);                   // 15
    add(kScopeModule, 0x300, 0x100, "m2.c");     // 16
    add(kScopeStatic, 0x9000, 2, "other");       // 17
    add(kScopeStatic, 0x9002, 2, "BIG");         // 18
    add(kScopeBlock, 0x300, 0x80, "h");          // 19
    add(kScopeBlockEnd, 0, 0);                   // 20
  }
};

TEST_F(SymScopesTest, ModulesAndBlocksAreChainedAsTheyAreAdded) {
  add_program();
  const struct {
    u16 index;
    u16 link;
  } cases[] = {
      {0, 17},  // module: index + 1 of the next module
      {16, 0},
      {3, 7},   // block: index of the next block of the same module
      {7, 12},
      {12, 0},  // the last block of m1 does not lead into m2
      {19, 0},
      {4, 0x5A5A},  // other records keep what they were given
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    ASSERT_NE(sym_scope_record(c.index), nullptr);
    EXPECT_EQ(sym_scope_record(c.index)->link.get(), c.link);
  }
  EXPECT_EQ(sym_scope_record(21), nullptr);
}

TEST_F(SymScopesTest, InnermostBlockAndTheBlocksAroundIt) {
  add_program();
  const struct {
    u32 address;
    std::vector<u16> blocks;  // innermost outward, as index + 1
  } cases[] = {
      {0x150, {8, 4}},  // inner block, then f
      {0x17F, {8, 4}},
      {0x180, {4}},     // past the inner block: f alone
      {0x100, {4}},
      {0x250, {13}},
      {0x340, {20}},
      {0x390, {}},      // in m2, in no block
      {0x0FF, {}},      // below the code range
      {0x400, {}},      // above it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address);
    std::vector<u16> blocks;
    for (u16 b = sym_innermost_scope(c.address); b != 0 && blocks.size() < 10; b = sym_next_block(b))
      blocks.push_back(b);
    EXPECT_EQ(blocks, c.blocks);
  }
  // The range of the last block found is left for the caller.
  ASSERT_EQ(sym_innermost_scope(0x150), 8);
  EXPECT_EQ(SymScopes.RangeLow, 0x140u);
  EXPECT_EQ(SymScopes.RangeHigh, 0x180u);
  ASSERT_EQ(sym_next_block(8), 4);
  EXPECT_EQ(SymScopes.RangeLow, 0x100u);
  EXPECT_EQ(SymScopes.RangeHigh, 0x200u);

  EXPECT_EQ(sym_find_scope(0, kScopeModule, 0x350), 17);
  SymFlag.DatabaseFull = 1;  // a half-loaded database answers nothing
  EXPECT_EQ(sym_find_scope(0, kScopeModule, 0x350), 0);
  EXPECT_EQ(sym_innermost_scope(0x150), 0);
}

TEST_F(SymScopesTest, BlocksOutOfAddressOrderAreFoundOnlyWithKind5) {
  add(kScopeModule, 0x100, 0x200, "m.c");
  add(kScopeBlock, 0x200, 0x100, "late");
  add(kScopeBlockEnd, 0, 0);
  add(kScopeBlock, 0x100, 0x100, "early");
  add(kScopeBlockEnd, 0, 0);
  for (const u16 kind : {u16(16), u16(5)}) {
    SCOPED_TRACE(kind);
    Sw.ToolchainKind = kind;
    EXPECT_EQ(sym_innermost_scope(0x150), kind == 5 ? 4 : 0);
    EXPECT_EQ(sym_innermost_scope(0x250), 2);
  }
}

TEST_F(SymScopesTest, NamesResolveFromTheInnermostBlockOutward) {
  add_program();
  const struct {
    const char* name;
    u32 address;
    u16 local;   // record index, 0 none
    u16 stat;    // sym_find_static
  } cases[] = {
      {"x", 0x150, 8, 0},         // the inner x shadows f's
      {"x", 0x120, 4, 0},
      {"y", 0x150, 5, 0},         // found in the enclosing block
      {"r", 0x120, 0, 0},         // the inner block's register is out of scope here
      {"counter", 0x150, 6, 1},   // f's static shadows the module's
      {"table", 0x150, 0, 2},     // a module static is no local
      {"z", 0x250, 14, 0},        // the last match in a block wins
      {"x", 0x250, 0, 0},
      {"other", 0x120, 0, 0},     // another module's static
      {"other", 0x310, 0, 17},
      {"BIG", 0x390, 0, 18},      // outside every block the module's statics still count
      {"big", 0x390, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " at " << std::hex << c.address);
    EXPECT_EQ(sym_find_local(c.name, c.address), c.local);
    EXPECT_EQ(sym_find_static(c.name, c.address), c.stat);
  }
}

TEST_F(SymScopesTest, StaticNamesAreUpperCasedForKind16WithoutCase) {
  add_program();
  const struct {
    u16 kind;
    u16 case_flag;
    u16 found;
  } cases[] = {{16, 0, 18}, {16, 1, 0}, {1, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kind << "/" << c.case_flag);
    Sw.ToolchainKind = c.kind;
    SymFlag.CaseSensitive = c.case_flag;
    EXPECT_EQ(sym_find_static("big", 0x310), c.found);
  }
}

TEST_F(SymScopesTest, VariablesByLocationAndTheirLabels) {
  add_program();
  const struct {
    u32 code;
    u32 location;
    u16 mode;
    u16 found;  // index + 1
    const char* label;
  } cases[] = {
      {0x150, 0x8020, kFindStatic, 7, "counter"},
      {0x150, 0x8024, kFindStatic, 7, "counter+4"},  // nearest below
      {0x150, 0x8000, kFindStatic, 0, nullptr},      // module statics are not in a block
      {0x150, u32(-6), kFindFrame, 9, "x"},
      {0x150, u32(-5), kFindFrame, 9, "x+1"},        // -6 lies below -5, -4 above
      {0x150, u32(-2), kFindFrame, 5, "x"},          // f's x, through the enclosing block
      {0x120, u32(-6), kFindFrame, 0, nullptr},
      {0x150, 3, 3, 10, "r"},                        // register 3
      {0x150, 4, 4, 0, nullptr},
      {0x250, 4, 4, 15, "z"},
      {0x390, 0x9000, kFindStatic, 0, nullptr},      // no block here
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code << " " << c.location << " mode " << std::dec
                                    << c.mode);
    EXPECT_EQ(sym_find_variable_at(c.code, c.location, c.mode), c.found);
    const char* label = sym_location_label(c.code, c.location, c.mode);
    if (c.label == nullptr) {
      EXPECT_EQ(label, nullptr);
    } else {
      EXPECT_STREQ(label, c.label);
    }
  }
}

TEST_F(SymScopesTest, NearestStaticOfTheModule) {
  add_program();
  const struct {
    u32 address;
    u32 code;
    u16 found;  // record index
  } cases[] = {
      {0x8000, 0x120, 1}, {0x8005, 0x120, 1}, {0x8015, 0x120, 2},
      {0x8030, 0x150, 2},  // f's own static at 0x8020 lies inside a block
      {0x7FFF, 0x120, 0}, {0x9003, 0x310, 18}, {0x9001, 0x390, 17},
      {0x9001, 0x050, 0},  // a code address in no module
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address << " from " << c.code);
    EXPECT_EQ(sym_nearest_static(c.address, c.code), c.found);
  }
}

TEST_F(SymScopesTest, TheCountStopsBelowTheLastU16Index) {
  const ScopeRecord item = make_scope(kScopeOther, 0, 2, "v");
  for (u32 i = 0; i < kScopeLimit; ++i) ASSERT_EQ(sym_add_scope(item), 0) << i;
  EXPECT_EQ(sym_add_scope(item), 1);
  EXPECT_EQ(sym_add_scope(make_scope(kScopeModule, 0, 1, "m")), 1);
  EXPECT_EQ(SymScopes.ScopeCount, kScopeLimit);
  EXPECT_NE(sym_scope_record(kScopeLimit - 1), nullptr);
  EXPECT_EQ(sym_scope_record(kScopeLimit), nullptr);
}

}  // namespace
