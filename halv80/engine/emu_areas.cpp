// Emulation areas: the look-up, the monitor-area guard, the handshake bracket
// around direct emulation-memory access, and block move and fill across areas.
#include "halv80/engine/emu_areas.h"

#include <algorithm>
#include <array>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

constinit EmuAreaState EmuArea;

namespace {

// Interface register 2 after a bracket in no-monitor mode: bits 2-3 set
// close the host's emulation-memory access again.
constexpr u8 kRegEmuMode = 2;
constexpr u8 kEmuAccessClosed = 12;

// Where one address lives.
struct AreaRow {
  u16 kind;
  u32 start, end, offset;
};

bool present(u32 start, u32 end) { return start != kLayoutUndefined && start <= end; }

// The monitor area lies inside LROM1, at its code address.
bool monitor_present(const RomLayout& l) {
  return present(l.lrom1_start, l.lrom1_end) && l.monitor_code_address != kLayoutUndefined &&
         l.monitor_code_address >= l.lrom1_start && l.monitor_code_address <= l.lrom1_end;
}

// [a, a + len) and [b, b + blen) share a byte; 64-bit so that no end wraps.
bool ranges_meet(u32 a, u32 len, u64 b, u64 blen) {
  return len != 0 && blen != 0 && u64(a) < b + blen && b < u64(a) + len;
}

std::array<AreaRow, 4> area_rows(const RomLayout& l) {
  return {{{kAreaLrom1, l.lrom1_start, l.lrom1_end, l.lrom1_offset},
           {kAreaUrom1, l.urom1_start, l.urom1_end, l.urom1_offset},
           {kAreaLrom2, l.lrom2_start, l.lrom2_end, l.lrom2_offset},
           {kAreaUrom2, l.urom2_start, l.urom2_end, l.urom2_offset}}};
}

AreaSpan classify(u32 address) {
  const RomLayout& l = EmuArea.Layout;
  AreaSpan s;
  for (const AreaRow& row : area_rows(l)) {
    if (!present(row.start, row.end) || address < row.start || address > row.end) continue;
    s.kind = row.kind;
    s.position = address - row.start + row.offset;
    s.remaining = row.end - address + 1;
    if (row.kind == kAreaLrom1 && monitor_present(l)) {
      const u64 code = l.monitor_code_address;
      if (address >= code && u64(address) < code + kMonitorBlockSize) {
        s.kind = kAreaMonitor;
        s.remaining = u32(std::min<u64>(s.remaining, code + kMonitorBlockSize - address));
      } else if (address < code) {
        s.remaining = std::min(s.remaining, u32(code - address));  // LROM1 below the monitor ends at it
      }
    }
    return s;
  }
  // Not emulated: up to the nearest area start above. An area that is not
  // present never stops a piece, so every piece has at least one byte.
  s.next = kLayoutUndefined - address;
  for (const AreaRow& row : area_rows(l))
    if (present(row.start, row.end) && row.start > address) s.next = std::min(s.next, row.start - address);
  return s;
}

// emu_area_lookup, with the numbers also for a caller without a work area.
AreaSpan lookup(u32 address) {
  const AreaSpan s = classify(address);
  if (BiosWorkArea* w = SupHost.BiosWork.get()) {
    w->set16<kWorkAreaKind>(s.kind);
    if (s.kind != kAreaNone) {
      w->set32<kWorkRomAddress>(s.position);
      w->set32<kWorkAreaRemaining>(s.remaining);
      w->set32<kWorkNextArea>(0);
    } else {
      w->set32<kWorkAreaRemaining>(0);
      w->set32<kWorkNextArea>(s.next);
    }
  }
  // the monitor's own bytes, and the guard not lifted?
  if (s.kind == kAreaMonitor && !EmuArea.SystemDebugMode && !Sw.NoMonitorMode) cmd_fail(kMsgMonitorArea);
  return s;
}

// A no-monitor-mode monitor-area byte: its copy in monitor memory.
u32 monitor_copy_address(u32 address) { return kMonitorCopyOffset + (address & (kMonitorBlockSize - 1)); }

// Fills [logical, logical + count) through the monitor with a block-write
// request whose data bytes are the pattern from `pattern`.
void monitor_fill(u16 logical, std::span<const u8> pattern, u32 count) {
  if (count == 0 || !emu_request(MonitorRequest::WriteBlock)) return;
  emu_put_word(logical);
  // each data byte is followed by its separator; half a pattern per send
  std::array<u8, kFillPattern> chunk{};
  u32 sent = 0;
  while (sent < count) {
    const u32 n = std::min<u32>(count - sent, kFillPattern / 2);
    for (u32 i = 0; i < n; ++i) {
      chunk[2 * i] = pattern[(sent + i) % 2];
      chunk[2 * i + 1] = sent + i + 1 < count ? kMonitorMore : kMonitorLast;
    }
    emu_putrsblk(std::span<const u8>(chunk).first(2 * n));
    sent += n;
  }
  (void)emu_getrs();  // acknowledge
}

// One direct, bracketed emulation-memory block write at `position`.
void write_emulation_block(u32 position, std::span<const u8> data) {
  emu_monitor_bracket(kBracketBefore);
  emu_rom_write_block(position, data);
  emu_monitor_bracket(kBracketAfter);
}

// The move: offset of piece number `done` bytes in, from either end.
u32 piece_offset(u32 count, u32 done, u32 piece, bool backwards) { return backwards ? count - done - piece : done; }

}  // namespace

