// mkdata: writes the data files of the simulated emulator board into one
// folder: the configuration file qqn80.cfg, the logic configuration
// rz7_00.hwf, the monitor program MON80.QQN and its source mon80.asm, and the
// project file template qqn80.qpj. The first three come from the one board description the simulated
// driver builds its board from, so the files and the board cannot disagree;
// the template holds the debugger's default window layout. Each file is written under a temporary name
// and renamed, so a failed run never leaves half a file behind.
//
// Usage: mkdata <folder>
#include <array>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/gui/prj_default.h"
#include "platform/device/dev_board.h"
#include "platform/device/dev_fixture.h"
#include "platform/device/dev_mmu.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/host/host_file.h"

namespace {

constexpr DevFixture kBoard{};

// The configuration file describes ROM2 areas only for boards with trace
// hardware, which this one does not have.
static_assert(dev_fixture_fault(kBoard) == nullptr);
static_assert(!kBoard.lrom2.present() && !kBoard.urom2.present());
// the file's comment says so
static_assert(kBoard.monitor_code_address + kDevMonitorBlock - 1 == kBoard.lrom1.end);

constexpr u32 area_size(const DevRomArea& a) { return a.present() ? a.end - a.start + 1 : 0; }

// The smallest type that holds both ROM1 areas.
constexpr std::size_t rom1_type() {
  const u32 lower = area_size(kBoard.lrom1);
  const u32 upper = area_size(kBoard.urom1);
  const u32 need = lower > upper ? lower : upper;
  std::size_t i = 0;
  while (i + 1 < std::size(RomTypeTable) && RomTypeTable[i].size < need) ++i;
  return i;
}
static_assert(RomTypeTable[rom1_type()].size >= area_size(kBoard.lrom1));
// the engine refuses a type beyond what the emulation memory can hold
static_assert(rom1_type() <= 4u + kBoard.memory_size_code);

// The monitor's initial stack: its 16 bytes below must be target RAM.
constexpr u32 kMonitorStack = 0x8080;
constexpr bool stack_clear_of(const DevRomArea& a) {
  return !a.present() || a.end < kMonitorStack - 16 || a.start > kMonitorStack - 1;
}
static_assert(stack_clear_of(kBoard.lrom1) && stack_clear_of(kBoard.urom1));

constexpr u16 kPortBase = 0x300;  // the driver reports its own; the line must still name one
constexpr u8 kSoftBreak = 0x38;   // RST 38H, as the monitor image's own break byte

std::string hex(u32 v) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(v));
  return text;
}

// The BANK MODE operand of a memory-management kind.
const char* bank_mode(u16 kind) {
  switch (kind) {
    case kDevMmuWindows: return "KC80";
    case kDevMmuBank: return "64180R";
    case kDevMmuBankS: return "64180S";
    default: return "OFF";
  }
}

std::string area_line(const char* keyword, const DevRomArea& a) {
  return std::string(keyword) + " " + hex(a.start) + "," + hex(a.end) + "," + hex(a.offset) + "\r\n";
}

std::vector<u8> config_file() {
  std::string text;
  text += "; qqn80.cfg: the simulated emulator board\r\n";
  text += "; the monitor lies in the last 128 bytes of LROM1\r\n";
  text += "PORT ADDRESS " + hex(kPortBase) + "\r\n";
  text += std::string("ROM1 TYPE ") + RomTypeTable[rom1_type()].name + "\r\n";
  text += area_line("LROM1 ADDRESS", kBoard.lrom1);
  if (kBoard.urom1.present()) text += area_line("UROM1 ADDRESS", kBoard.urom1);
  text += "MMU REG BASE " + hex(kBoard.mmu_io_base) + "\r\n";
  text += std::string("BANK MODE ") + bank_mode(kBoard.mmu_kind) + "\r\n";
  text += "MONITOR INIT. STACK " + hex(kMonitorStack) + "\r\n";
  text += "SOFT BP(RST?) " + hex(kSoftBreak) + "\r\n";
  // the board's cycle status lines, binary from bit 4: WR RD IORQ MREQ M1
  text += "; cycle kinds: status bits WR RD IORQ MREQ M1\r\n";
  text += "TRACE INT ACK.  (INTA) @xx101\r\n";
  text += "TRACE CODE FETCH  (CF) @01011\r\n";
  text += "TRACE MEMORY READ (MR) @01010\r\n";
  text += "TRACE MEMORY WRITE(MW) @10010\r\n";
  text += "TRACE I/O READ    (IR) @01100\r\n";
  text += "TRACE I/O WRITE   (IW) @10100\r\n";
  text += "TRACE MEMORY R/W (MEM) @xxx1x\r\n";
  text += "TRACE I/O R/W     (IO) @xx100\r\n";
  return std::vector<u8>(text.begin(), text.end());
}

// A text line for people, the end-of-text byte, then the data the board
// loads: its magic first; the rest it does not read.
std::vector<u8> logic_file() {
  const std::string_view title = "rz7_00.hwf: logic configuration of the simulated emulator board\r\n";
  std::vector<u8> file(title.begin(), title.end());
  file.push_back(0x1A);
  file.insert(file.end(), kDevLogicMagic.begin(), kDevLogicMagic.end());
  for (u32 i = 0; i < 248; ++i) file.push_back(u8(i * 7 + 1));
  return file;
}

