// The code window's actions over the demo program built by sdcc, loaded with
// its line table: a breakpoint toggled on a source row and on an instruction
// row, run to the cursor, the text search forward and backward through the
// window side's search request (answered by a search over the line provider,
// as the window side does), the file chooser, and the word under the cursor.
#include "halv80/engine/lst_actions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "halv80/symbols/tests/demo_program.h"

namespace {

std::string AsmText;  // what "@asmtext" found; "-" when it found nothing
u16 InspectResult = 0;  // what "@inspect" returned
std::string SelectResult;  // what "@select" gave, and whether it gave it
bool SelectFound = false;

// Lines starting with "@" run the code window's actions that the key
// handlers call; the others run as the engine runs them.
bool action_line(std::string_view line) {
  if (line == "@asmtext") {
    if (!lst_asm_text_at_cursor(AsmText)) AsmText = "-";
  } else if (line == "@select") {
    SelectFound = lst_word_at_cursor(SelectResult, kWordSelect);
  } else if (line == "@inspect") {
    InspectResult = exp_inspect_at_cursor(0);
  } else if (line == "@inspect1") {
    InspectResult = exp_inspect_at_cursor(1);
  } else if (line == "@toggle") {
    cmd_toggle_break_at_cursor();
  } else if (line == "@run") {
    cmd_run_to_cursor();
  } else if (line == "@find") {
    cmd_find_text(0);
  } else if (line == "@choose") {
    cmd_choose_source_file();
  } else if (line == "@assembly") {
    lst_toggle_mode(kListingAssembly, true);
  } else if (line == "@source") {
    lst_toggle_mode(kListingSource, true);
  } else {
    return false;
  }
  return true;
}

void action_main() { test_command_loop(action_line); }

class ActionsTest : public MemSessionTest {
 protected:
  ActionsTest() { command_main_ = action_main; }
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    demo::place(dir_, true);
    typed("L demo");
    ASSERT_EQ(Mac.LineError, 0);
    typed("BP main");
    typed("G =start,/W");
    typed("BC *");
    ASSERT_EQ(::Run.Regs.pc, value_of("_main"));
    ASSERT_EQ(Lst.PaneShows, kListingSource);
    Lst.CodeCursorMode = 1;
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  static u16 value_of(std::string_view name) {
    u16 v = 0;
    return sym_lookup_value(name, v) ? v : 0xFFFF;
  }
  // The pane row that shows source line `line`, or kNoRow.
  static u16 row_of_line(u16 line) {
    for (u16 r = lst_pane_top(); r < lst_pane_bottom(); ++r)
      if ((Lst.RowKey[r] & 0xFFFF) == line) return r;
    return kNoRow;
  }
  // The first line record at or after `line`.
  static u16 address_of_line(u16 line) {
    u16 best_line = 0xFFFF, address = 0;
    for (const auto& [a, l] : demo::lines())
      if (l >= line && l < best_line) best_line = l, address = a;
    return address;
  }
  static u16 line_of(u16 address) { return demo::lines().at(address); }
  static u8 attribute(u16 row, u16 column) { return con_cell_attribute(column, row); }