void emu_areas_reset() { EmuArea = EmuAreaState{}; }

void emu_set_rom_layout(const RomLayout& layout) { EmuArea.Layout = layout; }

u16 emu_area_lookup(u32 address) { return lookup(address).kind; }

AreaSpan emu_area_span(u32 address) { return lookup(address); }

u16 emu_range_area(u32 address, u32 length) {
  const u32 last = length == 0 ? address : u32(address + length - 1);
  if (classify(last).kind == kAreaMonitor) return kAreaMonitor;
  return classify(address).kind;
}

bool emu_range_hits_monitor(u32 address, u32 length) {
  const RomLayout& l = EmuArea.Layout;
  return monitor_present(l) && ranges_meet(address, length, l.monitor_code_address, kMonitorBlockSize);
}

void emu_check_monitor_range(u32 address, u32 length) {
  if (emu_range_hits_monitor(address, length) && !EmuArea.SystemDebugMode) cmd_fail(kMsgMonitorArea);
}

bool emu_range_hits_monitor_work(u32 address, u32 length) {
  const RomLayout& l = EmuArea.Layout;
  if (!monitor_present(l)) return false;
  // The library has the bus width only after its initialisation; the
  // target's bus is one byte wide until then.
  u32 width = 1;
  if (const BiosWorkArea* w = SupHost.BiosWork.get(); w && w->get8<kWorkBusWidth>() != 0)
    width = w->get8<kWorkBusWidth>();
  const u32 per_byte = EmuArea.ReducedWork ? kMonitorWorkReduced : kMonitorWorkBytes;
  return ranges_meet(address, length, u64(l.monitor_code_address) + kMonitorWorkOffset, u64(per_byte) * width);
}

void emu_monitor_bracket(u16 phase) {
  // Request 81 goes only to a running monitor; emu_req_set_interrupts sends
  // nothing in no-monitor mode.
  if (phase == kBracketBefore) {
    if (EmuArea.MonitorRunning && EmuArea.HandshakeMode != 0) emu_req_set_interrupts(0);
    return;
  }
  if (phase != kBracketAfter) return;
  if (Sw.NoMonitorMode && SupHost.BiosWork) _Q_wrreg0(kRegEmuMode, kEmuAccessClosed, kEmuAccessClosed);
  if (!EmuArea.MonitorRunning) return;
  if (EmuArea.HandshakeMode == 1) emu_req_set_interrupts(1);
  else if (EmuArea.HandshakeMode == 2) emu_req_set_interrupts(EmuArea.InterruptsEnabled);
}

u8 emu_area_read_byte(u32 address) {
  const AreaSpan s = lookup(address);
  if (s.kind == kAreaNone) return 0;
  emu_monitor_bracket(kBracketBefore);
  u8 value;
  if (s.kind == kAreaMonitor && Sw.NoMonitorMode && !(Sw.NoMonitorOption & 1)) {
    value = emu_mon_read_byte(monitor_copy_address(address));
    emu_mon_enable(1);
  } else {
    value = emu_rom_read_byte(s.position);
  }
  emu_monitor_bracket(kBracketAfter);
  return value;
}

void emu_area_write_byte(u32 address, u8 value) {
  const AreaSpan s = lookup(address);
  if (s.kind == kAreaNone) return;
  emu_monitor_bracket(kBracketBefore);
  emu_rom_write_byte(s.position, value);
  if (s.kind == kAreaMonitor && Sw.NoMonitorMode) {
    emu_mon_write_byte(monitor_copy_address(address), value);
    emu_mon_enable(1);
  }
  emu_monitor_bracket(kBracketAfter);
}

