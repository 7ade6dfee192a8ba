#include "halv80/engine/cfg_config.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_ports.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_card.h"
#include "rz7bios/rz7bios.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

std::vector<std::string> Boxes;  // texts of the error boxes shown

int record_box(std::string_view, std::string_view text, unsigned) {
  Boxes.emplace_back(text);
  return kBoxAnswerOk;
}

// The lines the board's data tool writes for the simulated board.
constexpr std::string_view kBoardConfig =
    "; qqn80.cfg: the simulated emulator board\r\n"
    "; the monitor lies in the last 128 bytes of LROM1\r\n"
    "PORT ADDRESS 300\r\n"
    "ROM1 TYPE 27256\r\n"
    "LROM1 ADDRESS 0,7FFF,0\r\n"
    "MMU REG BASE 38\r\n"
    "BANK MODE OFF\r\n"
    "MONITOR INIT. STACK 8080\r\n"
    "SOFT BP(RST?) 38\r\n";

// A card driven in direct mode: the simulated board's ports, so
// that the hardware set-up behind PORT ADDRESS finds a live board. The
// library's direct back end has no emulation-memory routines yet, so the set-up
// finds the smallest emulation memory. The logic configuration lies in
// `folder`, the program's folder.
// The card answers at whatever port the configuration names.
class CardAtAnyPort : public DevicePorts {
 public:
  u8 In8(u16 port) override { return card_.In8(at(port)); }
  u16 In16(u16 port) override { return card_.In16(at(port)); }
  void Out8(u16 port, u8 value) override { card_.Out8(at(port), value); }
  void Out16(u16 port, u16 value) override { card_.Out16(at(port), value); }
  void Out32(u16 port, u32 value) override { card_.Out32(at(port), value); }

 private:
  u16 at(u16 port) const {
    const u16 base = SupHost.BiosWork ? SupHost.BiosWork->get16<kWorkBasePort>() : kCardPort;
    return u16(port - base + kCardPort);
  }
  static constexpr u16 kCardPort = 0x300;
  SimulatedDriver driver_;
  DevBoardPorts card_{driver_, kCardPort};
};

void attach_direct_mode_card(const ScratchDir& folder) {
  static CardAtAnyPort ports;
  dev_reset_system();
  DevSys.platform = kPlatformWin9x;
  DevSys.ports = &ports;
  ASSERT_EQ(sup_init_bios_work_area(), 0);
  folder.write("rz7_00.hwf", "logic\r\n\x1A" "RZ7HWF01");
  const std::string path = folder.system_path();
  std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", path.c_str());
}
// The library lets go of the work area before the engine's reset frees it.
void detach_card() {
  _NT_setbioswork(nullptr);
  dev_reset_system();
}

class CfgConfigTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Boxes.clear();
    previous_sink_ = host_set_message_box_sink(record_box);
    emu_set_rom_layout(RomLayout{});
    attach_direct_mode_card(dir_);
  }
  void TearDown() override {
    detach_card();
    host_set_message_box_sink(previous_sink_);
    EngineTest::TearDown();
  }
  // Writes `text` as the configuration file and reads it.
  u16 read(std::string_view text) {
    dir_.write("qqn80.cfg", text);
    return cfg_read_config(dir_.system_path() + "\\qqn80.cfg");
  }
  // A fresh engine whose configuration is `text`.
  u16 read_fresh(std::string_view text) {
    detach_card();
    reset_engine_state();
    attach_direct_mode_card(dir_);
    Boxes.clear();
    emu_set_rom_layout(RomLayout{});
    return read(text);
  }
  ScratchDir dir_;
  HostMessageBoxSink previous_sink_ = nullptr;
};

TEST_F(CfgConfigTest, BoardConfigurationGivesItsLayout) {
  ASSERT_EQ(read(kBoardConfig), 0);
  EXPECT_TRUE(Boxes.empty());
  const RomLayout& l = EmuArea.Layout;
  EXPECT_EQ(l.rom1_type, 2);
  EXPECT_EQ(l.rom2_type, kRomTypeUndefined);
  EXPECT_EQ(l.lrom1_start, 0u);
  EXPECT_EQ(l.lrom1_end, 0x7FFFu);
  EXPECT_EQ(l.lrom1_offset, 0u);
  EXPECT_EQ(l.urom1_start, kLayoutUndefined);
  EXPECT_EQ(l.urom1_offset, 0u);  // every offset starts at 0 for the reader
  EXPECT_EQ(l.lrom2_offset, 0u);
  EXPECT_EQ(Cfg.PortBase, 0x300);
  EXPECT_EQ(Cfg.MmuIoBase, 0x38);
  EXPECT_EQ(Cfg.MmuKind, kMmuNone);
  EXPECT_EQ(Cfg.BankModeGiven, 1);
  EXPECT_EQ(Cfg.MonitorInitStack, 0x8080);
  EXPECT_EQ(Cfg.BreakOpcode, 0xFF);
  EXPECT_EQ(Cfg.Reading, 0);
  EXPECT_EQ(Cmd.Radix, 16);
}

