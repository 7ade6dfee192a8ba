// Target memory and ports: the choice between emulation memory, monitor
// requests and the running target's read cache, and the verifying writes.
#include "halv80/engine/tgt_memory.h"

#include <algorithm>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/device/dev_layout.h"

constinit TgtMemState TgtMem;

namespace {

bool target_runs() { return (Run.ExecutionState & kExecRunning) != 0; }
bool no_monitor() { return Sw.NoMonitorMode != 0; }

// The bracket around an access to a running target: run control stops it
// (the state goes 1 -> 4), the access takes the stopped-target paths, and the
// target runs on (4 -> 8 -> 1).
bool pause_running() {
  if (Run.ExecutionState != kExecRunning) return false;
  run_pause_for_access();
  return Run.ExecutionState == kExecPaused;
}
void resume_paused(bool paused) {
  if (paused) run_resume_after_access();
}

// Logical to physical; the logical address stays for the monitor requests.
u32 translate(u16 logical) {
  TgtMem.LastLogical = logical;
  return tgt_to_physical(logical);
}

bool cache_holds(u16 address) {
  return TgtMem.CacheBase != kReadCacheEmpty && u16(address - TgtMem.CacheBase) < kReadCacheSize;
}

// A byte of a stopped (or paused) target, never through the cache.
u8 read_byte_direct(u16 address) {
  const u32 phys = translate(address);
  if (no_monitor()) return emu_area_read_byte(phys);  // 0 outside emulation memory
  if (emu_range_hits_monitor_work(phys, 1)) return 0;
  return emu_req_read_byte(TgtMem.LastLogical);
}

// tgt_read_block without the window side's shortcut.
void read_block_direct(std::span<u8> buffer, u16 address) {
  const bool paused = pause_running();
  const u32 phys = translate(address);
  if (!no_monitor() && !emu_range_hits_monitor_work(phys, u32(buffer.size()))) {
    emu_req_read_block(TgtMem.LastLogical, buffer);
    emu_channel_reset();
  } else {
    // Byte by byte, and never back through the cache: a refill that meets the
    // monitor's work bytes comes here.
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = read_byte_direct(u16(address + i));
  }
  resume_paused(paused);
}

u8 read_byte_cached(u16 address) {
  if (!cache_holds(address)) {
    // The window side sends no request while the target runs; what it would
    // read is 0xFF, which is not kept for the command side.
    if (target_runs() && !Co.OnCommandSide) return 0xFF;
    TgtMem.CacheBase = kReadCacheEmpty;  // stays empty when the refill ends the command
    read_block_direct(TgtMem.Cache, address);
    TgtMem.CacheBase = address;
  }
  return TgtMem.Cache[u16(address - TgtMem.CacheBase)];
}

void write_byte_stopped(u16 address, u8 value) {
  const u32 phys = translate(address);
  if (emu_area_lookup(phys) != kAreaNone)
    emu_area_write_byte(phys, value);
  else
    emu_req_write_byte(TgtMem.LastLogical, value);  // dropped in no-monitor mode
}

// Sets the command's failure flag when a read-back differs.
bool verified(u32 wrote, u32 read) {
  if (wrote == read) return true;
  Cmd.AbortFlag = 1;
  return false;
}

}  // namespace

void tgt_memory_reset() { TgtMem = TgtMemState{}; }

void tgt_cache_empty() { TgtMem.CacheBase = kReadCacheEmpty; }

void tgt_set_cached_mode(u16 v) {
  if (no_monitor()) return;
  switch (v) {
    case 1:
      TgtMem.CachedMode = 1;
      tgt_cache_empty();
      break;
    case kCachedModeSuspend:
      TgtMem.SavedCachedMode = TgtMem.CachedMode;
      TgtMem.CachedMode = 0;
      break;
    case kCachedModeRestore:
      TgtMem.CachedMode = TgtMem.SavedCachedMode;
      break;
    default:
      TgtMem.CachedMode = v;
      break;
  }
}

u8 tgt_read_byte(u16 address) {
  if (TgtMem.CachedMode || target_runs()) return read_byte_cached(address);
  return read_byte_direct(address);
}

u16 tgt_read_word(u16 address) {
  if (!TgtMem.CachedMode && !target_runs() && !no_monitor()) {
    const u32 phys = translate(address);
    if (emu_range_hits_monitor_work(phys, 2)) return 0;
    return emu_req_read_word(TgtMem.LastLogical);
  }
  const u8 low = tgt_read_byte(address);
  return u16(low | tgt_read_byte(u16(address + 1)) << 8);
}

u32 tgt_read_long(u16 address) {
  const u16 low = tgt_read_word(address);
  return u32(low) | u32(tgt_read_word(u16(address + 2))) << 16;
}

void tgt_write_byte(u16 address, u8 value) {
  tgt_cache_empty();
  // the monitor-area guard, before a running target is paused
  emu_area_lookup(tgt_to_physical(address));
  const bool paused = pause_running();
  write_byte_stopped(address, value);
  resume_paused(paused);
}

