// The software-breakpoint table: BP, BE, BD, BC, BL and BS as a user types
// them, the address texts, and the planting and removal of the break
// instruction around a run against a booted simulated target.
#include "halv80/engine/brk_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

const std::string kMsg0 = sjis("\n アドレス指定が誤りです");
const std::string kMsg1 = sjis("\n データ指定が誤りです");
const std::string kMsg2 = sjis("\n コマンドのフォーマットが不正です");
const std::string kMsg13 = sjis("\n 指定された設定がありません");
const std::string kMsg14 = sjis("\n ブレーク ポイントが設定できません（最大１５ポイント）");
const std::string kMsg34 = sjis("\n コマンド エラー");
const std::string kMsg45 = sjis("\n デバッグ情報領域がいっぱいです（起動時の－Ｂオプション参照）");
const std::string kMsg125 = sjis("\n ターゲット実行中は使用できません");
const std::string kMsg133 = sjis("\n モニタ領域です");
const std::string kListHeader = "\nNO E/D Address\t      Pass\t\t    Command";

// The used entries in slot order as "number:E|D address,pass[,command]",
// blank-separated; checks that the used count matches the states.
std::string table_text() {
  std::string out;
  u16 used = 0;
  for (u16 slot = 0; slot < kBreakSlots; ++slot) {
    const BreakEntry& e = Brk.Slots[slot];
    if (e.state == kBreakFree) continue;
    ++used;
    char row[64];
    sup_sprintf(row, "%d:%c%lX,%u", slot + 1, (e.state & kBreakEnabled) ? 'E' : 'D', e.address, e.pass_count);
    if (!out.empty()) out += ' ';
    out += row;
    if (e.command != kNoName) {
      char text[kCommandLineSize];
      sym_name_text(e.command, text, sizeof text);
      out += ',';
      out += text;
    }
  }
  EXPECT_EQ(used, Brk.UsedCount);
  return out;
}

std::string saved_text() {
  std::string text(kSymPageSize, '\0');
  text.resize(sym_store_copy(SymStore.SavedBreakpoints, reinterpret_cast<u8*>(text.data()), text.size()));
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// A small program's symbols and line table: _main at 1000H, sub at 1100H;
// MAIN.C line 10 at 1000H and again at 1200H, line 11 at 1004H, line 14 at
// 1010H, line 12 at 1204H.
void load_program_symbols() {
  ASSERT_EQ(sym_add("_main", 0x1000, 0), 0);
  ASSERT_EQ(sym_add("sub", 0x1100, 0), 0);
  ASSERT_EQ(sym_begin_module("MAIN.C"), 0);
  for (const auto& [line, address] : {std::pair{10u, 0x1000u}, {11u, 0x1004u}, {14u, 0x1010u}, {10u, 0x1200u}, {12u, 0x1204u}})
    ASSERT_EQ(sym_add_line(line, address), 0);
  sym_end_module();
  sym_sort_symbols();
}

// Commands typed through the scripted window side, with no emulator behind.
class BrkCommandTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_init();
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start();
  }
  void TearDown() override {
    ws_.reset();
    sym_init();
    EngineTest::TearDown();
  }
  // The pane's text that typing `line` added: the echo, the output, the prompt.
  std::string typed(std::string_view line) {
    return ws_->Typed(line);
  }
  std::unique_ptr<ScriptedWindowSide> ws_;
};

TEST_F(BrkCommandTest, BpSetsReplacesAndDeletes) {
  const struct {
    const char* line;
    const char* table;
  } steps[] = {
      {"BP 1000", "1:E1000,1"},
      {"BP 2000,5", "1:E1000,1 2:E2000,5"},
      {"BP 1000,3,R", "1:E1000,3,R 2:E2000,5"},  // same address: same slot, new count and command
      {"BD 1", "1:D1000,3,R 2:E2000,5"},
      {"BP 1000,10", "1:E1000,10 2:E2000,5"},     // decimal count; enabled again, command gone
      {"BP 3000,,DB 100", "1:E1000,10 2:E2000,5 3:E3000,1,DB 100"},
      {"BP 1000,$10", "1:E1000,16 2:E2000,5 3:E3000,1,DB 100"},
      {"BP 2000,0", "1:E1000,16 3:E3000,1,DB 100"},
      {"BP 4000,0", "1:E1000,16 3:E3000,1,DB 100"},  // nothing there: nothing happens
      {"BP 3000,65536", "1:E1000,16"},                 // low 16 bits 0: deleted
      {"BP 5000", "1:E1000,16 2:E5000,1"},             // the first free slot
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    EXPECT_EQ(typed(s.line), std::string(s.line) + "\n>");
    EXPECT_EQ(table_text(), s.table);
  }
}

