// The window table and what keeps it in step with the target: refresh at a
// stop, push when it changes, the copies for stops and runs, the bank window,
// the translations and the temporary bank mapping. The MMU command is in
// tgt_mmu_cmd.cpp.
#include "halv80/engine/tgt_mmu.h"

#include <algorithm>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_memory.h"

constinit TgtMmuState TgtMmu;

namespace {

constexpr u32 kLogicalTop = 0x10000;    // one past the last logical address
constexpr u16 kWindowUnit = 1024;       // four-window kind: window starts in KiB
constexpr u8 kWindowOff = 63;           // four-window kind: lo bits 0-5 of a window not in use
constexpr u8 kTopWindowPage = 240;      // four-window kind: window 4's physical page bits, fixed
constexpr u16 kBankPage = 4096;         // bank kinds: registers count 4 KiB pages
constexpr u16 kToolchainNoDebugInfo = 16;

bool mmu_set() { return Cfg.MmuKind != kMmuNone; }
bool four_window_kind() { return (Cfg.MmuKind & kMmuWindows) != 0; }
bool bank_kind() { return Cfg.MmuKind == kMmuBank || Cfg.MmuKind == kMmuBankS; }
bool target_runs() { return (Run.ExecutionState & kExecRunning) != 0; }

// `address` inside window w, as unsigned differences (a window may wrap the
// 20-bit space).
bool holds_logical(const MmuWindow& w, u16 address) { return w.size != 0 && w.start <= address; }
bool holds_physical(const MmuWindow& w, u32 address) {
  return w.size != 0 && address >= w.physical && address - w.physical < w.size;
}
u32 physical_in(const MmuWindow& w, u16 address) { return (address - w.start + w.physical) & kMmuPhysicalMask; }

// Windows 1..3 of two tables differ in start or base?
bool map_differs(std::span<const MmuWindow> a, std::span<const MmuWindow> b) {
  for (std::size_t i = 0; i < kMmuSnapshotWindows; ++i)
    if (a[i].start != b[i].start || a[i].physical != b[i].physical) return true;
  return false;
}
std::span<const MmuWindow> windows_1_to_3(const MmuWindowTable& t) {
  return std::span<const MmuWindow>(t).subspan(1, kMmuSnapshotWindows);
}

void refresh_four_windows() {
  std::array<u8, kMmuWindowBytes> b{};
  emu_req_read_mmu_windows(b);
  b[7] = kTopWindowPage;  // window 4 always maps into the top 64 KiB
  u32 previous = kLogicalTop;
  u16 bank = 0;
  // Window 4 down to 1: a window maps from its start up to the start of the
  // next higher window in use; one that starts at or above it maps nothing.
  for (u16 n = 4; n >= 1; --n) {
    const u8 lo = b[2 * n - 2];
    const u8 hi = b[2 * n - 1];
    const bool on = (lo & 63) < kWindowOff;
    const u32 start = (u32(lo & 63) + 1) * kWindowUnit;
    MmuWindow& w = TgtMmu.Windows[n];
    w.start = u16(start);  // a window not in use starts at 0
    w.physical = (u32(lo & 0xC0) + u32(hi) * 256) * 16 + w.start;
    w.size = 0;
    if (on && start < previous) {
      w.size = u16(previous - start);
      previous = start;
    }
    if (bank == 0 && on && start >= TgtMmu.BankBase) bank = n;
  }
  TgtMmu.Windows[0] = MmuWindow{0, 0, u16(previous)};  // 0 when no window is in use
  if (bank != 0) TgtMmu.BankWindow = bank;
}

void refresh_bank_registers() {
  std::array<u8, kMmuBankBytes> r{};  // CBR, BBR, CBAR
  emu_req_read_mmu_bank(Cfg.MmuKind, r);
  const u16 ba = u16((r[2] & 0x0F) * kBankPage);
  const u16 ca = u16((r[2] & 0xF0) * 256);
  // With CA below BA there is no bank area, and common area 0 ends at CA.
  const u16 common0_end = std::min(ba, ca);
  TgtMmu.Windows[0] = MmuWindow{0, 0, common0_end};
  TgtMmu.Windows[1] = MmuWindow{u32(r[1]) * kBankPage + ba, ba, u16(ca > ba ? ca - ba : 0)};
  TgtMmu.Windows[2] = MmuWindow{u32(r[0]) * kBankPage + ca, ca, u16(kLogicalTop - ca)};  // CA 0: size 0
  if (ca == TgtMmu.BankBase) TgtMmu.BankWindow = 2;
}

void push_four_windows() {
  std::array<u8, kMmuWindowBytes> b{};
  for (u16 n = 1; n <= 4; ++n) {
    const MmuWindow& w = TgtMmu.Windows[n];
    const u32 displacement = w.physical - w.start;  // modulo 2^32: the target wraps at 1 MiB
    b[2 * n - 2] = u8((((w.start >> 10) - 1) & 63) | ((displacement >> 4) & 0xC0));
    b[2 * n - 1] = u8(displacement >> 12);
  }
  emu_req_set_mmu_windows(b);
}

void push_bank_registers() {
  const MmuWindowTable& t = TgtMmu.Windows;
  // An empty common area 1 (the temporary bank mapping empties it): window 1
  // is the common area, and the bank area has no room.
  const MmuWindow& common = t[2].start != 0 ? t[2] : t[1];
  const u16 ca = common.start;
  const u16 ba = t[1].start;
  const std::array<u8, kMmuBankBytes> r = {
      u8((common.physical - ca) >> 12),               // CBR
      u8((t[1].physical - ba) >> 12),                 // BBR
      u8(((ca >> 8) & 0xF0) | ((ba >> 12) & 0x0F)),  // CBAR
  };
  emu_req_set_mmu_bank(Cfg.MmuKind, r);
}

// The bank window is chosen once, at the first stop where it has a start:
// window 2, or for the four-window kinds the higher of windows 4 and 3 that
// maps something at the stop.
void choose_bank_window() {
  if (TgtMmu.BankBase != 0) return;
  u16 n = 2;
  if ((Cfg.MmuKind & 0x09) != 0) {
    if (TgtMmu.StopCopy[4].size != 0)
      n = 4;
    else if (TgtMmu.StopCopy[3].size != 0)
      n = 3;
  }
  TgtMmu.BankWindow = n;
  TgtMmu.BankBase = TgtMmu.StopCopy[n].start;
}

// A temporary bank mapping that an ended command left in force is given up:
// the table it saved is no longer the target's. The descriptors come back.
void forget_bank_map() {
  if (!TgtMmu.BankMapSaved) return;
  TgtMmu.Descriptors[0] = TgtMmu.SavedDescriptor;
  TgtMmu.DescriptorCount = TgtMmu.SavedDescriptorCount;
  TgtMmu.BankMapSaved = 0;
}

// Puts windows 1..3 of `from` into the table and onto the target, when they
// differ.
void restore_windows(std::span<const MmuWindow> from) {
  if (!map_differs(windows_1_to_3(TgtMmu.Windows), from)) return;
  std::copy(from.begin(), from.end(), TgtMmu.Windows.begin() + 1);
  tgt_push_windows();
}

}  // namespace

