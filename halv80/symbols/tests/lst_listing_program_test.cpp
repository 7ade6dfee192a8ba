// The code listing over a real program: the demo built by sdcc, loaded with
// its symbols and line table. Assembly pages interleave its labels and source
// lines with the disassembler's rows, source pages follow the line table, and
// scrolling back from any row arrives at it again in both modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tests/screen_text.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/tests/demo_program.h"

namespace {

using demo::file_bytes;
using demo::kSources;

std::map<u16, u16> demo_lines() { return demo::lines(); }

using demo::source_lines;


class ListingProgramTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    const std::map<u16, u16> lines = demo_lines();
    // the modules take the default source extension of toolchain kind 16
    demo::place(dir_, true, "demo.src");
    typed("L demo");
    ASSERT_EQ(Mac.LineError, 0);
    // source rows among the instructions (toolchain kind 16 shows none)
    Sw.ToolchainKind = 2;
    program_end_ = 0;
    for (const auto& [address, line] : lines) program_end_ = std::max(program_end_, address);
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  static u16 top() { return lst_pane_top(); }
  static u16 bottom() { return lst_pane_bottom(); }
  static u16 rows() { return u16(bottom() - top()); }
  static u16 value_of(std::string_view name) {
    u16 v = 0;
    return sym_lookup_value(name, v) ? v : 0xFFFF;
  }

  // The rows a listing from `start` shows, made from the disassembler, the
  // symbols and the line table: (address, kind, text).
  struct Row {
    u16 address;
    u8 kind;
    std::string text;
  };
  std::vector<Row> expected_rows(u16 start, u16 end) const {
    const std::vector<std::string> source = source_lines();
    std::vector<Row> out;
    for (u32 a = start; a < end;) {
      if (const char* label = sym_address_label(a, false)) out.push_back({u16(a), kRowLabel, std::string(label) + ":"});
      u16 line = 0;
      if (const char* file = sym_line_from_address(a, line)) {
        std::string name = file;
        const bool repeated = (SymModules.FoundLine & kLineRepeated) != 0;
        char number[16];
        std::snprintf(number, sizeof number, repeated ? ":%u:" : ":%04u:", line);
        if (!repeated && name.find('.') == std::string::npos) name += ".C";
        out.push_back({u16(a), kRowSource, name + number + (repeated ? "" : source.at(line))});
      }
      std::string text;
      tgt_read_block(std::span<u8>(Dis.Buffer, kDisBufferSize), u16(a));
      const u16 length = dis_line(u16(a), text);
      out.push_back({u16(a), kRowInstruction, text});
      a += length;
    }
    return out;
  }
  // The pane's rows as the listing shows them.
  std::vector<Row> shown_rows() const {
    std::vector<Row> out;
    for (u16 row = top(); row < bottom(); ++row) out.push_back({u16(Lst.RowKey[row]), Lst.RowKind[row], screen_row_text(row)});
    return out;
  }
  static void expect_row(const Row& shown, const Row& want) {
    SCOPED_TRACE(want.text);
    EXPECT_EQ(shown.address, want.address);
    EXPECT_EQ(shown.kind, want.kind);
    if (want.kind == kRowInstruction) {
      EXPECT_EQ(squeezed(shown.text.substr(std::min<std::size_t>(21, shown.text.size()))), squeezed(want.text));
    } else {
      EXPECT_EQ(squeezed(shown.text), squeezed(want.text));
    }
  }

  u16 program_end_ = 0;
};

TEST_F(ListingProgramTest, AssemblyPagesInterleaveLabelsAndSourceLinesWithTheDisassembly) {
  const u16 start = 0x0200;
  const std::vector<Row> want = expected_rows(start, program_end_);
  ASSERT_GT(std::count_if(want.begin(), want.end(), [](const Row& r) { return r.kind == kRowSource; }), 10);
  ASSERT_GT(std::count_if(want.begin(), want.end(), [](const Row& r) { return r.kind == kRowLabel; }), 3);
  typed("U 200");
  std::size_t next = 0;
  while (next < want.size()) {
    for (const Row& shown : shown_rows()) {
      if (next == want.size()) break;
      expect_row(shown, want[next++]);
    }
    typed("U");
  }
}

TEST_F(ListingProgramTest, ScrollingDownAPageAndBackShowsTheSameRows) {
  typed("U 200");
  const std::vector<Row> first = shown_rows();
  typed("U");
  const u8 seed = lst_rows_back(rows());
  guarded([seed] { lst_redraw_from(seed); });
  const std::vector<Row> again = shown_rows();
  ASSERT_EQ(again.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(again[i].address, first[i].address);
    EXPECT_EQ(again[i].kind, first[i].kind);
    EXPECT_EQ(again[i].text, first[i].text);
  }
}

