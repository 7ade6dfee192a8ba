// The per-processor configuration file qqn80.cfg: its reader (a 1,024-byte
// window over the file, comment blocks, keyword lines), the keyword table and
// what each keyword sets, the ROM type table and the layout checks at its end.
// Owns CfgState; the ROM areas go to the area table through emu_set_rom_layout.
// Operands are read with the command-line fetchers from a copy of the line:
// the scanner never sees, and never writes into, the file's window.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::string_view CpuConfigFile = "qqn80.cfg";

constexpr std::size_t kCfgWindowSize = 1024;   // bytes of the file held at once
constexpr std::size_t kCfgRefillMark = 128;    // fewer unread bytes than this: the window is refilled
constexpr std::size_t kTraceAddressMax = 32;   // addresses of TRACE ADDRESS MASK
constexpr std::size_t kCycleKindCount = 8;     // INTA CF MR MW IR IW MEM IO
constexpr u32 kTraceAddressEnd = 0xFFFFFFFF;   // ends a trace address list shorter than 32
constexpr u16 kNoNmiAddress = 0xFFFF;
constexpr u16 kPowerOffSecondsMax = 20;

// External-clock words of TRACE/BREAK EXT. CLK; a number 0..31 stands as itself.
constexpr u16 kExtClockExt = 160;
constexpr u16 kExtClockInt = 64;
constexpr u16 kExtClockSeq = 128;
constexpr u16 kExtClockNumberMax = 31;

// NMI-pin word bits.
constexpr u16 kNmiPinUsed = 1;
constexpr u16 kNmiPinLevel = 2;   // level triggered; clear: edge

// Memory-management kinds of BANK MODE.
constexpr u16 kMmuNone = 0;
constexpr u16 kMmuWindows = 1;    // KC80: four windows
constexpr u16 kMmuBank = 2;       // 64180 and 64180R
constexpr u16 kMmuBankS = 4;      // 64180S
constexpr u16 kPageMaskWindows = 1023;
constexpr u16 kPageMaskDefault = 4095;

// CpuType values.
constexpr u16 kCpu8080 = 0;
constexpr u16 kCpuZ80 = 1;
constexpr u16 kCpu64180 = 2;
constexpr u16 kCpuKc80 = 3;
constexpr u16 kCpuR800 = 4;       // from the monitor header only

// The emulation-ROM devices a ROM TYPE line selects. The complement of
// ROM1's blocks field is the library's ROM address mask.
struct RomTypeInfo {
  const char* name;
  u32 size;          // bytes
  u16 blocks;        // 8 KiB blocks - 1
  u32 double_size;   // 2 x size
};
// ORDER: type index (RomLayout::rom1_type, rom2_type).
constexpr RomTypeInfo RomTypeTable[] = {
    {"2764", 0x2000, 0x000, 0x4000},        // 0
    {"27128", 0x4000, 0x001, 0x8000},       // 1
    {"27256", 0x8000, 0x003, 0x10000},      // 2
    {"27512", 0x10000, 0x007, 0x20000},     // 3
    {"27101", 0x20000, 0x00F, 0x40000},     // 4
    {"27201", 0x40000, 0x01F, 0x80000},     // 5
    {"27401", 0x80000, 0x03F, 0x100000},    // 6
    {"27_8M", 0x100000, 0x07F, 0x200000},   // 7
    {"27_16M", 0x200000, 0x0FF, 0x400000},  // 8
    {"27_32M", 0x400000, 0x1FF, 0x800000},  // 9
};
constexpr std::size_t kRomTypeCount = std::size(RomTypeTable);
static_assert(kRomTypeCount == 10);
consteval bool rom_types_consistent() {
  for (const RomTypeInfo& t : RomTypeTable)
    if (t.blocks != t.size / 0x2000 - 1 || t.double_size != 2 * t.size) return false;
  return true;
}
static_assert(rom_types_consistent());

// Keyword numbers: the position in the keyword table. ORDER KEYWORD
enum class ConfigKeyword : u16 {
  Jtag, RomVcc, ExtClock, PortAddress, Rom1Type, MmuRegBase, MonitorInitStack, SoftBreak,
  IoMask16, Rom2Type, Lrom1Address, Urom1Address, Lrom2Address, Urom2Address, Shadow,
  TraceAddressMask, TraceInta, TraceCodeFetch, TraceMemoryRead, TraceMemoryWrite, TraceIoRead,
  TraceIoWrite, TraceMemoryRw, TraceIoRw, Nmip, NmiAddress, BankMode, HardBreakLogic,
  PowerOffDetectTime, Init,
  Count
};

