// The register table's name matching and get/set, R and IM as a user types
// them, core request 6, the register window's lines, the flag dialog's word
// and the edit list; and an R change reaching a booted simulated target.
#include "halv80/engine/reg_registers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/device/dev_board.h"
#include "platform/device/dev_layout.h"

namespace {

// An image in which every word is different.
constexpr RegisterImage kImage = {
    .af = 0x12D5, .bc = 0x1234, .de = 0x5678, .hl = 0x9ABC, .af2 = 0x3402, .bc2 = 0x1111, .de2 = 0x2222,
    .hl2 = 0x3333, .ix = 0x4444, .iy = 0x5555, .sp = 0x8000, .pc = 0x0100, .iff = 0x3F04, .r = 0x0077};

class RegistersTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    sym_init();
    ::Run.Regs = kImage;
  }
  void TearDown() override {
    sym_init();
    EngineTest::TearDown();
  }
  // Types a line and gives what it added to the command pane.
  static std::string typed(ScriptedWindowSide& ws, std::string_view line) {
    const std::size_t before = ws.Transcript().size();
    ws.Type(line);
    return ws.Transcript().substr(before);
  }
  static std::string window_line(u16 line, u16 options) {
    char out[128];
    const std::size_t n = reg_window_line(line, options, out);
    EXPECT_EQ(n, std::string(out).size());
    return out;
  }
};

const std::string kDataError = sjis("\n データ指定が誤りです");

