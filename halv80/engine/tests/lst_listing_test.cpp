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
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tests/screen_text.h"
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
  // The row of the pane whose key is `address` and kind an instruction.
  static u16 instruction_row(u16 address) {
    for (u16 row = top(); row < bottom(); ++row)
      if (Lst.RowKind[row] == kRowInstruction && Lst.RowKey[row] == address) return row;
    return kNoRow;
  }
};


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
    EXPECT_EQ(screen_row_text(row), r.text);
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

  // the scroll thumb follows the top row's address
  for (const auto& [line, position] : {std::pair{"U 0", 0u}, {"U 8000", 500u}, {"U FF00", 996u}}) {
    SCOPED_TRACE(line);
    typed(line);
    const auto thumbs = ws_->RequestsOf(RequestCode::ScrollThumb);
    ASSERT_FALSE(thumbs.empty());
    EXPECT_EQ(thumbs.back().p1, 0u);
    EXPECT_EQ(thumbs.back().p2, position);
  }
}

TEST_F(ListingTest, ShowingTheProgramCounterOnScreenOnlyMovesTheHighlight) {
  poke(0x0100, Bytes(0x40, 0x00));
  ::Run.Regs.pc = 0x0104;
  typed("U 100");
  const u16 first_pc_row = instruction_row(0x0104);
  ASSERT_NE(first_pc_row, kNoRow);
  EXPECT_EQ(con_cell_attribute(5, first_pc_row), kAttrPcRow);

  ::Run.Regs.pc = 0x0106;
  Lst.ListingAddress = 0x0106;
  guarded([] { lst_show_position(nullptr, 0); });
  EXPECT_EQ(Lst.RowKey[top()], 0x0100u);  // not redrawn
  EXPECT_EQ(con_cell_attribute(5, first_pc_row), kAttrNormal);
  EXPECT_EQ(con_cell_attribute(5, instruction_row(0x0106)), kAttrPcRow);
  EXPECT_EQ(Lst.History[0].key, 0x0100u);

  // off the page: a page from the listing address
  ::Run.Regs.pc = 0x0130;
  Lst.ListingAddress = 0x0130;
  guarded([] { lst_show_position(nullptr, 0); });
  EXPECT_EQ(Lst.RowKey[top()], 0x0130u);
  EXPECT_EQ(con_cell_attribute(5, top()), kAttrPcRow);

  // nothing is painted while the overlay is current
  const std::string before = screen_row_text(top());
  poke(0x0130, {0x3E, 0x01});
  con_window_push(kAttrNormal, 0);
  guarded([] { lst_refresh(); });
  guarded([] { lst_show_position(nullptr, 0); });
  con_window_push(0, 1);
  EXPECT_EQ(screen_row_text(top()), before);
  guarded([] { lst_refresh(); });
  EXPECT_EQ(squeezed(screen_row_text(top())), "0130 3E01 LD A,01");
}

TEST_F(ListingTest, CodeRowsShowSevenBytesAndADotForLongerInstructions) {
  ASSERT_EQ(sym_add("_?ENT11_L11", 0x2000, 0), 0);
  ASSERT_EQ(sym_add("PUSHEI", 0x2100, 0), 0);
  sym_sort_symbols();
  const struct {
    u16 toolchain;
    Bytes code;
    const char* head;  // columns 0-20
    u16 length;
  } cases[] = {
      {16, {0x00}, "0100 00              ", 1},
      {16, {0xDD, 0xCB, 0x05, 0x46}, "0100 DDCB0546        ", 4},
      {16, {0xED, 0x80}, "0100 ED              ", 1},                                      // no instruction
      {3, {0xCD, 0x00, 0x20, 0x05, 0x34, 0x12}, "0100 CD002005341 2   ", 6},                // a byte and a word inline
      {1, {0xCD, 0x00, 0x21, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "0100 CD00210102030 4.", 13},  // a ten-byte real inline
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head);
    Sw.ToolchainKind = c.toolchain;
    Bytes code = c.code;
    code.resize(16, 0);
    poke(0x0100, code);
    Lst.ListingAddress = 0x0100;
    std::string row;
    guarded([&] { lst_format_code_row(true, row); });
    std::string head = c.head;
    head.erase(std::remove(head.begin(), head.end(), ' '), head.end());
    std::string got_head = row.substr(0, 21);
    EXPECT_EQ(got_head.size(), 21u);
    EXPECT_EQ(got_head[19], c.length > 7 ? '.' : ' ');
    got_head.erase(std::remove(got_head.begin(), got_head.end(), ' '), got_head.end());
    EXPECT_EQ(got_head, head);
    std::memcpy(Dis.Buffer, code.data(), kDisBufferSize);
    std::string text;
    EXPECT_EQ(dis_line(0x0100, text), c.length);
    EXPECT_EQ(row.substr(21), text);
    EXPECT_EQ(Lst.ListingAddress, 0x0100u + c.length);
  }
}