// From any row of the program as the top, n rows back and n rows forward
// arrive at that row again: assembly rows of every kind, and source lines.
TEST_F(ListingProgramTest, BackAndForwardByTheSameCountArriveAtTheSameRow) {
  const std::vector<Row> want = expected_rows(0x0200, program_end_);
  std::mt19937 random(1234);
  for (int trial = 0; trial < 150; ++trial) {
    const Row& r = want[std::uniform_int_distribution<std::size_t>(0, want.size() - 1)(random)];
    const u16 n = std::uniform_int_distribution<u16>(1, u16(rows() - 1))(random);
    SCOPED_TRACE(testing::Message() << std::hex << r.address << " kind " << int(r.kind) << " back " << n);
    // the row as the top: the kind above it makes the generator show it
    Lst.ListingAddress = r.address;
    const u8 above = r.kind == kRowLabel ? kRowInstruction : r.kind == kRowSource ? kRowLabel : kRowSource;
    guarded([above] { lst_redraw_from(above); });
    ASSERT_EQ(Lst.RowKind[top()], r.kind);
    const u8 seed = lst_rows_back(n);
    guarded([seed] { lst_redraw_from(seed); });
    ASSERT_EQ(Lst.RowKey[top() + n], r.address);
    ASSERT_EQ(Lst.RowKind[top() + n], r.kind);
  }

  typed("V DEMO.SRC:1");
  ASSERT_EQ(Lst.ListingMode, kListingSource);
  const u16 lines = u16(source_lines().size() - 1);
  for (int trial = 0; trial < 20; ++trial) {
    const u16 line = std::uniform_int_distribution<u16>(1, lines)(random);
    const u16 n = std::uniform_int_distribution<u16>(1, u16(rows() - 1))(random);
    SCOPED_TRACE(testing::Message() << "line " << line << " back " << n);
    guarded([line] { lst_show_source_at("DEMO.SRC", line); });
    lst_rows_back(n);
    const u16 from = u16(Lst.ListingAddress);
    guarded([from] { lst_show_source_at("DEMO.SRC", from); });
    const u16 arrived = u16(line > n ? top() + n : top() + line - 1);  // never above line 1
    EXPECT_EQ(Lst.RowKey[arrived], line);
  }
}

// An address with a label and a line: label, source line and instruction, and
// one row back at a time passes through all three.
TEST_F(ListingProgramTest, ALabelASourceLineAndAnInstructionAtOneAddressScrollBackOneByOne) {
  u16 at = 0;
  for (const auto& [address, line] : demo_lines())
    if (sym_address_label(address, false) != nullptr && address > 0x0200) {
      at = address;
      break;
    }
  ASSERT_NE(at, 0);
  Lst.ListingAddress = at;
  guarded([] { lst_redraw_from(kRowInstruction); });
  ASSERT_EQ(Lst.RowKind[top()], kRowLabel);
  EXPECT_EQ(Lst.RowKind[top() + 1], kRowSource);
  EXPECT_EQ(Lst.RowKind[top() + 2], kRowInstruction);
  EXPECT_EQ(Lst.RowKey[top() + 2], at);

  Lst.ListingAddress = at;
  guarded([] { lst_redraw_from(kRowSource); });  // the instruction on top
  for (const u8 kind : {kRowSource, kRowLabel, kRowInstruction}) {
    SCOPED_TRACE(int(kind));
    const u8 seed = lst_rows_back(1);
    guarded([seed] { lst_redraw_from(seed); });
    EXPECT_EQ(Lst.RowKind[top()], kind);
    EXPECT_EQ(Lst.RowKey[top()] == at, kind != kRowInstruction);
  }
}

TEST_F(ListingProgramTest, SourcePagesFollowTheLineTable) {
  const std::vector<std::string> source = source_lines();
  const std::map<u16, u16> lines = demo_lines();
  // a breakpoint on a line, and the program counter on another
  const auto line_of = [&](u16 wanted) {
    for (const auto& [address, line] : lines)
      if (line == wanted) return address;
    return u16(0);
  };
  const u16 break_line = 19;
  const u16 pc_line = 21;
  ASSERT_NE(line_of(break_line), 0);
  ASSERT_NE(line_of(pc_line), 0);
  char bp[16];
  std::snprintf(bp, sizeof bp, "BP %X", line_of(break_line));
  typed(bp);
  ::Run.Regs.pc = line_of(pc_line);
  Lst.CodeCursorMode = 1;

  typed("V DEMO.SRC:10");
  ASSERT_EQ(Lst.ListingMode, kListingSource);
  EXPECT_STREQ(Lst.CodeTitle, "DEMO.SRC");
  for (u16 row = top(); row < bottom(); ++row) {
    const u16 line = u16(10 + row - top());
    SCOPED_TRACE(line);
    EXPECT_EQ(Lst.RowKey[row], line);
    char number[8];
    std::snprintf(number, sizeof number, "%04u ", line);
    const std::string want = line < source.size() ? number + source[line] : "";
    EXPECT_EQ(screen_row_text(row), want.substr(0, want.find_last_not_of(' ') + 1));
    if (line >= source.size()) continue;
    // the margin, the cursor mark on the first row, the breakpoint and the program counter's rows
    const u8 body = line == pc_line ? kAttrPcRow : line == break_line ? kAttrBreakRow : kAttrNormal;
    const u8 margin = line == pc_line ? kAttrPcRow : kAttrSourceMargin;
    EXPECT_EQ(con_cell_attribute(4, row), margin);
    EXPECT_EQ(con_cell_attribute(0, row), row == top() ? kAttrCursorMark : margin);
    EXPECT_EQ(con_cell_attribute(6, row), body);
  }

  // the line provider gives line n of the shown file
  char text[kProviderLineSize];
  EXPECT_EQ(con_window_fetch_line(text, 21), 0);
  EXPECT_EQ(std::string(text), source[21]);
  EXPECT_EQ(con_window_fetch_line(text, u16(source.size() + 5)), kProviderEnd);

  // the thumb: line 10 of the lines a page can start at
  EXPECT_EQ(Lst.LineCount, 34);  // the last line of main
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ScrollThumb).back().p2, 500u);  // 9 x 1000 / (34 - 16)

  // V alone shows the next page; past the end of the file message 1
  typed("V");
  EXPECT_EQ(Lst.RowKey[top()], 10u + rows());
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ScrollThumb).back().p2, 1000u);  // the last line is on the page
  EXPECT_NE(typed("V DEMO.SRC:500").find(sjis("\n データ指定が誤りです")), std::string::npos);
  EXPECT_EQ(Lst.RowKey[top()], 10u + rows());
  // a line number alone is the shown file's; a leading "." is skipped
  typed("V .12");
  EXPECT_EQ(Lst.RowKey[top()], 12u);
  // U alone after V starts at the program counter
  typed("U");
  EXPECT_EQ(Lst.PaneShows, kListingAssembly);
  EXPECT_EQ(Lst.RowKey[top()], ::Run.Regs.pc);
}