TEST_F(BrkCommandTest, BpRefusesBadOperandsAndARunningTarget) {
  typed("BP 1000,2");
  const struct {
    u16 running;
    const char* line;
    const std::string& message;
  } cases[] = {
      {0, "BP 'A", kMsg2},       {0, "BP 1000,5 7", kMsg1}, {0, "BP 1000 5", kMsg1},
      {0, "BP 1000,", kMsg2},    {0, "BP 1000,'x", kMsg2},  {1, "BP 2000", kMsg125},
      {1, "BE *", kMsg125},      {1, "BC 1", kMsg125},      {1, "BS", kMsg125},
      {1, "BL", kMsg125},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    ::Run.ExecutionState = c.running;
    EXPECT_EQ(typed(c.line), c.line + c.message + "\n>");
    EXPECT_EQ(table_text(), "1:E1000,2");
  }
  // the list needs no stopped target
  EXPECT_EQ(typed("BP"), "BP" + kListHeader + "\n 1  E  1000" + std::string(10, ' ') + "    2 " + std::string(15, ' ') + " : \n>");
}

TEST_F(BrkCommandTest, SixtyFourthBreakpointIsRefused) {
  for (u32 i = 0; i < kBreakSlots; ++i) brk_set(0x100 * i, 1, false);
  EXPECT_EQ(Brk.UsedCount, kBreakSlots);
  EXPECT_EQ(typed("BP 9000"), "BP 9000" + kMsg14 + "\n>");
  EXPECT_EQ(typed("BP 100,4"), "BP 100,4\n>");  // a present address is still replaced
  EXPECT_EQ(Brk.Slots[1].pass_count, 4);
  EXPECT_EQ(Brk.UsedCount, kBreakSlots);
  EXPECT_FALSE(brk_temporary_add(0x9000));  // G's stop address finds no slot either
  EXPECT_EQ(Brk.TemporarySlot, kNoSlot);
  EXPECT_EQ(Brk.UsedCount, kBreakSlots);
}

TEST_F(BrkCommandTest, EnableDisableClearTakeUsedNumbersOrStar) {
  typed("BP 1000");
  typed("BP 2000");
  typed("BP 3000");
  typed("BC 2");
  const struct {
    const char* line;
    bool refused;
    const char* table;
  } steps[] = {
      {"BE 0", true, "1:E1000,1 3:E3000,1"},
      {"BE 64", true, "1:E1000,1 3:E3000,1"},
      {"BD 2", true, "1:E1000,1 3:E3000,1"},      // a free slot
      {"BD 1,3,1", true, "1:E1000,1 3:E3000,1"},  // more numbers than used entries
      {"BD", true, "1:E1000,1 3:E3000,1"},
      {"BD 1 3", true, "1:E1000,1 3:E3000,1"},
      {"BD 1,3", false, "1:D1000,1 3:D3000,1"},
      {"be *", false, "1:E1000,1 3:E3000,1"},
      {"BD ,3", false, "1:E1000,1 3:D3000,1"},
      {"BC 1", false, "3:D3000,1"},
      {"BC *", false, ""},
      {"BE *", false, ""},
      {"BE 1", true, ""},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    EXPECT_EQ(typed(s.line), s.line + (s.refused ? kMsg13 : "") + "\n>");
    EXPECT_EQ(table_text(), s.table);
    // a dangling comma is refused when the line is split, before BD runs
    if (std::string_view(s.line) == "BD 1 3") {
      EXPECT_EQ(typed("BD 1,"), "BD 1," + kMsg2 + "\n>");
      EXPECT_EQ(table_text(), s.table);
    }
  }
}