TEST_F(ListingTest, ASwitchHelpersTableIsSkippedUpToItsZeroEntryAndNeverPastFFFF) {
  ASSERT_EQ(sym_add("_?VC_SWITCH_L05", 0x2000, 0), 0);
  ASSERT_EQ(sym_add("_?VI_SWITCH_L05", 0x2100, 0), 0);
  sym_sort_symbols();
  Sw.ToolchainKind = 3;
  const struct {
    Bytes code;
    u32 next;
  } cases[] = {
      {{0xCD, 0x00, 0x20, 0x01, 0x00, 0x11, 0x02, 0x00, 0x22, 0x00, 0x00, 0x33}, 0x010C},  // 3-byte entries
      {{0xCD, 0x00, 0x21, 0x01, 0x00, 0x11, 0x11, 0x00, 0x00, 0x44, 0x44}, 0x010B},        // 4-byte entries
      {{0xCD, 0x00, 0x20, 0x00, 0x00, 0x55}, 0x0106},                                        // an empty table
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.code));
    poke(0x0100, c.code);
    Lst.ListingAddress = 0x0100;
    std::string row;
    guarded([&] { lst_format_code_row(true, row); });
    EXPECT_EQ(Lst.ListingAddress, c.next);
  }

  // memory full of FF after the call: the table ends with the address space
  Bytes ff(0x1000, 0xFF);
  ff[0] = 0xCD;
  ff[1] = 0x00;
  ff[2] = 0x20;
  poke(0xF000, ff);
  Lst.ListingAddress = 0xF000;
  std::string row;
  guarded([&] { lst_format_code_row(true, row); });
  EXPECT_GT(Lst.ListingAddress, 0xFFFFu);
  EXPECT_LE(Lst.ListingAddress, 0x10000u + 3);
  // and UX stops there
  const std::string out = typed("UX F000,FFFF");
  EXPECT_NE(out.find("F000 CD0020"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
}

TEST_F(ListingTest, UxListsLabelsAndCodeRowsIntoTheCommandPane) {
  poke(0x0100, {0x3E, 0x05, 0x06, 0x07, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  ASSERT_EQ(sym_define("START", 0x0102, 0), 0);
  const std::string out = typed("UX 100,104");
  EXPECT_NE(out.find("UX 100,104\n0100 3E05            LD\tA,05\n"), std::string::npos) << out;
  EXPECT_NE(out.find("START\xFE:\n0102 0607            LD\tB,07\n0104 00              NOP\t\n>"), std::string::npos)
      << out;
  // without an end: a pane of rows less one, then UX goes on where it stopped
  const u16 rows = u16(Con.Slots[kSlotCommand].bottom - Con.Slots[kSlotCommand].top - 1);
  const std::string more = typed("UX 104");
  EXPECT_EQ(std::count(more.begin(), more.end(), '\n'), rows + 1) << more;
  char continued[8];
  std::snprintf(continued, sizeof continued, "\n%04X ", 0x0104 + rows);
  EXPECT_EQ(typed("UX").find(continued), 2u);
  // an end below the start, and bad operands
  for (const char* line : {"UX 200,100", "UX ,0", "UX 100 200"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(typed(line), line + sjis("\n アドレス指定が誤りです") + "\n>");
  }
  // a dangling comma is refused when the line is split
  EXPECT_EQ(typed("UX 100,"), "UX 100," + sjis("\n コマンドのフォーマットが不正です") + "\n>");
}

TEST_F(ListingTest, ThePositionStackKeepsEightAndNeedsAssemblyMode) {
  // the instructions listed, as start-up leaves them: the stack works from the first prompt
  lst_set_mode(kListingAssembly);
  EXPECT_NE(typed("UEND").find(sjis("\n コマンド エラー")), std::string::npos);  // nothing pushed
  // in the source view the stack is refused
  lst_set_mode(kListingSource);
  for (const char* line : {"UPUSH", "UPOP", "UEND"})
    EXPECT_EQ(typed(line), line + sjis("\n コマンド エラー") + "\n>");
  EXPECT_EQ(Lst.StackCount, 0);
  typed("U 100");
  for (u16 i = 0; i < 9; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "U %X", 0x100 + i * 0x10);
    typed(line);
    typed("UPUSH");
  }
  ASSERT_EQ(Lst.StackCount, kListingStackSize);
  EXPECT_EQ(Lst.Stack[0], 0x0110u);  // the ninth push dropped the first
  EXPECT_EQ(Lst.Stack[7], 0x0180u);
  typed("U 500");
  typed("UEND");
  EXPECT_EQ(Lst.RowKey[top()], 0x0180u);
  EXPECT_EQ(Lst.StackCount, 8);
  typed("UPOP");
  EXPECT_EQ(Lst.StackCount, 7);
  typed("UPOP");
  EXPECT_EQ(Lst.RowKey[top()], 0x0170u);
  // UPUSH with an address pushes the shown page and lists the address
  typed("UPUSH 300");
  EXPECT_EQ(Lst.Stack[Lst.StackCount - 1], 0x0170u);
  EXPECT_EQ(Lst.RowKey[top()], 0x0300u);
}

TEST_F(ListingTest, AAssemblesLinesLabelsAndDataAndUShowsThemBack) {
  poke(0x0100, Bytes(16, 0xFF));
  typed("U 100");
  EXPECT_EQ(typed("A 100"), "A 100\n0100 \t\t\t");
  const struct {
    const char* line;
    const char* out;  // what follows the echo
  } steps[] = {
      {"LD A,5", "\r0100 3E05\n0102 \t\t\t"},
      {"LOOP:", "\n0102 \t\t\t"},  // a label; the address stays
      {"DJNZ LOOP", "\r0102 10FE\n0104 \t\t\t"},
      {"LD Q,1", "\n???\n0104 \t\t\t"},  // refused; the same address again
      {"DB 1,2,3", "\r0104 010203\n0107 \t\t\t"},
      {"dw 1234", "\r0107 3412\n0109 \t\t\t"},
      {"ORG 200", "\n0200 \t\t\t"},
      {"NOP", "\r0200 00\n0201 \t\t\t"},
      {"/109", "\n0109 \t\t\t"},
      {".", "\n>"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    EXPECT_EQ(typed(s.line), std::string(s.line) + s.out);
  }
  EXPECT_EQ(peek(0x0100, 10), (Bytes{0x3E, 0x05, 0x10, 0xFE, 0x01, 0x02, 0x03, 0x34, 0x12, 0xFF}));
  EXPECT_EQ(peek(0x0200, 1), Bytes{0x00});
  u16 loop = 0;
  ASSERT_EQ(sym_lookup_value("LOOP", loop), 1);
  EXPECT_EQ(loop, 0x0102);
  // A without an address goes on where it stopped
  EXPECT_EQ(typed("A"), "A\n0109 \t\t\t");
  typed("");

  // the code pane followed every line; U shows the same
  typed("U 100");
  const u16 t = top();
  EXPECT_EQ(screen_row_text(t), "0100 3E05            LD    A,05");
  EXPECT_EQ(screen_row_text(t + 1), "LOOP:");
  EXPECT_EQ(Lst.RowKind[t + 1], kRowLabel);
  EXPECT_EQ(squeezed(screen_row_text(t + 2)), "0102 10FE DJNZ 0102 LOOP");
}

TEST_F(ListingTest, ScrollingBackPassesLabelRowsAndStopsAtAddressZero) {
  poke(0x0100, {0x00, 0x00, 0x00, 0x00});
  ASSERT_EQ(sym_define("HERE", 0x0102, 0), 0);
  // from the instruction at 0102 up: its label, the instruction at 0101, the one at 0100
  const struct {
    u8 seed;
    u16 address;
    u8 kind;
  } steps[] = {{kRowInstruction, 0x0102, kRowLabel}, {kRowSource, 0x0101, kRowInstruction}, {kRowSource, 0x0100, kRowInstruction}};
  // a pane whose top is row 0 has no table entry above it
  for (const u16 pane_top : {1, 0}) {
    SCOPED_TRACE(pane_top);
    Con.Slots[kSlotCode].top = pane_top;
    Lst.ListingAddress = 0x0102;
    guarded([] { lst_redraw_from(kRowLabel); });  // the instruction row first: the label above it
    ASSERT_EQ(Lst.RowKind[top()], kRowInstruction);
    for (const auto& s : steps) {
      SCOPED_TRACE(s.address);
      const u8 seed = lst_rows_back(1);
      EXPECT_EQ(Lst.ListingAddress, s.address);
      EXPECT_EQ(seed, s.seed);
      guarded([seed] { lst_redraw_from(seed); });
      EXPECT_EQ(Lst.RowKey[top()], s.address);
      EXPECT_EQ(Lst.RowKind[top()], s.kind);
    }
  }
  // nothing lies above address 0
  Lst.ListingAddress = 0;
  guarded([] { lst_fill_page(); });
  const u8 seed = lst_rows_back(5);
  EXPECT_EQ(Lst.ListingAddress, 0u);
  EXPECT_EQ(seed, kRowInstruction);
}

// 64 KiB of random bytes: U page after page shows exactly the disassembler's
// own listing from 0000 to the wrap, and from anywhere in it n rows back and
// n rows forward arrive at the same row.
TEST_F(ListingTest, RandomMemoryListsAsTheDisassemblerWalksItAndScrollsBackInStep) {
  std::mt19937 random(20240611);
  Bytes image(0x10000);
  for (u8& b : image) b = u8(random());
  poke(0x0000, Bytes(image.begin(), image.begin() + kMonitorFirst));
  poke(0x8000, Bytes(image.begin() + 0x8000, image.end()));
  // the image as the target shows it, the monitor's bytes included
  for (u32 at = 0; at < 0x10000; at += 0x1000) {
    const Bytes part = peek(u16(at), 0x1000);
    std::copy(part.begin(), part.end(), image.begin() + at);
  }
  struct Row {
    u16 address;
    u16 length;
    std::string text;
  };
  std::vector<Row> reference;
  for (u32 a = 0; a < 0x10000;) {
    for (std::size_t i = 0; i < kDisBufferSize; ++i) Dis.Buffer[i] = image[(a + i) & 0xFFFF];
    std::string text;
    const u16 length = dis_line(u16(a), text);
    reference.push_back({u16(a), length, text});
    a += length;
  }

  typed("U 0");
  std::size_t next = 0;
  bool wrapped = false;
  while (!wrapped) {
    for (u16 row = top(); row < bottom(); ++row) {
      if (next == reference.size()) {
        wrapped = true;  // the page went on past FFFF
        break;
      }
      const Row& r = reference[next++];
      const std::string text = screen_row_text(row);
      char head[8];
      std::snprintf(head, sizeof head, "%04X ", r.address);
      std::string bytes;
      for (u16 i = 0; i < std::min<u16>(r.length, 7); ++i) {
        char b[3];
        std::snprintf(b, sizeof b, "%02X", image[(r.address + i) & 0xFFFF]);
        bytes += b;
      }
      ASSERT_EQ(Lst.RowKey[row], r.address);
      ASSERT_EQ(text.substr(0, 5 + bytes.size()), head + bytes) << text;
      ASSERT_EQ(squeezed(text.substr(21)), squeezed(r.text)) << text;
    }
    if (!wrapped) typed("U");
  }

  for (int trial = 0; trial < 200; ++trial) {
    const std::size_t from = std::uniform_int_distribution<std::size_t>(0x100, reference.size() - 1)(random);
    const u16 n = std::uniform_int_distribution<u16>(1, u16(bottom() - top() - 1))(random);
    SCOPED_TRACE(testing::Message() << std::hex << reference[from].address << " back " << n);
    Lst.ListingAddress = reference[from].address;
    guarded([] { lst_fill_page(); });
    const u8 seed = lst_rows_back(n);
    guarded([seed] { lst_redraw_from(seed); });
    ASSERT_EQ(Lst.RowKey[top() + n], reference[from].address);
    ASSERT_EQ(Lst.RowKind[top() + n], kRowInstruction);
  }
}

TEST_F(ListingTest, HistoryKeepsTheNewestThirtyTwoPositions) {
  EXPECT_EQ(lst_history_step(0), 0);  // nothing shown yet
  poke(0x0100, Bytes(0x40, 0x00));
  ::Run.Regs.pc = 0x0108;
  for (u16 i = 0; i <= kHistoryEntries; ++i) {
    Lst.ListingAddress = 0x0100 + i;
    guarded([] { lst_fill_page(); });
    lst_history_push();
  }
  EXPECT_EQ(Lst.History[0].key, 0x0100u + kHistoryEntries);
  EXPECT_EQ(Lst.History[kHistoryEntries - 1].key, 0x0101u);
  EXPECT_EQ(lst_history_step(1), 0);  // entry 0 is the newest
  for (u16 i = 1; i < kHistoryEntries; ++i) {
    guarded([] { EXPECT_EQ(lst_history_step(0), 1); });
    EXPECT_EQ(Lst.RowKey[top()], 0x0100u + kHistoryEntries - i);
  }
  EXPECT_EQ(Lst.HistoryIndex, kHistoryEntries - 1);
  EXPECT_EQ(lst_history_step(0), 0);  // the oldest kept
  guarded([] { EXPECT_EQ(lst_history_step(1), 1); });
  EXPECT_EQ(Lst.HistoryIndex, kHistoryEntries - 2);
  // the program counter's row of that page was highlighted: it shows 32 now
  const u16 pc_row = instruction_row(0x0108);
  ASSERT_NE(pc_row, kNoRow);
  EXPECT_EQ(con_cell_attribute(0, pc_row), kAttrHistoryRow);
}

TEST_F(ListingTest, TheLineProviderEndsAfterTheListingWrapsAndWalksTheLog) {
  poke(0xFFFC, {0x00, 0x00, 0x00, 0x3E});  // the LD A,n at FFFF takes its operand from 0000
  Lst.CodeCursorMode = 1;
  Lst.ListingMode = kListingAssembly;
  ViewFields& v = Co.Request.view;
  v.provider_rows = 3;
  v.provider_row = 0;
  v.provider_address[0] = 0xFFFC;
  char line[kProviderLineSize];
  const struct {
    u16 result;
    const char* text;
  } rows[] = {{0, "FFFC 00"}, {0, "FFFD 00"}, {0, "FFFE 00"}, {0, "FFFF 3E"}, {kProviderEnd, "0001"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    EXPECT_EQ(con_window_fetch_line(line, 0), r.result);
    EXPECT_EQ(std::string(line).substr(0, std::strlen(r.text)), r.text);
    EXPECT_STREQ(Cmd.CommandLine, line);
  }
  EXPECT_EQ(v.provider_row, 2);  // the arrays slid down at their end
  EXPECT_EQ(v.provider_address[2], 0x0002u);

  // the command window: the log, from a line counted from the oldest on
  typed("PRMPT %");
  typed("?");
  Lst.CodeCursorMode = 0;
  v.log_restart = 1;
  const u16 last = u16(Log.TotalLines - 1);
  ASSERT_EQ(con_window_fetch_line(line, last), 0);
  const std::string newest = line;
  ASSERT_EQ(con_window_fetch_line(line, last - 1), 0);  // back: the line before
  const std::string before = line;
  EXPECT_NE(before, newest);
  ASSERT_EQ(con_window_fetch_line(line, last + 1), 0);  // on: the line after the last delivered
  EXPECT_EQ(line, newest);
}

class ListingTitleTest : public EngineTest {};

TEST_F(ListingTitleTest, TheTitleIsCutAtThirtyOneBytesWithoutSplittingACharacter) {
  const std::string kanji = sjis("漢");
  const struct {
    std::string file;
    std::string title;
  } cases[] = {
      {"MAIN.C", "MAIN.C"},
      {"\xFF" "MAIN.C\xFE", "MAIN.C"},
      {std::string(31, 'A'), std::string(31, 'A')},
      {std::string(40, 'A'), std::string(31, 'A')},
      {std::string(30, 'A') + kanji, std::string(30, 'A')},  // the pair would end at byte 32
      {std::string(29, 'A') + kanji, std::string(29, 'A') + kanji},
      {"", sjis("コード")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    reset_engine_state();
    lst_title(c.file.c_str());
    ASSERT_NE(Lst.CodeTitle, nullptr);
    EXPECT_EQ(std::string(Lst.CodeTitle), c.title);
  }
  Cmd.LanguageJapanese = 0;
  lst_title(nullptr);
  EXPECT_STREQ(Lst.CodeTitle, "Code");
}

TEST_F(ListingTitleTest, SideHeadersSeparateTheSideColumnAndNameItsWindows) {
  fresh_console();  // the command pane ends at row 25
  Lst.SideColumn = 150;
  Lst.LayoutChanged = 1;
  const std::string kanji = sjis("漢");
  u8* lead = &Con.Screen[3 * kScreenRowBytes + 149 * 2];
  lead[0] = u8(kanji[0]);  // a pair the separator would cut
  EXPECT_EQ(lst_side_headers(), 1);  // no symbols: the memo
  EXPECT_EQ(Lst.LayoutChanged, 0);
  for (u16 row = 0; row < kPaneBottom; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(con_screen_row(row)[150 * 2], 0);
    EXPECT_EQ(con_cell_attribute(150, row), 48);
  }
  EXPECT_EQ(lead[0], ' ');
  const auto text_at = [](u16 column, u16 row, std::size_t n) {
    std::string t;
    for (std::size_t i = 0; i < n; ++i) t += char(con_screen_row(row)[(column + i) * 2]);
    return t;
  };
  const std::string registers = sjis("レジスタ");
  const std::string memo = sjis("    メモ      ");
  EXPECT_EQ(text_at(171, 0, registers.size()), registers);
  EXPECT_EQ(text_at(168, 9, memo.size()), memo);
  EXPECT_EQ(con_cell_attribute(199, 9), 48);

  // which second window: the selection, bent by the toolchain and the symbols
  sym_init();
  ASSERT_EQ(sym_add("main", 0x100, 0), 0);
  sym_sort_symbols();
  const struct {
    u16 toolchain;
    u16 selection;
    u16 shown;
  } cases[] = {{4, 0, 0}, {4, 2, 2}, {1, 2, 3}, {2, 0, 1}, {2, 2, 2}, {16, 2, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.toolchain << " " << c.selection);
    Sw.ToolchainKind = c.toolchain;
    Lst.SideSelection = c.selection;
    EXPECT_EQ(lst_side_headers(), c.shown);
  }
  sym_init();
}

TEST_F(ListingTitleTest, CollectedLinesExpandTabsAndStayInsideTheBuffer) {
  char big[32];
  LineCollector k{big};
  for (char c : std::string("ab\tc\n\r\nd\r")) con_collect_line_char(&k, u8(c));
  EXPECT_EQ(k.lines, 2);
  EXPECT_EQ(std::string(big, k.used), std::string("ab      c\0d\0", 12));
  char small[6];
  LineCollector tight{small};
  for (char c : std::string("abcdefgh\nij\n")) con_collect_line_char(&tight, u8(c));
  EXPECT_LE(tight.used, sizeof small);
  EXPECT_EQ(small[sizeof small - 1], '\0');
}

}  // namespace