void emu_area_write_word(u32 address, u16 value) {
  const AreaSpan s = lookup(address);
  if (s.kind == kAreaNone) return;
  // the monitor's copy takes bytes; and a word never runs past its area
  if ((s.kind == kAreaMonitor && Sw.NoMonitorMode) || s.remaining < 2) {
    emu_area_write_byte(address, u8(value));
    emu_area_write_byte(address + 1, u8(value >> 8));
    return;
  }
  emu_monitor_bracket(kBracketBefore);
  emu_rom_write_word(s.position, value);
  emu_monitor_bracket(kBracketAfter);
}

void emu_block_move(u16 destination, u16 source, u32 count, bool backwards) {
  if (count == 0) return;
  count = std::min(count, kLogicalSpace);
  tgt_cache_empty();
  const u32 dst_phys = tgt_to_physical(destination);
  const AreaSpan first = lookup(dst_phys);
  const AreaSpan last = lookup(tgt_to_physical(u16(destination + count - 1)));
  // A range that wraps at 64 KiB, or has an area between two plain ends, goes byte by byte.
  const bool wraps = destination + count > kLogicalSpace || source + count > kLogicalSpace;
  std::array<u8, kMovePiece> buffer{};

  if (!wraps && first.kind == kAreaNone && last.kind == kAreaNone && first.next >= count) {
    for (u32 done = 0; done < count;) {
      const u32 piece = std::min<u32>(count - done, kMovePiece);
      const u32 at = piece_offset(count, done, piece, backwards);
      const auto bytes = std::span<u8>(buffer).first(piece);
      emu_req_read_block(u16(source + at), bytes);
      emu_req_write_block(u16(destination + at), bytes);
      done += piece;
    }
    sup_watchdog_limit(kMonitorReplyLimitMs);
    return;
  }
  // Both ends in one family lie in one area, whose positions run on
  // unbroken; the ends alone could miss a monitor area in between.
  if (!wraps && !Sw.NoMonitorMode && first.kind != kAreaNone && last.kind != kAreaNone &&
      (first.kind & kAreaFamilyMask) == (last.kind & kAreaFamilyMask)) {
    emu_check_monitor_range(dst_phys, count);
    for (u32 done = 0; done < count;) {
      const u32 piece = std::min<u32>(count - done, kMovePiece);
      const u32 at = piece_offset(count, done, piece, backwards);
      const auto bytes = std::span<u8>(buffer).first(piece);
      tgt_read_block(bytes, u16(source + at));
      write_emulation_block(lookup(tgt_to_physical(u16(destination + at))).position, bytes);
      done += piece;
    }
    return;
  }
  for (u32 i = 0; i < count; ++i) {
    const u32 at = backwards ? count - 1 - i : i;
    tgt_write_byte(u16(destination + at), tgt_read_byte(u16(source + at)));
  }
}

void emu_block_fill(u16 address, u32 count, u16 value, bool word) {
  const u16 unit = word ? value : u16((value & 0xFF) * 0x0101);
  // one byte more than a piece, so that a piece may start on the high byte
  std::array<u8, kFillPattern + 1> pattern{};
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = (i & 1) ? u8(unit >> 8) : u8(unit);
  u32 left = (count == 0 || count > kLogicalSpace) ? kLogicalSpace : count;
  tgt_cache_empty();
  for (u32 done = 0; left != 0;) {
    const u16 at = u16(address + done);
    const u32 to_wrap = kLogicalSpace - at;
    const u32 phase = done & 1;  // a word pattern keeps its byte order across pieces
    const AreaSpan s = lookup(tgt_to_physical(at));
    u32 piece;
    if (s.kind != kAreaNone) {
      piece = std::min({s.remaining, left, u32(kFillPattern), to_wrap});
      const auto bytes = std::span<const u8>(pattern).subspan(phase, piece);
      if (!Sw.NoMonitorMode || s.kind != kAreaMonitor) {
        write_emulation_block(s.position, bytes);
      } else {
        for (u32 i = 0; i < piece; ++i) tgt_write_byte(u16(at + i), bytes[i]);
      }
    } else {
      piece = std::min({s.next, left, to_wrap});
      monitor_fill(at, std::span<const u8>(pattern).subspan(phase, 2), piece);
      sup_watchdog_limit(kMonitorReplyLimitMs);
    }
    done += piece;
    left -= piece;
  }
}