TEST_F(BrkCommandTest, NumberListForOtherCommandsIsBoundedByTheCallersArray) {
  const struct {
    const char* text;
    int result;
  } cases[] = {{"*", 0}, {"1,2,3", 3}, {"4", -1}, {"0", -1}, {"1,2,3,1", -1}, {" ,2", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Cmd.AbortFlag = 0;
    cmd_set_command_line(c.text);
    u16 out[3] = {};
    EXPECT_EQ(brk_parse_number_list(out, 3, 1), c.result);
  }
}

TEST_F(BrkCommandTest, ListShowsNumberStateAddressCountLabelAndCommand) {
  load_program_symbols();
  typed("BP 1000");
  typed("BP 2000,5,R 1");
  typed("BD 2");
  const std::string row1_tail = "    1 \xFF_main" + std::string(9, ' ') + " : ";
  const std::string row2_tail = "    5 " + std::string(15, ' ') + " : R 1";
  const struct {
    const char* name;
    u16 mmu;
    u16 listing;
    std::string row1_address;
    std::string row2_address;
  } cases[] = {
      {"plain", kMmuNone, 0, "1000          ", "2000          "},
      {"memory management", kMmuBank, 0, "1000(00001000) ", "2000(00002000) "},
      {"source", kMmuNone, 2, "MAIN.C:10     ", "2000          "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Cfg.MmuKind = c.mmu;
    Lst.ListingMode = c.listing;
    // the label keeps its colour start byte; its end byte is taken out
    EXPECT_EQ(typed("BP"), "BP" + kListHeader + "\n 1  E  " + c.row1_address + row1_tail + "\n 2  D  " +
                               c.row2_address + row2_tail + "\n>");
  }
}

TEST_F(BrkCommandTest, SavedTextRecreatesTheEntries) {
  typed("BP 1000");
  typed("BP 2000,5,R 1");
  typed("BD 2");
  EXPECT_EQ(typed("BS"), "BS\nSave Break Point\n>");
  EXPECT_EQ(saved_text(), "E 0x1000,1\r\nD 0x2000,5,R 1\r\n");

  typed("BC *");
  const std::string out = typed("BL");
  EXPECT_EQ(table_text(), "1:E1000,1 2:D2000,5,R 1");
  EXPECT_NE(out.find(kListHeader + "\n 1  E  1000"), std::string::npos) << out;

  // nothing to save: the saved text stays
  typed("BC *");
  EXPECT_EQ(typed("BS"), "BS\nSave Break Point" + kMsg34 + "\n>");
  EXPECT_EQ(saved_text(), "E 0x1000,1\r\nD 0x2000,5,R 1\r\n");
  SymStore.SavedBreakpoints = kNoName;
  EXPECT_EQ(typed("BL"), "BL" + kMsg34 + "\n>");
}

TEST_F(BrkCommandTest, LoadGoesOnAfterABadLineAndDisablesOnlyWhatItSet) {
  // a count of 0 deletes and must not leave its freed slot disabled; a line
  // with no address sets nothing and must not disable the one before it; the
  // last line has no CR and is not read
  const std::string text =
      "E 0x1000,1\r\nD 0x1000,0\r\nE 0x4000,2\r\nD\r\nE 'q\r\nD 0x5000,3\r\nE 0x7000,1";
  SymStore.SavedBreakpoints = sym_store_blob(text.size() + 1, text.c_str());
  typed("BL");
  EXPECT_EQ(table_text(), "1:E4000,2 2:D5000,3");
  EXPECT_EQ(Scan.ScreenOutput, 1);
}

TEST_F(BrkCommandTest, AddressTexts) {
  load_program_symbols();
  const struct {
    u32 address;
    u16 mode;
    const char* text;
  } cases[] = {
      {0x1000, 0, "_main          "},  // the exact label, 15 columns
      {0x1000, 1, "main"},             // one leading '_' dropped
      {0x1000, 2, "main (1000)"},
      {0x1010, 0, "MAIN.C:14      "},
      {0x1010, 1, ".main+4"},          // line 14 is four lines below main's line 10
      {0x1100, 1, "sub"},
      {0x1204, 1, ".MAIN.C:12"},       // sub has no source line
      {0x1005, 1, "main+0x5"},
      {0x1005, 0, "               "},
      {0x0500, 1, "0x500"},            // below every symbol
      {0x0500, 2, "0x500 (500)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address << " mode " << c.mode);
    EXPECT_EQ(brk_format_address(c.address, c.mode), c.text);
  }
}

TEST_F(BrkCommandTest, SavedTextThatWouldNotFitIsRefused) {
  const std::string command(900, 'X');
  for (u32 i = 0; i < kBreakSlots; ++i) {
    cmd_set_command_line(command);
    brk_set(0x100 * i, 1, true);
  }
  ASSERT_EQ(Brk.UsedCount, kBreakSlots);
  EXPECT_EQ(typed("BS"), "BS\nSave Break Point" + kMsg45 + "\n>");
  EXPECT_EQ(SymStore.SavedBreakpoints, kNoName);
  // half of them fit
  for (u16 slot = 32; slot < kBreakSlots; ++slot) brk_delete(slot);
  brk_save(true);
  const std::string text = saved_text();
  EXPECT_TRUE(text.starts_with("E 0x0,1," + command + "\r\nE 0x100,1,")) << text.substr(0, 40);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 32);
}

TEST_F(BrkCommandTest, BreakListChangedFollowsEveryChange) {
  const struct {
    const char* line;
    int p1;  // -1: no request
  } steps[] = {
      {"BP 1000", 1}, {"BP", -1},   {"BD 1", 0},  {"BE 1", 0},   {"BC 9", -1}, {"BS", -1},
      {"BL", 1},      {"BP 1000,0", 1}, {"BC *", 0}, {"BP 1000,", -1},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.line);
    const std::size_t before = ws_->RequestsOf(RequestCode::BreakListChanged).size();
    typed(s.line);
    const auto served = ws_->RequestsOf(RequestCode::BreakListChanged);
    ASSERT_EQ(served.size(), before + (s.p1 < 0 ? 0 : 1));
    if (s.p1 >= 0) {
      EXPECT_EQ(served.back().p1, u32(s.p1));
    }
  }
}

// A booted simulated target: addresses below 8000H are emulation ROM, 9000H
// is target RAM reached through the monitor.
class BrkTargetTest : public BootedSessionTest {
 protected:
  void SetUp() override {
    BootedSessionTest::SetUp();
    for (const u16 a : {0x1000, 0x1001, 0x1004, 0x1200, 0x2000, 0x3000, 0x9000}) tgt_write_byte(a, u8(a >> 8 ^ 0x5A));
  }
  static u8 original(u16 address) { return u8(address >> 8 ^ 0x5A); }
  std::string typed(std::string_view line) {
    return ws_->Typed(line);
  }
};

TEST_F(BrkTargetTest, ArmPlantsTheBreakInstructionAndDisarmPutsTheCodeBack) {
  for (const u8 opcode : {u8(0xFF), u8(0xD7)}) {
    SCOPED_TRACE(int(opcode));
    brk_reset();
    Cfg.BreakOpcode = opcode;
    brk_set(0x1000, 1, false);
    brk_set(0x9000, 1, false);
    brk_set(0x2000, 1, false);
    Brk.Slots[2].state = kBreakDisabled;
    brk_set(0x3000, 1, false);

    EXPECT_TRUE(brk_arm(0x3000));  // a breakpoint at the pc is not written
    EXPECT_EQ(tgt_read_byte(0x1000), opcode);
    EXPECT_EQ(tgt_read_byte(0x9000), opcode);
    for (const u16 a : {0x1001, 0x2000, 0x3000}) EXPECT_EQ(tgt_read_byte(a), original(a)) << std::hex << a;
    EXPECT_EQ(Brk.Slots[0].saved_code & 0xFF, original(0x1000));

    EXPECT_EQ(brk_disarm(0x9000, false), kBreakFinal);
    EXPECT_EQ(Brk.StopNumber, 2);
    for (const u16 a : {0x1000, 0x1001, 0x2000, 0x3000, 0x9000}) EXPECT_EQ(tgt_read_byte(a), original(a)) << std::hex << a;
    EXPECT_FALSE(brk_arm(0x4000));
    EXPECT_EQ(tgt_read_byte(0x3000), opcode);
    brk_disarm(0x4000, false);
    EXPECT_EQ(tgt_read_byte(0x3000), original(0x3000));
  }
}

TEST_F(BrkTargetTest, PassCountStopsOnTheNthPassAndIsReloaded) {
  for (const u16 count : {1, 2, 5}) {
    SCOPED_TRACE(count);
    brk_reset();
    brk_set(0x1000, count, false);
    brk_set(0x2000, 3, false);
    brk_arm(0x3000);
    brk_disarm(0x2000, false);  // the other entry counted once
    ASSERT_EQ(Brk.Slots[1].pass_count, 2);
    for (u16 pass = 1; pass < count; ++pass) {
      brk_arm(0x3000);
      ASSERT_EQ(brk_disarm(0x1000, false), kBreakGoOn) << pass;
      EXPECT_EQ(Brk.StopNumber, 0);
      EXPECT_EQ(Brk.Slots[0].pass_count, count - pass);
    }
    brk_arm(0x3000);
    EXPECT_EQ(brk_disarm(0x1000, false), kBreakFinal);
    EXPECT_EQ(Brk.StopNumber, 1);
    EXPECT_EQ(Brk.Slots[0].pass_count, count);
    EXPECT_EQ(Brk.Slots[1].pass_count, 3);
    EXPECT_EQ(tgt_read_byte(0x1000), original(0x1000));
  }
}

TEST_F(BrkTargetTest, StopsThatNoBreakpointReachedOrThatEscapeEnded) {
  const struct {
    u32 stop_pc;
    bool escape;
    u16 result;
    u16 pass_after;
  } cases[] = {
      {0x1000, false, kBreakGoOn, 4},
      {0x1000, true, kBreakFinal, 5},   // ESC on a counting hit stops with no number
      {0x4000, false, kBreakFinal, 5},  // stopped elsewhere: counts untouched
  };
  for (const auto& c : cases) {
    brk_reset();
    brk_set(0x1000, 5, false);
    brk_arm(0x3000);
    EXPECT_EQ(brk_disarm(c.stop_pc, c.escape), c.result);
    EXPECT_EQ(Brk.StopNumber, 0);
    EXPECT_EQ(Brk.Slots[0].pass_count, c.pass_after);
  }
}

TEST_F(BrkTargetTest, TemporaryBreakLeavesTheUsersBreakpointAlone) {
  const struct {
    bool temporary_first;  // the temporary entry takes a slot below the user's
    u16 user_count;
    u16 stop_number;       // the user's when its own count stopped, else the temporary's
  } cases[] = {{true, 1, 2}, {false, 1, 1}, {true, 3, 1}, {false, 3, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.temporary_first << " count " << c.user_count);
    brk_reset();
    if (c.temporary_first) brk_set(0x3000, 1, false);
    cmd_set_command_line("DB 0");
    brk_set(0x1000, c.user_count, true);
    if (c.temporary_first) brk_delete(0);
    const std::string user = table_text();
    ASSERT_TRUE(brk_temporary_add(0x1000));
    const u16 temporary = Brk.TemporarySlot;
    EXPECT_EQ(Brk.UsedCount, 2);

    brk_arm(0x4000);
    EXPECT_EQ(tgt_read_byte(0x1000), Cfg.BreakOpcode);
    EXPECT_EQ(brk_disarm(0x1000, false), kBreakFinal);
    EXPECT_EQ(tgt_read_byte(0x1000), original(0x1000));  // both saved bytes put back in reverse order
    EXPECT_EQ(Brk.TemporaryReached, 1);
    EXPECT_EQ(Brk.StopNumber, c.stop_number);
    EXPECT_EQ(Brk.TemporarySlot, kNoSlot);
    EXPECT_EQ(Brk.Slots[temporary].state, kBreakFree);
    EXPECT_EQ(table_text(), user);  // same slot, count reloaded, command kept
  }
}

TEST_F(BrkTargetTest, TemporaryBreakTakesFurtherAddressesIntoItsList) {
  brk_set(0x3000, 1, false);
  ASSERT_TRUE(brk_temporary_add(0x1000));
  ASSERT_TRUE(brk_temporary_add(0x2000));
  EXPECT_EQ(brk_find(0x1000), 1);  // no user's breakpoint: neither found nor deleted
  const BreakEntry& t = Brk.Slots[Brk.TemporarySlot];
  ASSERT_EQ(t.line_addresses.size(), 2u);
  EXPECT_EQ(t.line_addresses[0].address, 0x1000u);  // the entry's own address first
  EXPECT_EQ(t.line_addresses[1].address, 0x2000u);
  brk_arm(0x4000);
  EXPECT_EQ(tgt_read_byte(0x2000), Cfg.BreakOpcode);
  EXPECT_EQ(brk_disarm(0x2000, false), kBreakFinal);
  EXPECT_EQ(Brk.TemporaryReached, 1);
  EXPECT_EQ(Brk.UsedCount, 1);
  EXPECT_EQ(tgt_read_byte(0x2000), original(0x2000));
  // deleted after a stop it didn't cause, too
  ASSERT_TRUE(brk_temporary_add(0x1000));
  brk_arm(0x4000);
  brk_disarm(0x3000, false);
  EXPECT_EQ(Brk.TemporaryReached, 0);
  EXPECT_EQ(Brk.StopNumber, 1);
  EXPECT_EQ(table_text(), "1:E3000,1");
}

TEST_F(BrkTargetTest, SourceBreakpointArmsEveryRangeOfItsLine) {
  load_program_symbols();
  const struct {
    u16 listing;
    u32 address;
    std::vector<u32> armed;
    u16 stop_number;  // after a stop at 1200H
  } cases[] = {
      {2, 0x1000, {0x1000, 0x1200}, 1},
      {2, 0x1200, {0x1200, 0x1000}, 1},
      {2, 0x1004, {}, 0},  // a line of one address arms that address itself
      {0, 0x1000, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.address << " listing " << c.listing);
    brk_reset();
    Lst.ListingMode = c.listing;
    brk_set(c.address, 1, false);
    const BreakEntry& e = Brk.Slots[0];
    EXPECT_EQ(e.module, 0);
    std::vector<u32> armed;
    for (const BreakAddressEntry& a : e.line_addresses) armed.push_back(a.address);
    EXPECT_EQ(armed, c.armed);
    brk_arm(0x4000);
    EXPECT_EQ(tgt_read_byte(u16(c.address)), Cfg.BreakOpcode);
    for (const u32 a : c.armed) EXPECT_EQ(tgt_read_byte(u16(a)), Cfg.BreakOpcode);
    brk_disarm(0x1200, false);
    EXPECT_EQ(Brk.StopNumber, c.stop_number);
    for (const u16 a : {0x1000, 0x1004, 0x1200}) EXPECT_EQ(tgt_read_byte(a), original(a));
    // the frame closes: every address list is given back
    cmd_exit_cleanup();
    EXPECT_EQ(Brk.Slots[0].line_addresses.capacity(), 0u);
  }
  brk_reset();
  brk_set(0x2000, 1, false);
  EXPECT_EQ(Brk.Slots[0].module, kNoModule);
}

TEST_F(BrkTargetTest, MonitorAreaEndsTheCommandAndTheLoad) {
  const u32 monitor = EmuArea.Layout.monitor_code_address;
  char line[32];
  sup_sprintf(line, "BP %lx", monitor);
  EXPECT_EQ(typed(line), line + kMsg133 + "\n>");
  EXPECT_EQ(Brk.UsedCount, 0);

  char text[96];
  sup_sprintf(text, "E 0x1000,1\r\nE 0x%lx,1\r\nE 0x2000,1\r\n", monitor);
  SymStore.SavedBreakpoints = sym_store_blob(std::string_view(text).size() + 1, text);
  typed("BL");
  EXPECT_EQ(table_text(), "1:E1000,1");
  EXPECT_EQ(Scan.ScreenOutput, 1);
}

}  // namespace
