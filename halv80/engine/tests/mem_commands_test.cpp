// M, F, S, C, PI and PO typed against a booted simulated target, in emulation
// ROM (written directly) and in target RAM (through the monitor).
#include "halv80/engine/mem_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "platform/device/dev_bus.h"
#include "platform/host/host_clock.h"

namespace {

using MemCommandsTest = MemSessionTest;

const std::string kAddressError = "\n アドレス指定が誤りです";
const std::string kFormatError = "\n コマンドのフォーマットが不正です";
const std::string kDataError = "\n データ指定が誤りです";

TEST_F(MemCommandsTest, FillRepeatsTheValues) {
  const struct {
    const char* line;  // at base 0; the range is base..base + 4
    Bytes written;     // from base on; the byte after it keeps 0xEE
  } cases[] = {
      {"FB %x,%x,1,2,3", {1, 2, 3, 1, 2}},
      {"FW %x,%x,1122,3344", {0x22, 0x11, 0x44, 0x33, 0x22, 0x11}},  // the last word goes whole
      {"F %x,%x,AA", {0xAA, 0xAA, 0xAA, 0xAA, 0xAA}},
      {"FW %x,%x,1234", {0x34, 0x12, 0x34, 0x12, 0x34}},  // one value: a fill of the range only
      {"F %x,%x,'ab'", {'a', 'b', 'a', 'b', 'a'}},
  };
  for (const u16 base : {0x0100, 0x8100}) {
    for (const auto& c : cases) {
      char line[64];
      std::snprintf(line, sizeof line, c.line, base, base + 4);
      SCOPED_TRACE(line);
      poke(base, Bytes(8, 0xEE));
      EXPECT_EQ(typed(line), std::string(line) + "\n>");
      Bytes expected = c.written;
      expected.resize(8, 0xEE);
      EXPECT_EQ(peek(base, 8), expected);
    }
  }
}

TEST_F(MemCommandsTest, RangeCommandsRefuseBadOperands) {
  const struct {
    const char* line;
    std::string message;
  } cases[] = {
      {"F 104,100,1", kAddressError},                          // end below start
      {"FB 100,104,'abcdefghijklmnopq'", kAddressError},       // 17 characters
      {"FB 100,104,'abc", kFormatError},                       // no closing quote: the splitter refuses it
      {"FB 100,104,1,2,3,4,5,6,7,8,9,A,B,C,D,E,F,10,11", kAddressError},  // 17 values
      {"FL 100,104,1", kAddressError},                         // a kind M, F, S and C refuse
      {"F 100,104", kAddressError},                            // no values
      {"F 100,104,", kFormatError},                            // a dangling comma, likewise
      {"S 100,104", kAddressError},
      {"M 100,104", kAddressError},
      {"M 100,104,200,300", kAddressError},
      {"C 100,104,200 X", kAddressError},
  };
  poke(0x100, Bytes(8, 0xEE));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(typed(c.line), c.line + sjis(c.message) + "\n>");
    EXPECT_EQ(peek(0x100, 8), Bytes(8, 0xEE));
  }
  // sixteen characters are the most a string holds
  typed("FB 100,10F,'abcdefghijklmnop'");
  EXPECT_EQ(peek(0x100, 16), Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p'}));
}

TEST_F(MemCommandsTest, AddressesBeyond64KiBAreRefusedNotCut) {
  // Without memory management no address operand reaches past FFFFH: each
  // is refused with the command's address message, and nothing is changed
  // at the address it would have been cut to.
  const struct {
    const char* line;
    std::string message;
  } cases[] = {
      {"EB 10000,1", kAddressError},    {"E 10000", kAddressError},       {"DB FFF0,10000", kAddressError},
      {"D 10000", kAddressError},       {"D 0,10000", kAddressError},     {"BP 10000", kAddressError},
      {"G =10000", kAddressError},      {"U 10000", kAddressError},       {"U 0,10000", kAddressError},
      {"A 10000", kAddressError},       {"M 0,1,10000", kAddressError},   {"F 10000,10001,1", kAddressError},
      {"S 0,10000,1", kAddressError},   {"C 0,1,10000", kAddressError},   {"PI 10000", kAddressError},
      {"PO 10000,1", kDataError},       {"BP -1", kAddressError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    poke(0x0000, Bytes(4, 0xEE));
    const std::string out = typed(c.line);
    EXPECT_TRUE(out.ends_with(sjis(c.message) + "\n>")) << out;
    EXPECT_EQ(peek(0x0000, 4), Bytes(4, 0xEE));
    EXPECT_EQ(Brk.UsedCount, 0);
  }
  // FFFFH itself is an address
  typed("EB FFFF,5A");
  EXPECT_EQ(peek(0xFFFF, 1), Bytes{0x5A});
}

TEST_F(MemCommandsTest, SearchReportsWholeMatchesInTheRange) {
  poke(0x100, {0x11, 0x11, 0x11, 0x11, 0x22, 0x33, 0x22, 0x33, 0x22, 0x00});
  const struct {
    const char* line;
    std::string out;
  } cases[] = {
      {"S 100,102,11,11", "\n0100 "},        // not again at 0102: the range ends before its pair
      {"SB 100,103,11,11", "\n0100 0102 "},  // after a match the search goes on behind it
      {"SW 100,109,3322", "\n0104 0106 "},
      {"S 100,109,22,33,22", "\n0104 "},
      {"S 100,109,77", sjis("\n サーチ データは見つかりません")},
      {"SW 100,100,1111", sjis("\n サーチ データは見つかりません")},  // longer than the range
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(typed(c.line), c.line + c.out + "\n>");
  }
}

TEST_F(MemCommandsTest, CompareListsTheDifferences) {
  const std::string start = sjis("\n Ｃｏｍｐａｒｅ 開始");
  const std::string ok = sjis("\n Ｃｏｍｐａｒｅ ＯＫ");
  const std::string end = sjis("\n Ｃｏｍｐａｒｅ 終了");
  Bytes bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = u8(i);
  poke(0x200, bytes);
  poke(0x300, bytes);
  EXPECT_EQ(typed("C 200,20F,300"), "C 200,20F,300" + start + ok + "\n>");
  poke(0x303, {0xFF});
  poke(0x30A, {0x00});
  EXPECT_EQ(typed("C 200,20F,300"), "C 200,20F,300" + start + "\n0203  03  FF  0303 \n020A  0A  00  030A " + end + "\n>");
  // more than one piece, from ROM to RAM
  typed("F 1000,17FF,5A");
  typed("M 1000,17FF,8000");
  EXPECT_EQ(typed("C 1000,17FF,8000"), "C 1000,17FF,8000" + start + ok + "\n>");
  poke(0x8400, {0x00});
  EXPECT_EQ(typed("C 1000,17FF,8000"), "C 1000,17FF,8000" + start + "\n1400  5A  00  8400 " + end + "\n>");
}

TEST_F(MemCommandsTest, MoveOverlapsBothWays) {
  Bytes ramp(16);
  for (int i = 0; i < 16; ++i) ramp[i] = u8(i);
  const struct {
    const char* line;  // at base 0
    Bytes result;      // base..base + 11
  } cases[] = {
      {"M %x,%x,%x", {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7}},                 // up: 0..7 to 4
      {"M %x,%x,%x", {4, 5, 6, 7, 8, 9, 10, 11, 8, 9, 10, 11}},             // down: 4..11 to 0
  };
  for (const u16 base : {0x0100, 0x8100}) {
    for (int up = 0; up < 2; ++up) {
      char line[64];
      if (up == 0)
        std::snprintf(line, sizeof line, cases[0].line, base, base + 7, base + 4);
      else
        std::snprintf(line, sizeof line, cases[1].line, base + 4, base + 11, base);
      SCOPED_TRACE(line);
      poke(base, ramp);
      EXPECT_EQ(typed(line), std::string(line) + "\n>");
      EXPECT_EQ(peek(base, 12), cases[up].result);
    }
  }
}

// F, M and the value store of E ask about their whole range first: a range
// that meets the monitor area (7F80H..7FFFH) is refused with nothing written,
// below the area or above it; a range that ends just below it is written.
TEST_F(MemCommandsTest, RangesMeetingTheMonitorAreaWriteNothing) {
  const std::string refused = sjis("\n モニタ領域です");
  Bytes low(0x80), ram(0x100), start(0x10);
  for (std::size_t i = 0; i < ram.size(); ++i) ram[i] = u8(i);
  for (std::size_t i = 0; i < low.size(); ++i) low[i] = u8(0x80 + i);
  for (std::size_t i = 0; i < start.size(); ++i) start[i] = u8(0xF0 + i);
  const char* refused_lines[] = {
      "F 0,FFFF,AA",                          // one fast fill over everything
      "FW 7F01,7F7F,1234,5678",               // values in turn: the last word reaches 7F80H
      "FB 7F00,80FF,1,2,3",
      "M 8000,80FF,7F00",                     // the destination runs into the area
      "M 100,1FF,7F7F",                       // and across it into target RAM
      "EB 7F7E,1,2,3",                        // the value store: its third byte
      "ED 7F78,11223344,55667788,99AABBCC",   // its third element
      "ET 7F78,1",                            // ten bytes from 7F78H
      "EBA 7F7F,1,2",                         // banked addresses
  };
  for (const char* line : refused_lines) {
    SCOPED_TRACE(line);
    poke(0x0100, start);
    poke(0x7F00, low);
    poke(0x8000, ram);
    EXPECT_EQ(typed(line), line + refused + "\n>");
    EXPECT_EQ(peek(0x0100, start.size()), start);
    EXPECT_EQ(peek(0x7F00, low.size()), low);
    EXPECT_EQ(peek(0x8000, ram.size()), ram);
  }
  const struct {
    const char* line;
    u16 at;         // the last byte written
    u8 value;
  } written[] = {
      {"F 7F00,7F7F,AA", 0x7F7F, 0xAA},
      {"FW 7F00,7F7F,1234,5678", 0x7F7F, 0x56},
      {"M 8000,807F,7F00", 0x7F7F, 0x7F},
      {"EB 7F7E,1,2", 0x7F7F, 2},
      {"ED 7F78,11223344,55667788", 0x7F7F, 0x55},
  };
  for (const auto& c : written) {
    SCOPED_TRACE(c.line);
    poke(0x7F00, low);
    poke(0x8000, ram);
    EXPECT_EQ(typed(c.line), std::string(c.line) + "\n>");
    EXPECT_EQ(peek(c.at, 1), Bytes{c.value});
  }
}

TEST_F(MemCommandsTest, PortInputShowsValueAndBits) {
  sim->Board().IoWrite(0x10, 0xA5);
  sim->Board().IoWrite(0x11, 0x12);
  sim->Board().IoWrite(0x12, 0x3C);
  const std::string head = "\naddr : data : bit data\n";
  const struct {
    const char* line;
    std::string out;
  } cases[] = {
      {"PI 10", head + "0010    A5    1010 0101"},
      {"PIB 10,12", head + "0010    A5    1010 0101\n0011    12    0001 0010\n0012    3C    0011 1100"},
      {"PIW 10", head + "0010   12A5   00010010 10100101"},
      {"PIW 10,13", head + "0010   12A5   00010010 10100101\n0012   FF3C   11111111 00111100"},
      {"PI 12,10", sjis(kAddressError)},
      {"PI 10 11", sjis(kAddressError)},
      {"PI 10,/X", sjis(kAddressError)},
      {"PI 10,/C,/X", sjis(kAddressError)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(typed(c.line), c.line + c.out + "\n>");
  }
}

TEST_F(MemCommandsTest, PortInputRepeatsUntilAKey) {
  sim->Board().IoWrite(0x10, 0xA5);
  // the repeat yields to the window side only as time passes
  host_clock_use_real();
  const std::string reading = "0010    A5    1010 0101";
  for (const bool new_lines : {false, true}) {
    SCOPED_TRACE(new_lines);
    sim->Board().ClearCycleCounts();
    const std::size_t before = ws_->Transcript().size();
    ws_->Type(new_lines ? "PI 10,/C,/S" : "PI 10,/C");
    ws_->Key('x');  // found at the next look for a key
    const std::string out = ws_->Transcript().substr(before);
    EXPECT_GE(sim->Board().CycleCount(BusCycle::IoRead), 2u);
    EXPECT_EQ(Con.Window, kSlotCommand);
    EXPECT_EQ(out.substr(out.size() - 2), "\n>");
    std::size_t readings = 0;
    for (std::size_t at = out.find(reading); at != std::string::npos; at = out.find(reading, at + 1)) ++readings;
    if (new_lines) {
      EXPECT_GE(readings, 2u) << out;  // a line each
    } else {
      // the command pane keeps the first; the others go over one another elsewhere
      EXPECT_EQ(readings, 1u) << out;
      EXPECT_NE(out.find(reading + "\r"), std::string::npos);
    }
  }
}

TEST_F(MemCommandsTest, PortOutput) {
  const struct {
    const char* line;
    std::string out;
    u8 port20, port21;
  } cases[] = {
      {"PO 20,5A", "", 0x5A, 0xFF},
      {"POW 20,1234", "", 0x34, 0x12},
      {"POB 20,", sjis(kFormatError), 0xFF, 0xFF},  // refused by the line splitter
      {"PO 20,5A,/X", sjis(kDataError), 0xFF, 0xFF},
      {"PO 20,5A 6", sjis(kDataError), 0xFF, 0xFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    sim->Board().IoWrite(0x20, 0xFF);
    sim->Board().IoWrite(0x21, 0xFF);
    EXPECT_EQ(typed(c.line), c.line + c.out + "\n>");
    EXPECT_EQ(sim->Board().PortLatch(0x20), c.port20);
    EXPECT_EQ(sim->Board().PortLatch(0x21), c.port21);
  }
  // Repeated every 10 ms (of the test's clock) until a key.
  sim->Board().ClearCycleCounts();
  ws_->Type("POB 20,77,/C,10");
  ws_->Key('x');
  EXPECT_EQ(sim->Board().PortLatch(0x20), 0x77);
  EXPECT_GE(sim->Board().CycleCount(BusCycle::IoWrite), 20u);  // at least 300 ms of them
  EXPECT_EQ(typed("PO 20,1"), "PO 20,1\n>");                     // the repeat is over
}

TEST_F(MemCommandsTest, ARunningTargetIsRefusedButForTheMemoryEdit) {
  poke(0x0100, {0x18, 0xFE});  // JR $
  ::Run.Regs.sp = 0x9000;
  typed("G =100");
  ASSERT_EQ(::Run.ExecutionState, kExecRunning);
  for (const char* line : {"M 200,20F,300", "F 200,20F,1", "S 200,20F,1", "C 200,20F,300", "PI 10", "PO 10,1"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(typed(line), line + sjis("\n ターゲット実行中は使用できません") + "\n>");
  }
  // the memory edit pauses the program for its writes, and it runs on
  EXPECT_EQ(typed("EB 9100,5"), "EB 9100,5\n>");
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  EXPECT_EQ(sim->Board().PeekTarget(0x9100), 0x05);
  typed("ESC");
  ws_->Type("");
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
}

}  // namespace