TEST_F(RegistersTest, NamesMatchWithTheirFollowers) {
  const struct {
    u16 cpu;
    const char* text;
    bool any_follower;
    int index;
    long stop;  // cursor after the call
  } cases[] = {
      {kCpuZ80, "A", false, 0, 1},       {kCpuZ80, "a=5", false, 0, 1},   {kCpuZ80, "BC", false, 1, 2},
      {kCpuZ80, "b ", false, 2, 1},      {kCpuZ80, "B'", false, 12, 2},   {kCpuZ80, "bc'=1", false, 11, 3},
      {kCpuZ80, "HL'", false, 17, 3},    {kCpuZ80, "IX", false, 20, 2},   {kCpuZ80, "I", false, 24, 1},
      {kCpuZ80, "SP", false, 22, 2},     {kCpuZ80, "PC\t", false, 23, 2}, {kCpuZ80, "R", false, 25, 1},
      {kCpuZ80, "BX", false, -1, 0},     {kCpuZ80, "BX", true, 2, 1},     {kCpuZ80, "BCD", true, 1, 2},
      {kCpuZ80, "CF", false, -1, 0},     {kCpuZ80, "Z", false, -1, 0},    {kCpuZ80, "", false, -1, 0},
      {kCpuZ80, "\x81\x40", true, -1, 0},
      // the 8080/8085 has no alternate set, no index registers and no I
      {kCpu8080, "B'", false, -1, 0},    {kCpu8080, "B'", true, -1, 0},   {kCpu8080, "IX", false, -1, 0},
      {kCpu8080, "I", false, -1, 0},     {kCpu8080, "B", false, 2, 1},    {kCpu8080, "SP", false, 22, 2},
      {kCpu8080, "R", false, 25, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    Cfg.CpuType = c.cpu;
    cmd_set_command_line(c.text);
    EXPECT_EQ(reg_match_name(c.any_follower), c.index);
    EXPECT_EQ(Cmd.ScannerCursor - Cmd.CommandLine, c.stop);
  }
}

TEST_F(RegistersTest, GetAndSetBySizeClass) {
  const struct {
    int n;
    u16 RegisterImage::*word;
    u16 get;
    u16 after_set;  // the word after setting 0xA5C3
  } cases[] = {
      {0, &RegisterImage::af, 0x12, 0xC3D5},   {2, &RegisterImage::bc, 0x12, 0xC334},
      {3, &RegisterImage::bc, 0x34, 0x12C3},   {1, &RegisterImage::bc, 0x1234, 0xA5C3},
      {12, &RegisterImage::bc2, 0x11, 0xC311}, {16, &RegisterImage::de2, 0x22, 0x22C3},
      {23, &RegisterImage::pc, 0x0100, 0xA5C3}, {24, &RegisterImage::iff, 0x3F, 0xC304},
      {25, &RegisterImage::r, 0x77, 0x00C3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    ::Run.Regs = kImage;
    EXPECT_EQ(reg_get(c.n), c.get);
    reg_set(c.n, 0xA5C3);
    RegisterImage expected = kImage;
    expected.*c.word = c.after_set;
    EXPECT_EQ(std::memcmp(&::Run.Regs, &expected, sizeof expected), 0);
  }
  // an index outside the table reads 0 and changes nothing
  ::Run.Regs = kImage;
  for (const int n : {-1, kRegCount, 1000}) {
    EXPECT_EQ(reg_get(n), 0);
    reg_set(n, 0xFFFF);
  }
  EXPECT_EQ(std::memcmp(&::Run.Regs, &kImage, sizeof kImage), 0);
}

TEST_F(RegistersTest, DisplayShowsBothSetsOnTheZ80AndOneOnThe8080) {
  ASSERT_EQ(sym_add("start", 0x100, 0), 0);
  sym_sort_symbols();
  ScriptedWindowSide ws;
  ws.Start();
  const std::string label = "\xFF" "start" "\xFE";  // marked for the window
  EXPECT_EQ(typed(ws, "R"),
            "R\nSZHP-CE A=12 B=1234 D=5678 H=9ABC S=8000 P=0100      " + label +
                ":\n----N-  A'34 B'1111 D'2222 H'3333 X=4444 Y=5555 I=3F    NOP\t\n>");  // no target: zeros
  // a PC with no label of its own shows none
  ::Run.Regs.pc = 0x101;
  EXPECT_EQ(typed(ws, "r").find(label), std::string::npos);

  Cfg.CpuType = kCpu8080;
  ::Run.Regs.af = 0x12D7;
  ::Run.Regs.iff = 0x0008;  // bit 3: interrupts enabled
  EXPECT_EQ(typed(ws, "R"), "R\nSZHPCE A=12 B=1234 D=5678 H=9ABC S=8000 P=0101   NOP\t\n>");
  // on the 8080/8085 a label stands on its own line above the instruction
  ::Run.Regs.pc = 0x100;
  EXPECT_EQ(typed(ws, "R"),
            "R\nSZHPCE A=12 B=1234 D=5678 H=9ABC S=8000 P=0100  " + label + ":\n\t\t\t\t\t\t NOP\t\n>");
}

TEST_F(RegistersTest, OneRegisterShowsItsValueAndTakesTheAnswer) {
  const struct {
    u16 cpu;
    const char* command;
    const char* question;  // empty: the command is refused before asking
    const char* answer;
    bool error;
    u16 RegisterImage::*word;
    u16 after;
  } cases[] = {
      {kCpuZ80, "R B'", "\nB'= (oct)021  (dec) 17  (hex)11 ", "5A", false, &RegisterImage::bc2, 0x5A11},
      {kCpuZ80, "R C", "\nC = (oct)064  (dec) 52  (hex)34 ", "7", false, &RegisterImage::bc, 0x1207},
      {kCpuZ80, "r hl", "\nHL = (oct)115274  (dec)39612  (hex)9ABC ", "", false, &RegisterImage::hl, 0x9ABC},
      {kCpuZ80, "R PC", "\nPC = (oct)000400  (dec)  256  (hex)0100 ", ".", false, &RegisterImage::pc, 0x0100},
      {kCpuZ80, "R PC", "\nPC = (oct)000400  (dec)  256  (hex)0100 ", "main+2", false, &RegisterImage::pc, 0x0202},
      {kCpuZ80, "R SP", "\nSP = (oct)100000  (dec)32768  (hex)8000 ", "9000", false, &RegisterImage::sp, 0x9000},
      {kCpuZ80, "R I", "\nI = (oct)077  (dec) 63  (hex)3F ", "1FF", false, &RegisterImage::iff, 0xFF04},
      {kCpuZ80, "R SP", "\nSP = (oct)100000  (dec)32768  (hex)8000 ", "zz", true, &RegisterImage::sp, 0x8000},
      {kCpuZ80, "R A", "\nA = (oct)022  (dec) 18  (hex)12 ", "12 34", true, &RegisterImage::af, 0x12D5},
      {kCpu8080, "R B'", "", "", true, &RegisterImage::bc2, 0x1111},
      {kCpu8080, "R IX", "", "", true, &RegisterImage::ix, 0x4444},
      {kCpuZ80, "R Q", "", "", true, &RegisterImage::af, 0x12D5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    reset_engine_state();
    ::Run.Regs = kImage;
    Cfg.CpuType = c.cpu;
    ScriptedWindowSide ws;
    ws.Start();
    sym_add("main", 0x0200, 0);  // values are expressions
    sym_sort_symbols();
    const bool asks = *c.question != '\0';
    std::string out = typed(ws, c.command);
    if (asks) {
      EXPECT_EQ(out, std::string(c.command) + c.question);
      out = typed(ws, c.answer);
      EXPECT_EQ(out, std::string(c.answer) + (c.error ? kDataError : "") + "\n>");
    } else {
      EXPECT_EQ(out, std::string(c.command) + kDataError + "\n>");
    }
    EXPECT_EQ(::Run.Regs.*c.word, c.after);
    // a stored value refreshes the windows
    const bool stored = asks && !c.error && *c.answer != '\0' && *c.answer != '.';
    EXPECT_EQ(ws.RequestsOf(RequestCode::Refresh).size(), stored ? 1u : 0u);
    // and a new PC brings the code window to it
    EXPECT_EQ(ws.RequestsOf(RequestCode::CodeToPc).size(), stored && c.word == &RegisterImage::pc ? 1u : 0u);
  }
}

TEST_F(RegistersTest, RegisterNamesComeBeforeFlagLetters) {
  const struct {
    u16 cpu;
    const char* command;
    const char* question;  // empty: refused
    const char* answer;
    bool error;
    u16 RegisterImage::*word;
    u16 after;
  } cases[] = {
      {kCpuZ80, "R C", "\nC = (oct)064  (dec) 52  (hex)34 ", "35", false, &RegisterImage::bc, 0x1235},
      {kCpuZ80, "R CF", "\nC = 1 ", "0", false, &RegisterImage::af, 0x12D4},
      {kCpuZ80, "R Z", "\nZ = 1 ", "0", false, &RegisterImage::af, 0x1295},
      {kCpuZ80, "R n", "\nN = 0 ", "1", false, &RegisterImage::af, 0x12D7},
      {kCpuZ80, "R E", "\nE = (oct)170  (dec)120  (hex)78 ", "0", false, &RegisterImage::de, 0x5600},
      {kCpuZ80, "R EF", "\nE = 1 ", "0", false, &RegisterImage::iff, 0x3F00},  // the interrupt enable
      {kCpuZ80, "R SF'", "\nS'= 0 ", "1", false, &RegisterImage::af2, 0x3482},
      {kCpuZ80, "R CF", "\nC = 1 ", "2", true, &RegisterImage::af, 0x12D5},  // only 0 or 1
      {kCpuZ80, "R CF", "\nC = 1 ", "", true, &RegisterImage::af, 0x12D5},
      {kCpuZ80, "R CF", "\nC = 1 ", "0 1", true, &RegisterImage::af, 0x12D5},
      {kCpuZ80, "R *", "", "", true, &RegisterImage::af, 0x12D5},
      {kCpuZ80, "R EF'", "", "", true, &RegisterImage::af2, 0x3402},
      {kCpuZ80, "R CX", "", "", true, &RegisterImage::af, 0x12D5},
      {kCpu8080, "R EF", "\nE = 0 ", "1", false, &RegisterImage::iff, 0x3F0C},  // bit 3 on the 8080/8085
      {kCpu8080, "R CF'", "", "", true, &RegisterImage::af2, 0x3402},
      {kCpu8080, "R N", "", "", true, &RegisterImage::af, 0x12D5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.command << " " << c.answer);
    reset_engine_state();
    ::Run.Regs = kImage;
    Cfg.CpuType = c.cpu;
    ScriptedWindowSide ws;
    ws.Start();
    const std::string out = typed(ws, c.command);
    if (*c.question != '\0') {
      EXPECT_EQ(out, std::string(c.command) + c.question);
      EXPECT_EQ(typed(ws, c.answer), std::string(c.answer) + (c.error ? kDataError : "") + "\n>");
    } else {
      EXPECT_EQ(out, std::string(c.command) + kDataError + "\n>");
    }
    EXPECT_EQ(::Run.Regs.*c.word, c.after);
  }
}

TEST_F(RegistersTest, InterruptMaskOfThe8080) {
  ScriptedWindowSide ws;
  ws.Start();
  EXPECT_EQ(typed(ws, "IM"), "IM" + sjis("\n コマンド エラー") + "\n>");  // a Z80

  Cfg.CpuType = kCpu8080;
  ::Run.Regs.iff = 0x00DB;  // SID, pending 7.5 and 5.5, enabled, mask 6.5 and 5.5
  EXPECT_EQ(typed(ws, "IM"),
            "IM\n   RST       7.5 6.5 5.5\nInt(Pending): 1   0   1   \nInt. Mask   : 0   1   1   "
            "\nInterrupt = Enable      SID = 1\n>");
  ::Run.Regs.iff = 0x0000;
  EXPECT_EQ(typed(ws, "im"),
            "im\n   RST       7.5 6.5 5.5\nInt(Pending): 0   0   0   \nInt. Mask   : 0   0   0   "
            "\nInterrupt = Disable      SID = 0\n>");

  const struct {
    const char* command;
    const char* question;  // empty: refused
    const char* answer;
    const std::string error;
    u16 iff;
  } cases[] = {
      {"IM 7", "\nInt.Mask 7.5 = 0  ", "1", "", 0x0004},
      {"IM 5", "\nInt.Mask 5.5 = 0  ", "1", "", 0x0005},
      {"IM 7", "\nInt.Mask 7.5 = 1  ", "0", "", 0x0001},
      {"IM 6", "\nInt.Mask 6.5 = 0  ", "x", kDataError, 0x0001},
      {"IM 8", "", "", sjis("\n コマンドのフォーマットが不正です"), 0x0001},
      {"IM 55", "", "", sjis("\n コマンドのフォーマットが不正です"), 0x0001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::string out = typed(ws, c.command);
    if (*c.question != '\0') {
      EXPECT_EQ(out, std::string(c.command) + c.question);
      EXPECT_EQ(typed(ws, c.answer), c.answer + c.error + "\n>");
    } else {
      EXPECT_EQ(out, c.command + c.error + "\n>");
    }
    EXPECT_EQ(::Run.Regs.iff, c.iff);
  }
}

TEST_F(RegistersTest, CoreRequest6AssignsWithoutAsking) {
  const struct {
    const char* name;  // null: none handed over
    const char* value;
    u16 result;
    u16 RegisterImage::*word;
    u16 after;
  } cases[] = {
      {"BC", "4321", 0, &RegisterImage::bc, 0x4321},
      {"A'(  52)", "0x5a", 0, &RegisterImage::af2, 0x5A02},  // the name ends at '('
      {"sp", "9000", 0, &RegisterImage::sp, 0x9000},
      {"HL", "zz", 1, &RegisterImage::hl, 0x9ABC},
      {"Q", "1", 1, &RegisterImage::af, 0x12D5},
      {"F", "1", 1, &RegisterImage::af, 0x12D5},  // F is no register of the table
      {"A=1", "2", 1, &RegisterImage::af, 0x12D5},
      {"BCBCBCBCBCBCBCBCBCBCBCBCBCBCBCBCBCBC", "1", 1, &RegisterImage::bc, 0x1234},
      {nullptr, "1", 1, &RegisterImage::af, 0x12D5},
  };
  // a value too long for the line is refused, not cut
  const std::string long_value = "1" + std::string(kCommandLineSize, ' ') + "junk";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? c.name : "(none)");
    ::Run.Regs = kImage;
    Co.PendingError = 0;
    Co.Request.p1_ptr = const_cast<char*>(c.name);
    Co.Request.p2_ptr = const_cast<char*>(c.value);
    EXPECT_EQ(sup_run_core_request("", CoreRequest::SetRegister), c.result);
    EXPECT_EQ(Co.PendingError, c.result ? 2 : 0);  // message 1
    EXPECT_EQ(::Run.Regs.*c.word, c.after);
  }
  ::Run.Regs = kImage;
  Co.PendingError = 0;
  Co.Request.p1_ptr = const_cast<char*>("BC");
  Co.Request.p2_ptr = const_cast<char*>(long_value.c_str());
  EXPECT_EQ(sup_run_core_request("", CoreRequest::SetRegister), 1);
  EXPECT_EQ(::Run.Regs.bc, 0x1234);
  Co.PendingError = 0;
  Co.Request.p1_ptr = Co.Request.p2_ptr = nullptr;
}

TEST_F(RegistersTest, WindowLines) {
  ASSERT_EQ(sym_add("start", 0x100, 0), 0);
  ASSERT_EQ(sym_add("table", 0x5550, 0), 0);
  ASSERT_EQ(sym_add("top", 0xF000, 0), 0);
  sym_sort_symbols();
  const struct {
    u16 line;
    u16 options;
    bool running;
    const char* text;
  } cases[] = {
      {0, 0, false, " A   12"},
      {0, kRegOptionDecimal, false, " A   12     (  18)"},
      {4, 0, false, " A'  34"},
      {1, 0, false, " BC  1234"},
      {1, kRegOptionDecimal, false, " BC  1234 (  4660)"},
      {3, kRegOptionDecimal, false, " HL  9ABC (-25924)"},
      {5, 0, false, " BC' 1111"},
      {8, 0, false, " IX  4444"},
      {12, kRegOptionDecimal, false, " I   3F     (  63)"},
      {11, kRegOptionLabel, false, " PC  0100 start"},
      {9, kRegOptionLabel, false, " IY  5555 table+5"},
      {13, 0, false, "SZHEP_C'_____N_"},
      {0, 0, true, " A   FF"},
      {1, kRegOptionDecimal | kRegOptionIndirect, true, " BC  FFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
      {13, 0, true, "???????" "'???????"},
      {14, 0, false, ""},
      {15, kRegOptionMmuLines, false, " MMU2 : 0000H(00000000H) Size 0000H(    0)"},  // the highest window first
      {0xFFFF, 0, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.line << " " << c.options << " " << c.running);
    run_set_execution_state(c.running ? kExecRunning : kExecStopped);
    EXPECT_EQ(window_line(c.line, c.options), c.text);
  }
  run_set_execution_state(kExecStopped);
  // a small buffer takes what fits
  char small[4];
  EXPECT_EQ(reg_window_line(1, 0, small), 3u);
  EXPECT_STREQ(small, " BC");
  EXPECT_EQ(reg_window_line(13, 0, std::span<char>()), 0u);
}

TEST_F(RegistersTest, WindowLineCountFollowsTheMemoryModel) {
  const struct {
    u16 options;
    u16 mmu_kind;
    u16 count;
    u16 options_after;
  } cases[] = {
      {0, kMmuNone, 14, 0},
      {kRegOptionMmuLines, kMmuNone, 14, 0},  // no model: the option is cleared
      {kRegOptionMmuLines | kRegOptionDecimal, kMmuNone, 14, kRegOptionDecimal},
      {kRegOptionDecimal, kMmuWindows, 14, kRegOptionDecimal},
      {kRegOptionMmuLines, kMmuWindows, 20, kRegOptionMmuLines},
      {kRegOptionMmuLines, 8, 20, kRegOptionMmuLines},
      {kRegOptionMmuLines, kMmuBank, 18, kRegOptionMmuLines},
      {kRegOptionMmuLines, kMmuBankS, 18, kRegOptionMmuLines},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.options << " " << c.mmu_kind);
    Cfg.MmuKind = c.mmu_kind;
    u16 options = c.options;
    EXPECT_EQ(reg_window_line_count(options), c.count);
    EXPECT_EQ(options, c.options_after);
  }
}

TEST_F(RegistersTest, FlagDialogWordCarriesTheInterruptState) {
  const struct {
    u16 cpu;
    u16 af, af2, iff;
    u16 word;
  } cases[] = {
      {kCpuZ80, 0x00FF, 0x0000, 0x0000, 0x00F7},  // bit 3 of F does not count
      {kCpuZ80, 0x0000, 0x00AA, 0x0004, 0xAA08},
      {kCpuZ80, 0x0000, 0x0000, 0x0008, 0x0000},  // bit 3 is no Z80 interrupt state
      {kCpu8080, 0x00FF, 0x0000, 0x0008, 0x00FF},
      {kCpu8080, 0x00FF, 0x0000, 0x0004, 0x00F7},  // a mask bit, not the enable
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cpu << " " << c.af << " " << c.iff);
    Cfg.CpuType = c.cpu;
    ::Run.Regs.af = c.af;
    ::Run.Regs.af2 = c.af2;
    ::Run.Regs.iff = c.iff;
    EXPECT_EQ(reg_flag_dialog_word(), c.word);
  }
  // the store-back: bit 3 goes to the interrupt state, not into F
  Cfg.CpuType = kCpuZ80;
  ::Run.Regs = kImage;
  reg_set_flag_dialog_word(0x5508);
  EXPECT_EQ(::Run.Regs.af, 0x1200);
  EXPECT_EQ(::Run.Regs.af2, 0x3455);
  EXPECT_EQ(::Run.Regs.iff, 0x3F04);
  reg_set_flag_dialog_word(0x00F7);
  EXPECT_EQ(::Run.Regs.af, 0x12F7);
  EXPECT_EQ(::Run.Regs.iff, 0x3F00);
  EXPECT_EQ(reg_flag_dialog_word(), 0x00F7);
  Cfg.CpuType = kCpu8080;
  reg_set_flag_dialog_word(0x0008);
  EXPECT_EQ(::Run.Regs.iff, 0x3F08);
  EXPECT_EQ(::Run.Regs.af, 0x1200);
}

TEST_F(RegistersTest, EditList) {
  const struct {
    u16 index;
    const char* name;
    const char* value;
  } cases[] = {
      {0, "A", "0x12"},   {1, "BC", "0x1234"}, {4, "A'", "0x34"},   {7, "HL'", "0x3333"},
      {8, "IX", "0x4444"}, {11, "PC", "0x0100"}, {12, "I", "0x3F"}, {13, "F", "0xD5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.index);
    char name[8], value[8];
    ASSERT_TRUE(reg_edit_entry(c.index, name, value));
    EXPECT_STREQ(name, c.name);
    EXPECT_STREQ(value, c.value);
  }
  char name[8], value[8];
  EXPECT_FALSE(reg_edit_entry(kRegEditEntries, name, value));
  char tiny[3];
  ASSERT_TRUE(reg_edit_entry(1, tiny, tiny));
  EXPECT_STREQ(tiny, "0x");
}

// R against the booted simulated emulator.
class RegistersOnTargetTest : public StartupTest {
 protected:
  std::size_t requests(BiosRequest r) const {
    std::size_t n = 0;
    for (const SimTranscriptEntry& e : sim->Transcript())
      if (e.kind == SimTranscriptEntry::Kind::Request && e.value == u32(r)) ++n;
    return n;
  }
};

TEST_F(RegistersOnTargetTest, ChangeWritesTheStackPointerToTheMonitor) {
  ASSERT_EQ(emu_startup_sequence(0), 0);
  ScriptedWindowSide ws;
  ws.Start();
  ASSERT_EQ(::Run.Regs.sp, 0x8080);

  // an unchanged register sends nothing to the monitor
  sim->ClearTranscript();
  ws.Type("R SP");
  ws.Type("");
  EXPECT_EQ(requests(BiosRequest::StartCommand), 0u) << sim->TranscriptText();
  // one reset as the command line starts, one as R leaves the channel
  EXPECT_EQ(requests(BiosRequest::FifoReset), 2u);
  EXPECT_EQ(requests(BiosRequest::FlushChannel), 2u);

  sim->ClearTranscript();
  ws.Type("R SP");
  ws.Type("9000");
  EXPECT_EQ(::Run.Regs.sp, 0x9000);
  EXPECT_EQ(requests(BiosRequest::StartCommand), 1u) << sim->TranscriptText();
  EXPECT_EQ(sim->Board().RegisterShadow(kRegMonitorBank), u8(MonitorRequest::SetStack));
  EXPECT_EQ(sim->Target().Monitor().Registers().sp, 0x9000);
  // the channel is left clean
  EXPECT_EQ(requests(BiosRequest::FifoReset), 2u);
  EXPECT_EQ(requests(BiosRequest::FlushChannel), 2u);

  // the window's word at SP comes from the target
  emu_req_write_word(0x9000, 0xBEEF);
  char line[64];
  reg_window_line(10, kRegOptionIndirect | kRegOptionDecimal, line);
  EXPECT_STREQ(line, " SP  9000 (-28672) *[BEEF](-16657)");
}

}  // namespace
