// The MMU command: the stop-time windows of a monitor-managed MMU, or the
// HD64180's on-chip CBR, BBR and CBAR read and written through I/O ports at
// the internal I/O base + 0x38..0x3A. No register is written before every
// setting of the line has passed its checks.
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"

namespace {


constexpr u16 kCbrPort = 0x38;   // from the internal I/O base
constexpr u16 kBbrPort = 0x39;
constexpr u16 kCbarPort = 0x3A;
constexpr u16 kIoBaseBits = 0xC0;  // the internal I/O base moves in steps of 64 ports
constexpr u32 kPage = 4096;        // CBR and BBR count 4 KiB pages; CBAR's nibbles too
constexpr u32 kLogicalLimit = 0xFFFF;
constexpr u32 kPhysicalLimit = kMmuPhysicalMask;

bool target_runs() { return (Run.ExecutionState & kExecRunning) != 0; }

// Kinds whose monitor keeps five windows; the others have three.
u16 window_count() { return Cfg.MmuKind == kMmuWindows || Cfg.MmuKind == 8 ? 5 : 3; }

MmuCommandRecord record_of(u8 cbr, u8 bbr, u8 cbar) {
  MmuCommandRecord r;
  r.cbr = cbr;
  r.bbr = bbr;
  r.cbar = cbar;
  r.ca = u16((cbar & 0xF0) << 8);
  r.ba = u16((cbar & 0x0F) << 12);
  r.common_base = cbr * kPage;
  r.bank_base = bbr * kPage;
  return r;
}

void read_registers() {
  const u16 io = TgtMmu.IoBase;
  const u8 cbr = tgt_read_port(u16(io + kCbrPort));
  const u8 bbr = tgt_read_port(u16(io + kBbrPort));
  const u8 cbar = tgt_read_port(u16(io + kCbarPort));
  TgtMmu.Command = record_of(cbr, bbr, cbar);
}

// CBAR first and last: the areas never stand between the old and the new
// bases with a half-written boundary.
void write_registers(const MmuCommandRecord& r) {
  const u16 io = TgtMmu.IoBase;
  tgt_write_port(u16(io + kCbarPort), r.cbar);
  tgt_write_port(u16(io + kCbrPort), r.cbr);
  tgt_write_port(u16(io + kBbrPort), r.bbr);
  tgt_write_port(u16(io + kCbarPort), r.cbar);
}

void display() {
  const MmuCommandRecord& r = TgtMmu.Command;
  const u32 cb = r.common_base;
  const u32 bb = r.bank_base;
  con_printf("\n Intarnal I/O Address = %04x (CBR=%04x)", TgtMmu.IoBase, TgtMmu.IoBase + kCbrPort);
  con_puts("\n 64180 MMU    Logical Addr.   Physical Addr.     Base");
  con_printf("\nCom. Area 1 = %04xH - FFFFH   %05lxH - %05lxH   %05lxH", r.ca, (cb + r.ca) & kMmuPhysicalMask,
             (cb + 0xFFFF) & kMmuPhysicalMask, cb & kMmuPhysicalMask);
  con_puts("\nBank Area   = ");
  if (r.ba == r.ca)
    con_puts("No Existence");
  else
    con_printf("%04xH - %04xH   %05lxH - %05lxH   %05lxH", r.ba, u16(r.ca - 1), (bb + r.ba) & kMmuPhysicalMask,
               (bb + u16(r.ca - 1)) & kMmuPhysicalMask, bb & kMmuPhysicalMask);
  con_puts("\nCom. Area 0 = ");
  if (r.ba == 0)
    con_puts("No Existence");
  else
    con_printf("0000H - %04xH   00000H - %05xH   00000H", u16(r.ba - 1), u16(r.ba - 1));
}

// The windows the monitor keeps, as they were at the stop, the highest first.
void list_windows() {
  con_puts("\n\t Addr.  Physical  Size");
  for (u16 n = window_count(); n-- > 0;) {
    const MmuWindow& w = TgtMmu.StopCopy[n];
    con_printf("\nArea %d = %04xH(%08lxH) %04xH(%5u)", n, w.start, w.physical, w.size, w.size);
  }
}

// The rest of the line is blanks only.
bool at_line_end() {
  cmd_skip_blanks();
  return *Cmd.ScannerCursor == '\0';
}

// One keyword of a settings list and what its value sets.
enum class Setting : u8 { BankArea, CommonArea, BankBase, CommonBase, BankPhysical, CommonPhysical };
struct SettingWord {
  std::string_view word;
  Setting setting;
  u32 limit;  // the largest value it takes
};
constexpr SettingWord kSettingWords[] = {
    {"BA=", Setting::BankArea, kLogicalLimit},       // logical start of the bank area
    {"CA=", Setting::CommonArea, kLogicalLimit},     // logical start of common area 1
    {"BB=", Setting::BankBase, kPhysicalLimit},      // bank base
    {"CB=", Setting::CommonBase, kPhysicalLimit},    // common base
    {"BP=", Setting::BankPhysical, kPhysicalLimit},  // physical address of the bank area's start
    {"CP=", Setting::CommonPhysical, kPhysicalLimit},  // physical address of common area 1's start
};

// What a settings list asks for, starting from the registers as read.
struct Settings {
  u32 ca, ba, common_base, bank_base;
  u32 bank_physical = 0, common_physical = 0;
  bool bank_physical_given = false, common_physical_given = false;
};

// Reads the settings list at the cursor into `s`; false (message 1 shown)
// at an unknown keyword or a value that is bad, too large or not a whole
// number of 4 KiB pages.
bool read_settings(Settings& s) {
  for (;;) {
    // blanks and commas, any number of each, between two settings
    for (cmd_skip_blanks(); *Cmd.ScannerCursor == ','; cmd_skip_blanks()) ++Cmd.ScannerCursor;
    if (*Cmd.ScannerCursor == '\0') return true;
    const SettingWord* found = nullptr;
    for (const SettingWord& w : kSettingWords)
      if (cmd_match_keyword(w.word) == 0) {
        found = &w;
        break;
      }
    if (found == nullptr) break;
    const u32 value = cmd_get_expression();
    if (Cmd.AbortFlag || value > found->limit || value % kPage != 0) break;
    switch (found->setting) {
      case Setting::BankArea: s.ba = value; break;
      case Setting::CommonArea: s.ca = value; break;
      case Setting::BankBase: s.bank_base = value; break;
      case Setting::CommonBase: s.common_base = value; break;
      case Setting::BankPhysical:
        s.bank_physical = value;
        s.bank_physical_given = true;
        break;
      case Setting::CommonPhysical:
        s.common_physical = value;
        s.common_physical_given = true;
        break;
    }
  }
  cmd_error(kMsgData);
  return false;
}

// The monitor's code block and its data (the 128 bytes below its initial
// stack) must keep their addresses, and so must everything below the data,
// the vectors that enter the monitor among them: an area with a non-zero base
// must not start inside the code block, nor below the end of the data.
bool starts_on_monitor(u32 start) {
  const u32 code = EmuInfo.MonitorCodeAddress;
  const u32 data_end = EmuInfo.MonitorStack;
  return (start >= code && start - code < EmuInfo.MonitorSize) || start < data_end;
}

void set_registers() {
  const MmuCommandRecord& now = TgtMmu.Command;
  Settings s{now.ca, now.ba, now.common_base, now.bank_base};
  if (!read_settings(s)) return;
  // the physical forms name where an area's first address goes
  if (s.bank_physical_given) s.bank_base = (s.bank_physical - s.ba) & kMmuPhysicalMask;
  if (s.common_physical_given) s.common_base = (s.common_physical - s.ca) & kMmuPhysicalMask;
  if (s.ca < s.ba) {
    cmd_error(kMsgData);
    return;
  }
  const bool common_moves_monitor = s.common_base != 0 && starts_on_monitor(s.ca);
  const bool bank_moves_monitor = s.bank_base != 0 && s.ba < s.ca && starts_on_monitor(s.ba);
  if (common_moves_monitor || bank_moves_monitor) {
    cmd_error(kMsgMonitorMapping);
    return;
  }
  write_registers(record_of(u8(s.common_base / kPage), u8(s.bank_base / kPage),
                            u8(((s.ca >> 8) & 0xF0) | (s.ba >> 12))));
  read_registers();
  display();
}

}  // namespace