struct ConfigKeywordEntry {
  const char* word;       // matched, ignoring case, against the start of a line
  ConfigKeyword keyword;
};
// Matched in this order; the first keyword the line begins with wins.
constexpr ConfigKeywordEntry ConfigKeywordTable[] = {
    {"JTAG", ConfigKeyword::Jtag},
    {"ROM VCC", ConfigKeyword::RomVcc},
    {"TRACE/BREAK EXT. CLK", ConfigKeyword::ExtClock},
    {"PORT ADDRESS", ConfigKeyword::PortAddress},
    {"ROM1 TYPE", ConfigKeyword::Rom1Type},
    {"MMU REG BASE", ConfigKeyword::MmuRegBase},
    {"MONITOR INIT. STACK", ConfigKeyword::MonitorInitStack},
    {"SOFT BP(RST?)", ConfigKeyword::SoftBreak},
    {"IOMASK16", ConfigKeyword::IoMask16},
    {"ROM2 TYPE", ConfigKeyword::Rom2Type},
    {"LROM1 ADDRESS", ConfigKeyword::Lrom1Address},
    {"UROM1 ADDRESS", ConfigKeyword::Urom1Address},
    {"LROM2 ADDRESS", ConfigKeyword::Lrom2Address},
    {"UROM2 ADDRESS", ConfigKeyword::Urom2Address},
    {"SHADOW", ConfigKeyword::Shadow},
    {"TRACE ADDRESS MASK", ConfigKeyword::TraceAddressMask},
    {"TRACE INT ACK.  (INTA)", ConfigKeyword::TraceInta},
    {"TRACE CODE FETCH  (CF)", ConfigKeyword::TraceCodeFetch},
    {"TRACE MEMORY READ (MR)", ConfigKeyword::TraceMemoryRead},
    {"TRACE MEMORY WRITE(MW)", ConfigKeyword::TraceMemoryWrite},
    {"TRACE I/O READ    (IR)", ConfigKeyword::TraceIoRead},
    {"TRACE I/O WRITE   (IW)", ConfigKeyword::TraceIoWrite},
    {"TRACE MEMORY R/W (MEM)", ConfigKeyword::TraceMemoryRw},
    {"TRACE I/O R/W     (IO)", ConfigKeyword::TraceIoRw},
    {"NMIP", ConfigKeyword::Nmip},
    {"NMI ADDRESS", ConfigKeyword::NmiAddress},
    {"BANK MODE", ConfigKeyword::BankMode},
    {"HARD BREAK LOGIC", ConfigKeyword::HardBreakLogic},
    {"POWER OFF DETECT TIME", ConfigKeyword::PowerOffDetectTime},
    {"INIT", ConfigKeyword::Init},
};
static_assert(std::size(ConfigKeywordTable) == std::size_t(ConfigKeyword::Count));
consteval bool keywords_in_order() {
  for (std::size_t i = 0; i < std::size(ConfigKeywordTable); ++i)
    if (std::size_t(ConfigKeywordTable[i].keyword) != i) return false;
  return true;
}
static_assert(keywords_in_order());

// One trace cycle kind: the status bits it matches and which of them count.
struct CycleStatus {
  u16 value = 0;
  u16 mask = 0;   // bits that count; 0: the kind is not available
};

// The start-up settings; the member initialisers are the values before the
// file is read.
struct CfgState {
  u16 Reading = 0;                       // the configuration file is being read
  u16 DataBusWidth = 1;                  // target data bus, bytes
  u16 MonitorInitStack = 0x8080;         // the monitor's initial stack pointer
  u16 NmiAddress = kNoNmiAddress;        // where the monitor's NMI slot jumps; kNoNmiAddress: none
  u8 BreakOpcode = 0xFF;                 // software-break instruction: RST n
  u16 MmuIoBase = 0x38;                  // I/O base of the HD64180 memory-management registers
  u8 IoMask16 = 0;                       // non-zero: I/O addresses are 16 bits
  u16 MmuKind = kMmuNone;                // memory-management kind (BANK MODE)
  u16 PageMask = kPageMaskDefault;       // 1023 for the four-window kind
  u16 BankModeGiven = 0;                 // a BANK MODE line was read: CpuType is fixed
  u16 CpuType = kCpuZ80;                 // 0 8080/8085; 1 Z80; 2 HD64180; 3 KC80; 4 R800
  u16 HardBreakLogic = 1;                // 0 after HARD BREAK LOGIC RZ
  u32 PowerOffDetectMs = 0;              // power-off detect time
  u16 ExtClock = 0;                      // external-clock word; 0: never given
  u16 NmiPin = 0;                        // kNmiPinUsed, kNmiPinLevel
  u8 RomVoltage = 0;                     // emulation-ROM supply: 3 for 3 V, 0 for 5 V
  u32 TraceAddressMask = 0;
  u32 TraceAddresses[kTraceAddressMax] = {
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd, kTraceAddressEnd,
      kTraceAddressEnd, kTraceAddressEnd};
  CycleStatus Cycles[kCycleKindCount]{};  // ORDER: INTA CF MR MW IR IW MEM IO
  u16 CycleStatusBits = 0;               // OR of the eight masks
  u16 PortBase = 0;                      // interface port base (a multiple of 8)
  u16 InterfaceKind = 0;                 // PCI/n: n AND 15
  u16 PcCardSeen = 0;                    // a PC or PC SS operand was taken; later ones are ignored
};
extern CfgState Cfg;

// Start-up values.
void cfg_reset();

// Opens `name` for reading in the current directory, else in each directory
// of PATH in turn; the handle, or -1.
int emu_open_on_path(std::string_view name);
// The path at which emu_open_on_path finds `name`; empty when it does not.
std::string emu_find_on_path(std::string_view name);

// Reads and applies the file `name` (found by emu_open_on_path). Returns 0, or
// the number of the start-up error it has reported: 1 not found, 0 a bad line
// (Startup.ConfigLine holds it), 2 4 25 from cfg_check_layout, or a fatal
// error of PORT ADDRESS (22 23 27 28). Sets Radix to 16.
u16 cfg_read_config(std::string_view name);
// cfg_read_config(CpuConfigFile); any error ends the program run (does not
// return then).
u16 cfg_read_config_file();
// Applies one keyword to `operand` (the text after the keyword; it is cut at
// the first byte below 0x21 or ';'). A bad operand sets Cmd.AbortFlag; the
// result is 0, or a start-up error that ends the reading.
u16 cfg_parse_config_line(ConfigKeyword keyword, std::string_view operand);
// At the end of the file: ROM2 undefined without its areas, then 25 (an upper
// area without its lower one), 2 (monitor stack in a ROM area, not checked in
// bank mode) or 4 (two areas overlap); 0 when the layout is sound.
u16 cfg_check_layout();