void tgt_mmu_reset() { TgtMmu = TgtMmuState{}; }

void tgt_reset_window_table() {
  TgtMmu.Windows = MmuWindowTable{};
  tgt_push_windows();
  TgtMmu.StopCopy = TgtMmu.Windows;
  TgtMmu.RunCopy = TgtMmu.Windows;
}

void tgt_refresh_windows() {
  if (four_window_kind())
    refresh_four_windows();
  else if (bank_kind())
    refresh_bank_registers();
}

bool tgt_push_windows() {
  if (target_runs()) {
    cmd_error(kMsgTargetRunning);
    return false;
  }
  // cached reads hold bytes of the old map
  TgtMem.CachedMode = 0;
  tgt_cache_empty();
  if (four_window_kind())
    push_four_windows();
  else if (bank_kind())
    push_bank_registers();
  return true;
}

void tgt_mmu_after_stop() {
  if (!mmu_set() || Sw.NoMonitorMode != 0) return;
  forget_bank_map();
  tgt_refresh_windows();
  TgtMmu.StopCopy = TgtMmu.Windows;
  const auto stop = windows_1_to_3(TgtMmu.StopCopy);
  std::copy(stop.begin(), stop.end(), TgtMmu.Snapshot.begin());
  choose_bank_window();
}

void tgt_mmu_before_go() {
  if (mmu_set()) {
    forget_bank_map();
    restore_windows(windows_1_to_3(TgtMmu.StopCopy));
  }
  TgtMmu.RunCopy = TgtMmu.Windows;
}

void tgt_sync_map_snapshot() {
  if (mmu_set()) restore_windows(TgtMmu.Snapshot);
}

void tgt_keep_hit_window() {
  const u16 n = TgtMmu.HitWindow;
  if (n >= 1 && n < kMmuWindowCount) TgtMmu.StopCopy[n] = TgtMmu.Windows[n];
}

u32 tgt_logical_to_physical(u16 logical) {
  TgtMem.LastLogical = logical;
  TgtMmu.HitWindow = 0;
  if (!mmu_set()) return logical;
  const MmuWindowTable& t = TgtMmu.Windows;
  if (logical < t[0].size) return logical;  // common area 0
  const u16 bank = TgtMmu.BankWindow;
  if (bank < kMmuWindowCount && t[bank].start == TgtMmu.BankBase && holds_logical(t[bank], logical)) {
    TgtMmu.HitWindow = bank;
    return physical_in(t[bank], logical);
  }
  for (u16 n = 4; n >= 1; --n) {
    if (!holds_logical(t[n], logical)) continue;
    TgtMmu.HitWindow = n;
    return physical_in(t[n], logical);
  }
  return logical;
}