// The monitor's source for the monitor assembler (tools/vavada): the same
// image as dev_monitor_file, written as the binutils Z80 assembler takes it.
// The image is the monitor area's banks in file order: bank 127 (the
// window's upper half) first, then banks 2 to 126 (its lower half).
std::vector<u8> monitor_source() {
  static_assert(kDevMonitorBreakEntryByte < kDevMonitorNmiEntryByte &&
                kDevMonitorNmiEntryByte < kDevMonitorServiceByte && kDevMonitorServiceByte < kDevMonitorNmiSlotByte);
  static_assert(kDevDescMagic == 0 && kDevDescVersion == 4 && kDevDescBreakEntry == 5 && kDevDescNmiEntry == 6);
  const std::string bank = std::to_string(kDevMonitorBankSize);
  const auto n = [](std::size_t v) { return std::to_string(v); };
  std::string t;
  t += "; mon80.asm: the monitor of the simulated emulator board, for the monitor\r\n";
  t += "; assembler mon80.EXE (binutils Z80 syntax). The image is the monitor\r\n";
  t += "; area's banks of " + bank + " bytes in file order: bank 127, which the window's\r\n";
  t += "; upper half shows, then banks 2 to " + n(kDevColdStartBank) + ", which its lower half shows in\r\n";
  t += "; turn. Every byte that is no data is HALT.\r\n";
  t += "\r\n";
  t += "        .globl  mon_code_address, mon_cpu, mon_handshake\r\n";
  t += "        .globl  mon_break_entry, mon_nmi_entry, mon_nmi_slot, mon_position\r\n";
  t += "        .equ    mon_code_address, 0x" + hex(kBoard.monitor_code_address) + "  ; the last 128 bytes of LROM1\r\n";
  t += "        .equ    mon_cpu, " + n(kDevMonitorCpuZ80) + "\r\n";
  t += "        .equ    mon_handshake, 0\r\n";
  t += "        .equ    mon_window_top, mon_code_address + " + bank + "  ; where bank 127 shows\r\n";
  t += "        .equ    mon_break_entry, mon_window_top + " + n(kDevMonitorBreakEntryByte) + "\r\n";
  t += "        .equ    mon_nmi_entry, mon_window_top + " + n(kDevMonitorNmiEntryByte) + "\r\n";
  t += "        .equ    mon_nmi_slot, " + n(kDevTopBank) + " * " + bank + " + " + n(kDevMonitorNmiSlotByte) + "\r\n";
  t += "        .equ    mon_position, " + n(kDevMonitorPosition) + "  ; the service run starts at the break byte\r\n";
  t += "        .equ    fill_byte, 0x" + hex(kDevMonitorFill) + "\r\n";
  t += "\r\n";
  t += "        .text\r\n";
  t += "; bank 127: the descriptor the monitor is known by\r\n";
  t += "        .ascii  \"";
  for (u8 c : kDevMonitorMagic) t += char(c);
  t += "\"\r\n";
  t += "        .byte   " + n(kDevMonitorVersion) + "                 ; version\r\n";
  t += "        .byte   " + bank + " + " + n(kDevMonitorBreakEntryByte) + ", " + bank + " + " + n(kDevMonitorNmiEntryByte) +
       "  ; window offsets of the break and NMI entries\r\n";
  t += "        .fill   " + n(kDevMonitorBreakEntryByte - kDevDescNmiEntry - 1) + ", 1, fill_byte\r\n";
  t += "break_entry:\r\n";
  t += "        .fill   " + n(kDevMonitorNmiEntryByte - kDevMonitorBreakEntryByte) + ", 1, fill_byte\r\n";
  t += "nmi_entry:\r\n";
  t += "        .fill   " + n(kDevMonitorServiceByte - kDevMonitorNmiEntryByte) + ", 1, fill_byte\r\n";
  t += "service:\r\n";
  t += "        .byte   0xFF              ; RST 38H until the debugger puts its break byte here\r\n";
  t += "        .fill   " + n(kDevMonitorNmiSlotByte - kDevMonitorServiceByte - 1) + ", 1, fill_byte\r\n";
  t += "nmi_slot:                         ; the debugger's JP to a user NMI handler\r\n";
  t += "        .fill   " + n(kDevMonitorBankSize - kDevMonitorNmiSlotByte) + ", 1, fill_byte\r\n";
  t += "\r\n";
  t += "; banks 2 to " + n(kDevColdStartBank) + ": each begins with its tag, the bank number and its complement\r\n";
  t += "        .set    bank, " + n(kDevFirstImageBank) + "\r\n";
  t += "        .rept   " + n(kDevMonitorChunks - 1) + "\r\n";
  t += "        .ascii  \"";
  for (u8 c : kDevMonitorTagMagic) t += char(c);
  t += "\"\r\n";
  t += "        .byte   bank, 255 - bank\r\n";
  t += "        .fill   " + n(kDevMonitorBankSize - kDevMonitorTagSize) + ", 1, fill_byte\r\n";
  t += "        .set    bank, bank + 1\r\n";
  t += "        .endr\r\n";
  return std::vector<u8>(t.begin(), t.end());
}

// A new project: the default layout, an empty breakpoint section and the
// setup sections, lines ending in CR LF and one 0x1A after the last.
std::vector<u8> project_template() {
  std::string text = "%SYS\r\n";
  text += kDefaultSysBody;
  text += "%BRK\r\n";
  text += kTemplateTail;
  text += '\x1A';
  return std::vector<u8>(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkdata <folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const struct {
    const char* name;
    std::vector<u8> bytes;
  } files[] = {
      {"qqn80.cfg", config_file()},
      {"rz7_00.hwf", logic_file()},
      {"MON80.QQN", dev_monitor_file(kBoard)},
      {"mon80.asm", monitor_source()},
      {"qqn80.qpj", project_template()},
  };
  for (const auto& f : files) {
    if (!host_write_file_atomic((folder / f.name).string(), f.bytes)) {
      std::fprintf(stderr, "mkdata: cannot write %s\n", (folder / f.name).c_str());
      return 1;
    }
  }
  return 0;
}