TEST_F(ListingProgramTest, VFromAssemblyShowsTheProgramCountersLineInTheCodeWindowThatAgrees) {
  u16 pc = 0;
  for (const auto& [address, line] : demo_lines())
    if (line == 21) pc = address;
  ASSERT_NE(pc, 0);
  ::Run.Regs.pc = pc;
  Lst.CodeWindowsShown = 1;
  ws_->Reply(RequestCode::MayShowPosition, [](RequestBlock& b) { b.p4 = 1; });
  typed("U 200");
  typed("V");
  EXPECT_EQ(Lst.PaneShows, kListingSource);
  EXPECT_EQ(Lst.ViewFlag, 2);
  const auto asked = ws_->RequestsOf(RequestCode::MayShowPosition);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].p1, 1u);  // another file than the one shown
  EXPECT_EQ(asked[0].p3, pc);
  EXPECT_EQ(ws_->RequestsOf(RequestCode::BringCodeWindow).size(), 1u);
  EXPECT_EQ(Lst.RowKey[top() + rows() / 3], 21u);
  EXPECT_EQ(con_cell_attribute(8, u16(top() + rows() / 3)), kAttrPcRow);
  EXPECT_EQ(Lst.History[0].key, 21u - rows() / 3);
}

TEST_F(ListingProgramTest, VOpensAFileThatIsNoModuleAndShowsPositionsAThirdDown) {
  EXPECT_NE(typed("V nosuch.c:1").find(sjis("\n 指定ファイルがオープンできません")), std::string::npos);
  EXPECT_NE(typed("V :").find(sjis("\n データ指定が誤りです")), std::string::npos);
  dir_.write("OTHER.C", "first\nsecond\nthird\n");
  const u16 modules = SymModules.ModuleCount;
  typed("V OTHER.C:2");
  EXPECT_EQ(SymModules.ModuleCount, modules + 1);
  // an array of module indexes takes no more than it holds
  u16 one[1];
  EXPECT_EQ(lst_module_indices(one), 1u);
  std::vector<u16> all(16, 0xFFFF);
  EXPECT_EQ(lst_module_indices(all), SymModules.ModuleCount);
  EXPECT_EQ(all[SymModules.ModuleCount], 0xFFFF);
  EXPECT_EQ(screen_row_text(top()), "0002 second");
  EXPECT_EQ(screen_row_text(top() + 3), "");  // past the end

  // a position in another file: its line a third of the way down
  guarded([] { lst_show_position("DEMO.SRC", 25); });
  EXPECT_STREQ(Lst.SourceFile, "DEMO.SRC");
  EXPECT_EQ(Lst.RowKey[top()], 25u - rows() / 3);
  const u16 row = u16(top() + rows() / 3);
  EXPECT_EQ(con_cell_attribute(8, row), kAttrPcRow);
  // a line on screen: only the highlight moves
  guarded([] { lst_show_position("DEMO.SRC", 27); });
  EXPECT_EQ(Lst.RowKey[top()], 25u - rows() / 3);
  EXPECT_EQ(con_cell_attribute(8, row), kAttrNormal);
  EXPECT_EQ(con_cell_attribute(8, row + 2), kAttrPcRow);
  // small lines start the page at line 1
  guarded([] { lst_show_position("DEMO.SRC", 2); });
  EXPECT_EQ(Lst.RowKey[top()], 1u);
}

}  // namespace