bool tgt_logical_mapped(u16 logical) {
  const MmuWindowTable& t = TgtMmu.Windows;
  if (!mmu_set() || logical < t[0].size) return true;
  bool in_use = false;
  for (u16 n = 1; n < kMmuWindowCount; ++n) {
    if (holds_logical(t[n], logical)) return true;
    in_use = in_use || t[n].size != 0;
  }
  // no window in use: common area 0's size of 64 KiB reads 0
  return !in_use;
}

u32 tgt_banked_to_logical(u32 banked) {
  if (TgtMmu.DescriptorCount == 0) return banked;
  if (target_runs()) {
    cmd_error(kMsgTargetRunning);
    return banked;
  }
  MmuWindowTable& t = TgtMmu.Windows;
  if (banked < t[0].size) return banked;  // common area 0
  const u16 bank = TgtMmu.BankWindow;
  if (bank < kMmuWindowCount && holds_physical(t[bank], banked)) return banked - t[bank].physical + t[bank].start;

  const u16 count = std::min<u16>(TgtMmu.DescriptorCount, kBankDescriptorMax);
  const auto holds = [&](u16 i) {
    const BankDescriptor& d = TgtMmu.Descriptors[i];
    return banked >= d.base && banked - d.base < d.size;
  };
  u16 found = count;
  if (TgtMmu.CurrentDescriptor < count && holds(TgtMmu.CurrentDescriptor)) found = TgtMmu.CurrentDescriptor;
  for (u16 i = 0; i < count && found == count; ++i)
    if (holds(i)) found = i;
  if (found == count) {
    // Without debug information the windows themselves are the banks.
    if (Sw.ToolchainKind == kToolchainNoDebugInfo)
      for (u16 n = 1; n <= kMmuSnapshotWindows; ++n)
        if (holds_physical(t[n], banked)) return banked - t[n].physical + t[n].start;
    return banked;
  }
  TgtMmu.CurrentDescriptor = found;
  const BankDescriptor& d = TgtMmu.Descriptors[found];
  // the window at the bank's logical start shows another bank?
  for (u16 n = 1; n <= kMmuSnapshotWindows; ++n) {
    if (t[n].start != d.start || t[n].physical == d.base) continue;
    t[n].physical = d.base;
    tgt_push_windows();
    break;
  }
  return banked - d.base + d.start;
}

u32 tgt_to_physical(u32 logical) { return mmu_set() ? tgt_logical_to_physical(u16(logical)) : logical; }

u32 tgt_to_logical(u32 physical) { return tgt_banked_to_logical(physical); }

bool tgt_add_bank_descriptor(u32 base, u16 start, u16 size) {
  if (TgtMmu.DescriptorCount >= kBankDescriptorMax || size == 0) return false;
  TgtMmu.Descriptors[TgtMmu.DescriptorCount++] = BankDescriptor{base, start, size};
  return true;
}

bool tgt_map_bank_temporarily(u32 base, u16 start) {
  if (!mmu_set() || start == 0) return false;
  if (target_runs()) {
    cmd_error(kMsgTargetRunning);
    return false;
  }
  if (!TgtMmu.BankMapSaved) {
    TgtMmu.SavedWindows = TgtMmu.Windows;
    TgtMmu.SavedDescriptor = TgtMmu.Descriptors[0];
    TgtMmu.SavedDescriptorCount = TgtMmu.DescriptorCount;
    TgtMmu.BankMapSaved = 1;
  }
  const MmuWindow window{base, start, u16(kLogicalTop - start)};
  TgtMmu.Windows = MmuWindowTable{};
  TgtMmu.Windows[0].size = start;
  TgtMmu.Windows[1] = window;
  TgtMmu.Descriptors[0] = BankDescriptor{window.physical, window.start, window.size};
  TgtMmu.DescriptorCount = 1;
  TgtMmu.CurrentDescriptor = 0;
  tgt_push_windows();
  return true;
}

void tgt_restore_bank_map() {
  if (!TgtMmu.BankMapSaved) return;
  TgtMmu.Windows = TgtMmu.SavedWindows;
  forget_bank_map();
  if (TgtMmu.CurrentDescriptor >= TgtMmu.DescriptorCount) TgtMmu.CurrentDescriptor = 0;
  tgt_push_windows();
}

u16 tgt_bank_in(u32 banked) {
  const u32 page = banked & ~u32(Cfg.PageMask);
  if (!tgt_map_bank_temporarily(page, TgtMmu.BankBase)) return u16(banked);
  return u16(tgt_banked_to_logical(banked));
}