// `count` comment lines of 99 characters each, so that lines straddle windows.
std::string many_lines(char mark, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += std::string(99, mark) + "\r\n";
  return text;
}

TEST_F(CfgConfigTest, LineEndsAndCommentBlocks) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"no line end after the last line", "ROM1 TYPE 27256\r\nLROM1 ADDRESS 0"},
      {"lower case, a trailing comment, empty lines", "\r\nrom1 type 27256 ;the 32K part\r\n\r\nLrom1 Address 0\r\n"},
      {"nested blocks hide unknown keywords",
       "#{\r\nNO SUCH KEYWORD\r\n#{\r\nROM1 TYPE 2764\r\n#}\r\nINIT\r\n#}\r\n# a remark\r\n"
       "ROM1 TYPE 27256\r\nLROM1 ADDRESS 0\r\n"},
      {"an end-of-file byte ends the file", "ROM1 TYPE 27256\r\nLROM1 ADDRESS 0\r\n\x1A" "GARBAGE\r\n"},
      {"lines across many windows", many_lines(';', 30) + std::string(200, '\r') + "ROM1 TYPE 27256\r\n" +
                                        many_lines('#', 17) + "LROM1 ADDRESS 0\r\n"},
      {"a line of a whole window", std::string(1023, ';') + "\rROM1 TYPE 27256\r\nLROM1 ADDRESS 0\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(read_fresh(c.text), 0);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(EmuArea.Layout.rom1_type, 2);
    EXPECT_EQ(EmuArea.Layout.lrom1_start, 0u);
    EXPECT_EQ(EmuArea.Layout.lrom1_end, 0x7FFFu);
  }
}