void tgt_write_word(u16 address, u16 value) {
  if (target_runs() || no_monitor()) {
    tgt_write_byte(address, u8(value));
    tgt_write_byte(u16(address + 1), u8(value >> 8));
    return;
  }
  tgt_cache_empty();
  const u32 phys = translate(address);
  const AreaSpan area = emu_area_span(phys);
  // Both bytes in one area (and no 64 KiB wrap between them) go as one
  // access; a word across an area's end goes byte by byte, each to its side.
  const bool one_area = address != 0xFFFF && area.piece() >= 2;
  if (!one_area) {
    write_byte_stopped(address, u8(value));
    write_byte_stopped(u16(address + 1), u8(value >> 8));
  } else if (area.kind != kAreaNone) {
    emu_area_write_word(phys, value);
  } else {
    emu_req_write_word(TgtMem.LastLogical, value);
  }
}

void tgt_write_long(u16 address, u32 value) {
  tgt_write_word(address, u16(value));
  tgt_write_word(u16(address + 2), u16(value >> 16));
}

bool tgt_write_byte_verify(u16 address, u8 value) {
  tgt_write_byte(address, value);
  return !TgtMem.Verify || verified(value, tgt_read_byte(address));
}

bool tgt_write_word_verify(u16 address, u16 value) {
  tgt_write_word(address, value);
  return !TgtMem.Verify || verified(value, tgt_read_word(address));
}

bool tgt_write_long_verify(u16 address, u32 value) {
  tgt_write_long(address, value);
  return !TgtMem.Verify || verified(value, tgt_read_long(address));
}

// The bank window maps the address's page for the one access.
u8 tgt_read_byte_banked(u32 address) {
  const u8 value = tgt_read_byte(tgt_bank_in(address));
  tgt_restore_bank_map();
  return value;
}
u16 tgt_read_word_banked(u32 address) {
  const u16 value = tgt_read_word(tgt_bank_in(address));
  tgt_restore_bank_map();
  return value;
}
void tgt_write_byte_banked(u32 address, u8 value) {
  tgt_write_byte(tgt_bank_in(address), value);
  tgt_restore_bank_map();
}
void tgt_write_word_banked(u32 address, u16 value) {
  tgt_write_word(tgt_bank_in(address), value);
  tgt_restore_bank_map();
}

void tgt_read_block(std::span<u8> buffer, u16 address) {
  buffer = buffer.first(std::min<std::size_t>(buffer.size(), kLogicalSpace));
  if (buffer.empty()) return;
  // a memory view on the window side while the target runs?
  if (target_runs() && !Co.OnCommandSide) {
    std::fill(buffer.begin(), buffer.end(), u8(0xFF));
    return;
  }
  read_block_direct(buffer, address);
}

void tgt_write_block(std::span<const u8> data, u16 address) {
  data = data.first(std::min<std::size_t>(data.size(), kLogicalSpace));
  if (data.empty()) return;
  tgt_cache_empty();
  emu_check_monitor_range(tgt_to_physical(address), u32(data.size()));
  const bool paused = pause_running();
  for (u32 done = 0; done < data.size();) {
    const u16 at = u16(address + done);
    const u32 to_wrap = kLogicalSpace - at;
    const u32 left = u32(data.size()) - done;
    const u32 phys = translate(at);
    const AreaSpan area = emu_area_span(phys);
    const u32 piece = std::min({area.piece(), left, to_wrap});
    const auto bytes = data.subspan(done, piece);
    if (area.kind != kAreaNone) {
      emu_monitor_bracket(kBracketBefore);
      emu_rom_write_block(area.position, bytes);
      emu_monitor_bracket(kBracketAfter);
    } else {
      tgt_write_block_monitor(bytes, at);
    }
    done += piece;
  }
  resume_paused(paused);
}

bool tgt_range_meets_monitor(u16 address, u32 length) {
  if (EmuArea.SystemDebugMode || no_monitor()) return false;
  length = std::min(length, kLogicalSpace);
  const bool mapped = Cfg.MmuKind != kMmuNone;
  for (u32 done = 0; done < length;) {
    const u16 at = u16(address + done);
    // Without memory management the addresses are physical up to the wrap;
    // with it, each byte may lie in another window.
    const u32 piece = mapped ? 1 : std::min(length - done, kLogicalSpace - at);
    if (emu_range_hits_monitor(tgt_to_physical(at), piece)) return true;
    done += piece;
  }
  return false;
}

void tgt_check_write_range(u16 address, u32 length) {
  if (tgt_range_meets_monitor(address, length)) cmd_fail(kMsgMonitorArea);
}

void tgt_write_block_monitor(std::span<const u8> data, u16 address) {
  tgt_cache_empty();
  const bool paused = pause_running();
  emu_req_write_block(address, data);
  resume_paused(paused);
}

u8 tgt_read_port(u16 port) {
  if (no_monitor()) return 0;
  const bool paused = pause_running();
  const u8 value = emu_req_read_port(port);
  resume_paused(paused);
  return value;
}

u16 tgt_read_port_word(u16 port) {
  const u8 low = tgt_read_port(port);
  return u16(low | tgt_read_port(u16(port + 1)) << 8);
}

void tgt_write_port(u16 port, u8 value) {
  if (no_monitor()) return;
  const bool paused = pause_running();
  emu_req_write_port(port, value);
  resume_paused(paused);
}

void tgt_write_port_word(u16 port, u16 value) {
  tgt_write_port(port, u8(value));
  tgt_write_port(u16(port + 1), u8(value >> 8));
}