void tgt_cmd_mmu() {
  cmd_skip_blanks();
  if (Cfg.MmuKind != kMmuNone) {
    if (!at_line_end()) {
      cmd_error(kMsgData);
      return;
    }
    list_windows();
    return;
  }
  if (Cfg.CpuType != kCpu64180) {
    cmd_error(kMsgCommandError);
    return;
  }
  if (target_runs()) {
    cmd_error(kMsgTargetRunning);
    return;
  }
  read_registers();
  if (at_line_end()) {
    display();
  } else if (cmd_match_keyword("PUSH") == 0) {
    if (!at_line_end()) {
      cmd_error(kMsgData);
      return;
    }
    display();
    TgtMmu.Pushed = TgtMmu.Command;
    TgtMmu.PushedValid = 1;
    con_puts("\n Push MMU Status !");
  } else if (cmd_match_keyword("POP") == 0) {
    if (!at_line_end()) {
      cmd_error(kMsgData);
      return;
    }
    if (!TgtMmu.PushedValid) {
      con_puts("\nNot Exist MMU Satus !");
      return;
    }
    write_registers(TgtMmu.Pushed);
    read_registers();
    display();
    con_puts("\n Pop MMU Status !");
  } else if (cmd_match_keyword("IO=") == 0) {
    const u32 base = cmd_get_expression();
    // a base between the steps, or anything but the value on the line?
    if (Cmd.AbortFlag || !at_line_end() || (base & ~u32(kIoBaseBits)) != 0) {
      cmd_error(kMsgAddress);
      return;
    }
    TgtMmu.IoBase = u16(base);
  } else {
    set_registers();
  }
}

std::size_t tgt_mmu_window_text(u16 n, std::span<char> out) {
  if (out.empty()) return 0;
  if (n >= kMmuWindowCount) {
    out[0] = '\0';
    return 0;
  }
  const MmuWindow& w = target_runs() ? TgtMmu.RunCopy[n] : TgtMmu.StopCopy[n];
  return sup_sprintf(out, " MMU%d : %04xH(%08lxH) Size %04xH(%5u)", n, w.start, w.physical, w.size, w.size);
}