TEST_F(CfgConfigTest, BadLinesAreFormatErrorsQuotingTheLine) {
  const struct {
    const char* what;
    std::string text;
    std::string quoted;
  } cases[] = {
      {"unmatched block end", "#{\r\n#}\r\n#} extra\r\nROM1 TYPE 27256\r\n", "#} extra"},
      {"unknown keyword", "ROM1 TYPE 27256\r\nROM3 TYPE 27256\r\n", "ROM3 TYPE 27256"},
      {"a blank before the keyword", " ROM1 TYPE 27256\r\n", " ROM1 TYPE 27256"},
      {"INIT", "INIT\r\n", "INIT"},
      {"trace address mask without an address", "ROM1 TYPE 27256\r\nTRACE ADDRESS MASK F000\r\n",
       "TRACE ADDRESS MASK F000"},
      {"address line before its ROM type", "LROM1 ADDRESS 0\r\n", "LROM1 ADDRESS 0"},
      {"an unclosed block", "ROM1 TYPE 27256\r\n#{\r\n#{\r\n#}\r\nLROM1 ADDRESS 0\r\n", "#{ (line 2)"},
      {"line longer than the window", "ROM1 TYPE " + std::string(1100, '0') + "\r\n",
       "ROM1 TYPE " + std::string(1024 - 10, '0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_fresh(c.text), 0);
    EXPECT_EQ(Startup.ConfigLine, c.quoted);
    ASSERT_EQ(Boxes.size(), 1u);
    // the box holds the line behind the error text (a long one cut to the box's buffer)
    EXPECT_NE(Boxes[0].find("QQN80.CFG:" + c.quoted.substr(0, 40)), std::string::npos) << Boxes[0];
    EXPECT_EQ(Startup.Failed, 1);
  }
}

TEST_F(CfgConfigTest, EveryTruncationEndsCleanly) {
  for (std::size_t n = 0; n <= kBoardConfig.size(); ++n) {
    SCOPED_TRACE(n);
    const u16 result = read_fresh(kBoardConfig.substr(0, n));
    // a cut inside a line may leave a bad operand (0) or an unfinished layout
    EXPECT_TRUE(result == 0 || result == 2) << result;
    EXPECT_EQ(Boxes.size(), result == 0 && Startup.Failed == 0 ? 0u : 1u);
  }
}

TEST_F(CfgConfigTest, MissingFileIsErrorOne) {
  EXPECT_EQ(cfg_read_config(dir_.system_path() + "\\nothere.cfg"), 1);
  EXPECT_EQ(Boxes.size(), 1u);
}

TEST_F(CfgConfigTest, OpenOnPathTriesEachPathFolder) {
  ScratchDir second;
  second.write("found.cfg", "x");
  const char* saved = getenv("PATH");
  const std::string saved_path = saved ? saved : "";
  setenv("PATH", (dir_.system_path() + ";" + second.system_path()).c_str(), 1);
  const int handle = emu_open_on_path("found.cfg");
  const int missing = emu_open_on_path("absent.cfg");
  setenv("PATH", saved_path.c_str(), 1);
  EXPECT_NE(handle, -1);
  EXPECT_EQ(missing, -1);
  if (handle != -1) sup_file_close(handle);
}

// Runs one keyword line on a fresh engine with ROM1 a 27256.
u16 apply_line(ConfigKeyword k, std::string_view operand) {
  detach_card();
  reset_engine_state();
  RomLayout l{};
  l.rom1_type = 2;
  emu_set_rom_layout(l);
  return cfg_parse_config_line(k, operand);
}

TEST_F(CfgConfigTest, SoftBreakOperands) {
  const struct {
    const char* operand;
    bool ok;
    u8 opcode;
  } cases[] = {
      {" 38", true, 0xFF}, {"7", true, 0xFF}, {"1", true, 0xCF}, {"8", true, 0xCF}, {"30 ; RST 30H", true, 0xF7},
      {"0", false, 0xFF},  {"39", false, 0xFF}, {"40", false, 0xFF}, {"", false, 0xFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operand);
    EXPECT_EQ(apply_line(ConfigKeyword::SoftBreak, c.operand), 0);
    EXPECT_EQ(Cmd.AbortFlag == 0, c.ok);
    EXPECT_EQ(Cfg.BreakOpcode, c.opcode);
  }
}

TEST_F(CfgConfigTest, RomTypeCodes) {
  const struct {
    const char* operand;
    u16 type;  // kRomTypeUndefined: refused
  } cases[] = {
      {"27512", 3}, {"116", 3},  {"512", 3}, {"2764", 0}, {"64", 0}, {"27128", 1},
      {"216", 4},   {"108", 4},  // the largest the smallest emulation memory holds
      {"208", kRomTypeUndefined}, {"27101", kRomTypeUndefined}, {"1234", kRomTypeUndefined},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operand);
    apply_line(ConfigKeyword::Rom1Type, c.operand);
    EXPECT_EQ(Cmd.AbortFlag != 0, c.type == kRomTypeUndefined);
    EXPECT_EQ(EmuArea.Layout.rom1_type, c.type == kRomTypeUndefined ? 2 : c.type);
  }
}

TEST_F(CfgConfigTest, RomAreaOperands) {
  const struct {
    const char* operand;
    bool ok;
    u32 start, end, offset;
  } cases[] = {
      {"0", true, 0, 0x7FFF, 0},               // the end from the 27256's size
      {"8000,BFFF", true, 0x8000, 0xBFFF, 0},
      {"8000,BFFF,4000", true, 0x8000, 0xBFFF, 0x4000},
      {"8000,7FFF", false, kLayoutUndefined, kLayoutUndefined, 0},  // ends before it starts
      {"0,8000", false, kLayoutUndefined, kLayoutUndefined, 0},     // larger than the 27256
      {"0,7FFF,18000", true, 0, 0x7FFF, 0x18000},                   // the last 32 KiB of 128 KiB
      {"0,7FFF,18001", false, kLayoutUndefined, kLayoutUndefined, 0},  // past the emulation memory
      {"0,7FFF,FFFFFFFF", false, kLayoutUndefined, kLayoutUndefined, 0},
      {"0,7FFF,0,1", false, kLayoutUndefined, kLayoutUndefined, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operand);
    RomLayout before{};
    before.rom1_type = 2;
    before.lrom1_offset = 0;
    reset_engine_state();
    emu_set_rom_layout(before);
    cfg_parse_config_line(ConfigKeyword::Lrom1Address, c.operand);
    EXPECT_EQ(Cmd.AbortFlag == 0, c.ok);
    EXPECT_EQ(EmuArea.Layout.lrom1_start, c.start);
    EXPECT_EQ(EmuArea.Layout.lrom1_end, c.end);
    EXPECT_EQ(EmuArea.Layout.lrom1_offset, c.offset);
  }
}

TEST_F(CfgConfigTest, TraceAddressesAndCycleKinds) {
  apply_line(ConfigKeyword::TraceAddressMask, "F000,1234,5678");
  EXPECT_EQ(Cmd.AbortFlag, 0);
  EXPECT_EQ(Cfg.TraceAddressMask, 0xFFFFu);
  EXPECT_EQ(Cfg.TraceAddresses[0], 0x0000u);  // the mask's bits cleared
  EXPECT_EQ(Cfg.TraceAddresses[2], kTraceAddressEnd);

  apply_line(ConfigKeyword::TraceAddressMask, "0,1234,15678");
  EXPECT_EQ(Cmd.AbortFlag, 0);
  EXPECT_EQ(Cfg.TraceAddressMask, 0xFFFu);
  EXPECT_EQ(Cfg.TraceAddresses[0], 0x1000u);
  EXPECT_EQ(Cfg.TraceAddresses[1], 0x5000u);  // cut to 16 bits outside bank mode

  std::string list = "0";
  for (int i = 0; i < 32; ++i) list += "," + std::to_string(i) + "000";
  apply_line(ConfigKeyword::TraceAddressMask, list);
  EXPECT_EQ(Cmd.AbortFlag, 0);
  EXPECT_EQ(Cfg.TraceAddresses[31], 0x31000u & 0xF000u);
  apply_line(ConfigKeyword::TraceAddressMask, list + ",F000");  // a 33rd
  EXPECT_EQ(Cmd.AbortFlag, 1);
  EXPECT_EQ(Cfg.TraceAddresses[0], kTraceAddressEnd);

  reset_engine_state();
  cfg_parse_config_line(ConfigKeyword::TraceCodeFetch, "x1");
  cfg_parse_config_line(ConfigKeyword::TraceIoRw, "@1x_01");
  EXPECT_EQ(Cmd.AbortFlag, 0);
  EXPECT_EQ(Cfg.Cycles[1].value, 0x01);
  EXPECT_EQ(Cfg.Cycles[1].mask, 0xFF0F);
  EXPECT_EQ(Cfg.Cycles[7].value, 0x9);
  EXPECT_EQ(Cfg.Cycles[7].mask, 0xFFFB);
  EXPECT_EQ(Cfg.CycleStatusBits, 0xFF0F | 0xFFFB);
}

TEST_F(CfgConfigTest, WordKeywords) {
  const struct {
    ConfigKeyword k;
    const char* operand;
    bool ok;
    u32 (*field)();
    u32 want;
  } cases[] = {
      {ConfigKeyword::Nmip, "1,LEVEL", true, [] { return u32(Cfg.NmiPin); }, 3},
      {ConfigKeyword::Nmip, "1,edge", true, [] { return u32(Cfg.NmiPin); }, 1},
      {ConfigKeyword::Nmip, "1,PULSE", false, [] { return u32(Cfg.NmiPin); }, 0},
      {ConfigKeyword::Nmip, "2", false, [] { return u32(Cfg.NmiPin); }, 0},
      {ConfigKeyword::BankMode, "KC80", true, [] { return u32(Cfg.MmuKind << 16 | Cfg.PageMask); }, 1u << 16 | 1023},
      {ConfigKeyword::BankMode, "64180", true, [] { return u32(Cfg.MmuKind << 8 | Cfg.CpuType); }, 0x202},
      {ConfigKeyword::BankMode, "64180S", true, [] { return u32(Cfg.MmuKind << 8 | Cfg.CpuType); }, 0x402},
      {ConfigKeyword::BankMode, "64180F", false, [] { return u32(Cfg.MmuKind << 8 | Cfg.CpuType); }, 0x001},
      {ConfigKeyword::PowerOffDetectTime, "20", true, [] { return Cfg.PowerOffDetectMs; }, 20000},
      {ConfigKeyword::PowerOffDetectTime, "21", false, [] { return Cfg.PowerOffDetectMs; }, 0},
      {ConfigKeyword::ExtClock, "SEQ", true, [] { return u32(Cfg.ExtClock); }, 128},
      {ConfigKeyword::ExtClock, "1F", true, [] { return u32(Cfg.ExtClock); }, 31},
      {ConfigKeyword::ExtClock, "20", false, [] { return u32(Cfg.ExtClock); }, 0},
      {ConfigKeyword::HardBreakLogic, "RZ", true, [] { return u32(Cfg.HardBreakLogic); }, 0},
      {ConfigKeyword::HardBreakLogic, "CPU", true, [] { return u32(Cfg.HardBreakLogic); }, 1},
      {ConfigKeyword::RomVcc, "3", true, [] { return u32(Cfg.RomVoltage); }, 3},
      {ConfigKeyword::RomVcc, "4", false, [] { return u32(Cfg.RomVoltage); }, 0},
      {ConfigKeyword::Jtag, "anything at all", true, [] { return u32(0); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(ConfigKeywordTable[std::size_t(c.k)].word) + " " + c.operand);
    apply_line(c.k, c.operand);
    EXPECT_EQ(Cmd.AbortFlag == 0, c.ok);
    EXPECT_EQ(c.field(), c.want);
  }
}

TEST_F(CfgConfigTest, PortAddressForms) {
  host_card_install({{host_card_slot_record(0x30C, kInterfaceCardPciId), false}});
  // each line on a fresh engine with the card attached
  const auto apply_port_line = [&](std::string_view operand) {
    detach_card();
    reset_engine_state();
    attach_direct_mode_card(dir_);
    return cfg_parse_config_line(ConfigKeyword::PortAddress, operand);
  };
  const struct {
    const char* operand;
    u16 result;
    bool ok;
    u16 base;
  } cases[] = {
      {"304", 0, true, 0x300}, {"PCI", 0, true, 0x308}, {"PCI/3", 0, true, 0x308},
      {"PC", 23, true, 0},     // no PC-Card in any slot
      {"PCSS:240", 0, true, 0x240}, {"PCSS", 0, false, 0}, {"PC:244", 0, false, 0}, {"0", 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operand);
    EXPECT_EQ(apply_port_line(c.operand), c.result);
    EXPECT_EQ(Cmd.AbortFlag == 0, c.ok);
    EXPECT_EQ(Cfg.PortBase, c.base);
  }
  host_card_remove();
  EXPECT_EQ(apply_port_line("PCI"), 27);  // no detection device
  // the hardware set-up that follows a good line: no logic configuration
  detach_card();
  reset_engine_state();
  attach_direct_mode_card(dir_);
  std::filesystem::remove(std::filesystem::path(dir_.path()) / "rz7_00.hwf");
  EXPECT_EQ(cfg_parse_config_line(ConfigKeyword::PortAddress, "300"), kErrHardware);
  ASSERT_EQ(Boxes.size(), 1u);  // error 26 said why
  EXPECT_NE(Boxes[0].find("rz7_00.hwf"), std::string::npos);
}

TEST_F(CfgConfigTest, LayoutChecks) {
  const struct {
    const char* what;
    std::string lines;
    u16 error;
  } cases[] = {
      {"ROM areas overlap", "LROM1 ADDRESS 0\r\nUROM1 ADDRESS 7000\r\nMONITOR INIT. STACK F100\r\n", 4},
      {"areas side by side", "LROM1 ADDRESS 0\r\nUROM1 ADDRESS 8000,807F\r\nMONITOR INIT. STACK 9000\r\n", 0},
      {"stack in LROM1", "LROM1 ADDRESS 0\r\nMONITOR INIT. STACK 8000\r\n", 2},
      {"stack just above it", "LROM1 ADDRESS 0\r\nMONITOR INIT. STACK 8010\r\n", 0},
      {"stack in UROM1", "LROM1 ADDRESS 0\r\nUROM1 ADDRESS 8000\r\n", 2},
      {"stack 0 wraps to the top", "LROM1 ADDRESS 0\r\nUROM1 ADDRESS F000,FFFF\r\nMONITOR INIT. STACK 0\r\n", 2},
      {"no stack check in bank mode", "BANK MODE 64180\r\nLROM1 ADDRESS 0\r\nMONITOR INIT. STACK 100\r\n", 0},
      {"UROM1 without LROM1", "UROM1 ADDRESS 8000\r\n", 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(read_fresh("ROM1 TYPE 27256\r\n" + c.lines), c.error);
    EXPECT_EQ(Boxes.size(), c.error == 0 ? 0u : 1u);
  }
}

}  // namespace