  // The window side's search: the provider's lines from P3 on (source: line
  // numbers; assembly: rows), forward or backward, for `needle`.
  void answer_search_with(std::string needle, bool backward) {
    ws_->Reply(RequestCode::SearchText, [needle, backward](RequestBlock& b) {
      ViewFields& v = b.view;
      char buffer[1024];
      const bool source = (b.p1 & kSearchSource) != 0;
      if ((b.p1 & kSearchCommandWindow) != 0) {  // the log, from line P3 backward
        v.log_restart = 1;
        for (long n = long(b.p3); n >= 0; --n) {
          if (con_window_fetch_line(buffer, u32(n)) != 0) break;
          if (const char* hit = std::strstr(buffer, needle.c_str())) {
            v.found = 1;
            v.found_row = u32(n);
            v.found_column = u16(hit - buffer);
            v.found_end_column = u16(v.found_column + needle.size());
            return;
          }
        }
        return;
      }
      if (source) {
        for (u32 n = backward ? b.p3 - 1 : b.p3 + 1; n >= 1 && n < 2000; n = backward ? n - 1 : n + 1) {
          if (con_window_fetch_line(buffer, n) != 0) break;
          if (const char* hit = std::strstr(buffer, needle.c_str())) {
            v.found = 1;
            v.found_row = n;
            v.found_column = u16(hit - buffer);
            v.found_end_column = u16(v.found_column + needle.size());
            return;
          }
        }
        return;
      }
      v.provider_row = u16(v.provider_row + 1);  // from the row after the cursor
      for (int n = 0; n < 64; ++n) {
        if (con_window_fetch_line(buffer, 0) != 0) return;
        if (const char* hit = std::strstr(buffer, needle.c_str())) {
          v.found = 1;
          v.found_column = u16(hit - buffer);
          v.found_end_column = u16(v.found_column + needle.size());
          return;
        }
      }
    });
  }
};

TEST_F(ActionsTest, ABreakpointTogglesOnASourceRowAndOnAnInstructionRow) {
  // a line of main below the program counter's
  const u16 pc_line = line_of(::Run.Regs.pc);
  const u16 line = u16(pc_line + 3);
  Lst.CursorRow = row_of_line(line);
  ASSERT_NE(Lst.CursorRow, kNoRow);
  const u16 address = address_of_line(line);

  typed("@toggle");
  ASSERT_EQ(Brk.UsedCount, 1);
  EXPECT_EQ(Brk.Slots[0].address, address);
  EXPECT_EQ(attribute(Lst.CursorRow, 10), kAttrBreakRow);
  ASSERT_FALSE(ws_->RequestsOf(RequestCode::BreakListChanged).empty());
  EXPECT_EQ(ws_->RequestsOf(RequestCode::BreakListChanged).back().p1, 1u);
  typed("@toggle");
  EXPECT_EQ(Brk.UsedCount, 0);
  EXPECT_EQ(attribute(Lst.CursorRow, 10), kAttrNormal);
  EXPECT_EQ(ws_->RequestsOf(RequestCode::BreakListChanged).back().p1, 0u);

  // the same on the instructions of that line
  typed("@assembly");
  ASSERT_EQ(Lst.PaneShows, kListingAssembly);
  EXPECT_EQ(Lst.CursorRow, lst_pane_top());
  EXPECT_EQ(Lst.RowKey[Lst.CursorRow], address);
  u16 row = u16(Lst.CursorRow + 1);
  while (row < lst_pane_bottom() && Lst.RowKind[row] != kRowInstruction) ++row;
  ASSERT_LT(row, lst_pane_bottom());
  Lst.CursorRow = row;
  typed("@toggle");
  ASSERT_EQ(Brk.UsedCount, 1);
  EXPECT_EQ(Brk.Slots[0].address, Lst.RowKey[row]);
  EXPECT_EQ(attribute(row, 10), kAttrBreakRow);
  // the text under the assembly cursor: the address, or the instruction
  // without blanks and labels
  LstAct.AsmColumn = 0;
  typed("@asmtext");
  char address_text[8];
  std::snprintf(address_text, sizeof address_text, "%04X", u16(Lst.RowKey[row]));
  EXPECT_EQ(AsmText, address_text);
  typed("U _main");
  const u16 main_row = [] {
    for (u16 r = lst_pane_top(); r < lst_pane_bottom(); ++r)
      if (Lst.RowKind[r] == kRowInstruction && Lst.RowKey[r] == 0x024B) return r;  // LD (9100 _origin),HL
    return kNoRow;
  }();
  ASSERT_NE(main_row, kNoRow);
  Lst.CursorRow = main_row;
  LstAct.AsmColumn = 21;
  typed("@asmtext");
  EXPECT_EQ(AsmText, "LD (9100),HL");
  Lst.CursorRow = row;
  // a label row has no address to break at
  for (u16 r = lst_pane_top(); r < lst_pane_bottom(); ++r) {
    if (Lst.RowKind[r] != kRowInstruction) {
      Lst.CursorRow = r;
      typed("@toggle");
      EXPECT_EQ(Brk.UsedCount, 1);
      break;
    }
  }
}

TEST_F(ActionsTest, RunToTheCursorStopsThereAndShowsIt) {
  const u16 line = u16(line_of(::Run.Regs.pc) + 3);
  Lst.CursorRow = row_of_line(line);
  ASSERT_NE(Lst.CursorRow, kNoRow);
  typed("@run");
  EXPECT_EQ(::Run.Regs.pc, address_of_line(line));
  EXPECT_EQ(Brk.UsedCount, 0);  // the temporary break is gone
  const u16 shown = row_of_line(line_of(::Run.Regs.pc));
  ASSERT_NE(shown, kNoRow);
  EXPECT_EQ(attribute(shown, 10), kAttrPcRow);

  // without a cursor there is nothing to run to
  Lst.CodeCursorMode = 0;
  ws_->errors.clear();
  typed("@run");
  EXPECT_EQ(::Run.Regs.pc, address_of_line(line));
  EXPECT_EQ(ws_->errors, std::vector<u16>{3 + kErrBusyBase});
}

TEST_F(ActionsTest, TheSearchFindsTextForwardAndBackward) {
  const u16 pc_line = line_of(::Run.Regs.pc);
  Lst.CursorRow = row_of_line(pc_line);
  // forward from main's line: the loop's call
  answer_search_with("add_point(&origin", false);
  typed("@find");
  const u16 found = u16(LstAct.LastFoundLine);
  ASSERT_GT(found, pc_line);
  EXPECT_EQ(Lst.CursorRow, row_of_line(found));
  const std::string text = demo::file_bytes(demo::kSources / "demo.c");
  // the hit is painted from its column on, after the margin
  const u16 column = u16(LstAct.LastFoundColumn + kSourceMarginCells);
  EXPECT_EQ(attribute(Lst.CursorRow, column), kAttrSearchHit);
  EXPECT_NE(attribute(Lst.CursorRow, u16(column - 1)), kAttrSearchHit);

  // backward: the function's definition above
  answer_search_with("int add_point", true);
  typed("@find");
  EXPECT_LT(LstAct.LastFoundLine, pc_line);
  EXPECT_EQ(Lst.CursorRow, row_of_line(u16(LstAct.LastFoundLine)));

  // over the instructions: the next ADD after the cursor row
  typed("@assembly");
  answer_search_with("ADD", false);
  typed("@find");
  ASSERT_NE(Lst.CursorRow, kNoRow);
  EXPECT_EQ(Lst.RowKind[Lst.CursorRow], kRowInstruction);
  std::string row;
  for (u16 c = 0; c < 60; ++c) row += char(con_screen_row(Lst.CursorRow)[c * 2]);
  EXPECT_NE(row.find("ADD"), std::string::npos) << row;

  // nothing found: nothing moves
  const u16 before = Lst.CursorRow;
  answer_search_with("no such text", false);
  typed("@find");
  EXPECT_EQ(Lst.CursorRow, before);
}

TEST_F(ActionsTest, TheSearchInTheCommandWindowBringsTheLogLineIntoView) {
  typed("R");  // a register line to find, among lines enough to scroll
  for (int i = 0; i < 40; ++i) typed("D 0,F");
  Lst.CodeCursorMode = 0;
  const u16 window = Con.Window;
  answer_search_with("S=", true);
  typed("@find");
  EXPECT_EQ(Con.Window, window);
  // the found line is in the command pane, painted from the found column on
  const u16 top = Con.Window == kSlotCommand ? Con.Top : Con.Slots[kSlotCommand].top;
  const u16 bottom = Con.Window == kSlotCommand ? Con.Bottom : Con.Slots[kSlotCommand].bottom;
  u16 hit_row = kNoRow;
  for (u16 r = top; r < bottom && hit_row == kNoRow; ++r) {
    std::string text;
    for (u16 c = 0; c < 80; ++c) text += char(con_screen_row(r)[c * 2]);
    if (text.find(" S=") == std::size_t(LstAct.LastFoundColumn) - 1) hit_row = r;
  }
  ASSERT_NE(hit_row, kNoRow) << "the register line is not in view";
  EXPECT_EQ(attribute(hit_row, LstAct.LastFoundColumn), kAttrSearchHit);
  EXPECT_NE(attribute(hit_row, u16(LstAct.LastFoundColumn + 2)), kAttrSearchHit);
  EXPECT_FALSE(Log.ViewFollowsEnd);  // the view was scrolled back to it
}

TEST_F(ActionsTest, TheFileChooserAndTheWordUnderTheCursor) {
  typed("@assembly");
  ASSERT_EQ(Lst.PaneShows, kListingAssembly);
  // one module: the chooser lists it, and a choice from assembly shows it
  ws_->Reply(RequestCode::ChooseSourceFile, [](RequestBlock& b) {
    EXPECT_EQ(b.p1 & 0xFFFF, 1u);
    b.p1 = 0;  // position 0 chosen
  });
  typed("@choose");
  EXPECT_EQ(Lst.PaneShows, kListingSource);
  EXPECT_EQ(Lst.ViewFlag, 2);

  // the word under the cursor: "origin" in the loop's call
  typed("@source");
  u16 line = 0;
  const std::string text = demo::file_bytes(demo::kSources / "demo.c");
  std::size_t at = text.find("add_point(&origin");
  ASSERT_NE(at, std::string::npos);
  for (std::size_t i = 0; i < at; ++i) line = u16(line + (text[i] == '\n'));
  ++line;
  typed("V demo.c:" + std::to_string(line));
  Lst.CursorRow = row_of_line(line);
  ASSERT_NE(Lst.CursorRow, kNoRow);
  const std::size_t line_start = text.rfind('\n', at) + 1;
  const std::size_t column = text.find("origin", at) - line_start;
  Lst.HorizontalOffset = 0;
  Lst.CursorColumn = u16(column + kSourceMarginCells);
  std::string word;
  EXPECT_TRUE(lst_word_at_cursor(word, kWordPlain));
  EXPECT_EQ(word, "origin");
  Lst.CursorColumn = u16(text.find("add_point", at) - line_start + kSourceMarginCells);
  EXPECT_TRUE(lst_word_at_cursor(word, kWordPlain));
  EXPECT_EQ(word, "add_point");
}

TEST_F(ActionsTest, TheValueOfTheWordUnderTheCursor) {
  // origin typed as the program declares it: struct point { int x; int y; }
  const TypeMember members[] = {{"x", 0x81, 0}, {"y", 0x81, 2}};
  TypeBuilder point;
  ASSERT_TRUE(point.struct_record(kKindStruct, 4, "point", members));
  ASSERT_TRUE(point.define(512));
  const u16 index = sym_find_by_name("_origin", kSymFindExact);
  ASSERT_NE(index, 0);
  sym_record(u16(index - 1))->type.set(512);
  const u16 origin = value_of("_origin");
  tgt_write_word(origin, 5);
  tgt_write_word(u16(origin + 2), 0xFFF9);

  // the cursor on "origin" in the loop's call
  const std::string text = demo::file_bytes(demo::kSources / "demo.c");
  const std::size_t at = text.find("add_point(&origin");
  ASSERT_NE(at, std::string::npos);
  const u16 line = u16(std::count(text.begin(), text.begin() + long(at), '\n') + 1);
  typed("V demo.c:" + std::to_string(line));
  Lst.CursorRow = row_of_line(line);
  ASSERT_NE(Lst.CursorRow, kNoRow);
  const std::size_t line_start = text.rfind('\n', at) + 1;
  Lst.HorizontalOffset = 0;
  Lst.CursorColumn = u16(text.find("origin", at) - line_start + kSourceMarginCells);

  // form 0: the row and the expression go to the window side's value window
  typed("@inspect");
  ASSERT_EQ(ws_->RequestsOf(RequestCode::ShowValue).size(), 1u);
  // beside the cursor
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ShowValue)[0].p1, Lst.CursorColumn);
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ShowValue)[0].p2, Lst.CursorRow);
  EXPECT_EQ(Co.Request.p3_ptr, ExpShow.Request.Text);
  EXPECT_EQ(Co.Request.p4_ptr, ExpShow.Request.Expression);
  char address[8];
  std::snprintf(address, sizeof address, "%04X", origin);
  EXPECT_EQ(std::string(ExpShow.Request.Text), std::string(" (struct point )origin = @") + address + " {x=5,y=FFF9}");
  EXPECT_STREQ(ExpShow.Request.Expression, "origin");
  EXPECT_EQ(ExpShow.Request.Kind, 3);  // a struct, of two members
  EXPECT_EQ(ExpShow.Request.Count, 2u);
  EXPECT_EQ(InspectResult, 255);

  // form 1: the status line
  Cmd.Radix = 10;
  typed("@inspect1");
  EXPECT_EQ(std::string(Sup.MessageLine), std::string(" (struct point )origin = @") + address + " {x=5,y=-7}");
  EXPECT_EQ(Cmd.Radix, 10);

  // on a blank there is no word: error 2 of kind 1
  Lst.CursorColumn = u16(kSourceMarginCells + text.find_first_not_of(" \t", line_start) - line_start - 1);
  ws_->errors.clear();
  typed("@inspect");
  EXPECT_EQ(InspectResult, 0);
  EXPECT_EQ(ws_->errors.size(), 1u);
}

}  // namespace

