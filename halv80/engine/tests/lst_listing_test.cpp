// The code listing against a booted simulated target: U pages in the code
// pane (checked cell by cell), the code row, the skip over a switch helper's
// table, UX, the position stack, A, the backward scroll over random memory,
// the history, the line provider and the title.
#include "halv80/engine/lst_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

constexpr u16 kMonitorFirst = 0x7F80;  // the monitor's bytes up to 0x7FFF: not written by the tests

class ListingTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  static u16 top() { return lst_pane_top(); }
  static u16 bottom() { return lst_pane_bottom(); }
  // The characters of a screen row, trailing blanks cut.
  static std::string row_text(u16 row) {
    const u8* cells = con_screen_row(row);
    std::string text;
    for (u16 c = 0; c < kScreenColumns; ++c) text += char(cells[c * 2] == 0 ? ' ' : cells[c * 2]);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
  }
  // Runs engine code from the test the way the window side does.
  template <class Fn>
  static void guarded(Fn&& fn) {
    ASSERT_TRUE(co_call_guarded(fn));
  }
  // The row of the pane whose key is `address` and kind an instruction.
  static u16 instruction_row(u16 address) {
    for (u16 row = top(); row < bottom(); ++row)
      if (Lst.RowKind[row] == kRowInstruction && Lst.RowKey[row] == address) return row;
    return kNoRow;
  }
};

// Blanks and tabs collapsed to one blank: the screen expands tabs, dis_line
// does not.
std::string squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

TEST_F(ListingTest, UShowsAPageWithTheProgramCounterAndBreakpointRowsPainted) {
  poke(0x0100, {0x3E, 0x05, 0x06, 0x07, 0x00, 0xC3, 0x00, 0x01});  // LD A,05  LD B,07  NOP  JP 0100
  typed("BP 104");
  ::Run.Regs.pc = 0x0102;
  typed("U 100");
  EXPECT_EQ(Lst.ListingMode, kListingAssembly);
  const struct {
    u16 address;
    const char* text;
    u8 attribute;
  } rows[] = {
      {0x0100, "0100 3E05            LD    A,05", kAttrNormal},
      {0x0102, "0102 0607            LD    B,07", kAttrPcRow},
      {0x0104, "0104 00              NOP", kAttrBreakRow},
      {0x0105, "0105 C30001          JP    0100", kAttrNormal},
  };
  u16 row = top();
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(Lst.RowKey[row], r.address);
    EXPECT_EQ(row_text(row), r.text);
    for (u16 column : {0, 21, 199}) EXPECT_EQ(con_cell_attribute(column, row), r.attribute);
    ++row;
  }
  EXPECT_EQ(Lst.RowNext[top() + 3], 0x0108u);

  // U alone goes on after the page; U . starts at the program counter
  const u32 after = Lst.RowNext[bottom() - 1];
  typed("U");
  EXPECT_EQ(Lst.RowKey[top()], after);
  typed("U .");
  EXPECT_EQ(Lst.RowKey[top()], 0x0102u);
  EXPECT_NE(typed("U 1000X").find(sjis("\n アドレス指定が誤りです")), std::string::npos);
}

}  // namespace