namespace {

std::string picked(u32 handle) {
  char text[64]{};
  if (handle != 0) sym_name_text(handle, text, sizeof text);
  return text;
}

TEST_F(ActionsTest, TheWordPickerSizesTheSelectionAndActsOnIt) {
  constexpr u16 kLeft = 0x3B, kRight = 0x3C, kF3 = 0x64;
  const std::string text = demo::file_bytes(demo::kSources / "demo.c");
  const std::size_t at = text.find("add_point(&origin");
  ASSERT_NE(at, std::string::npos);
  const u16 line = u16(std::count(text.begin(), text.begin() + long(at), '\n') + 1);
  typed("V demo.c:" + std::to_string(line));
  Lst.CursorRow = row_of_line(line);
  ASSERT_NE(Lst.CursorRow, kNoRow);
  Lst.HorizontalOffset = 0;
  const u16 first = u16(text.find("origin", at) - (text.rfind('\n', at) + 1) + kSourceMarginCells);
  Lst.CursorColumn = first;
  const u8 before = attribute(Lst.CursorRow, first);

  // one character at the cursor, three more to the right, one back: "orig"
  typed("@select");
  EXPECT_EQ(attribute(Lst.CursorRow, first), kAttrPcRow);
  EXPECT_NE(attribute(Lst.CursorRow, u16(first + 1)), kAttrPcRow);
  for (u16 key : {kRight, kRight, kRight, kRight, kLeft}) ws_->Key(0, key);
  for (u16 c = first; c < first + 4; ++c) EXPECT_EQ(attribute(Lst.CursorRow, c), kAttrPcRow) << c;
  EXPECT_NE(attribute(Lst.CursorRow, u16(first + 4)), kAttrPcRow);
  ws_->Key('g');  // G gives it
  EXPECT_TRUE(SelectFound);
  EXPECT_EQ(SelectResult, "orig");
  EXPECT_EQ(picked(LstAct.LastPickedName), "orig");
  EXPECT_EQ(attribute(Lst.CursorRow, first), before);  // the row as it was

  // V shows the value on the status line and ends without a result
  typed("@select");
  for (int i = 0; i < 5; ++i) ws_->Key(0, kRight);
  ws_->Key('V');
  EXPECT_FALSE(SelectFound);
  EXPECT_STREQ(ExpShow.ExpressionBuffer, "origin");
  EXPECT_EQ(picked(LstAct.LastPickedName), "origin");
  EXPECT_TRUE(ws_->RequestsOf(RequestCode::ShowValue).empty());

  // F3 keeps the selection under its key; Esc ends and remembers nothing
  typed("@select");
  ws_->Key(0, kF3);
  EXPECT_FALSE(SelectFound);
  EXPECT_EQ(picked(LstAct.PickedNames[2]), "o");
  typed("@select");
  ws_->Key(0, kRight);
  ws_->Key(0x1B);
  EXPECT_FALSE(SelectFound);
  EXPECT_EQ(picked(LstAct.LastPickedName), "origin");
  EXPECT_EQ(attribute(Lst.CursorRow, first), before);
}

}  // namespace
