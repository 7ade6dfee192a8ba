// PROF and the sampling step. Shares are computed in 64 bits: part x 1000
// overflows 32 bits past some 4.3 million samples.
#include "halv80/engine/prof_profiler.h"

#include "halv80/engine/brk_events.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/device/dev_layout.h"

constinit ProfilerState Prof;

namespace {

constexpr u16 kMsgProfileTitle = 60;
constexpr u16 kMsgSamplingTime = 61;
constexpr u16 kMsgTotalSamples = 62;
constexpr u16 kMsgUserSamples = 63;
constexpr u16 kMsgSystemSamples = 64;
constexpr u16 kMsgNotSampled = 65;
constexpr u32 kReported = 0x80000000u;
constexpr u32 kCountMask = 0x7FFFFFFFu;
constexpr u8 kTraceStartKeep = 0x04;

void counted(u32 address) {
  Prof.User += sym_count_hit(address);
  ++Prof.Total;
}

}  // namespace

void prof_reset() { Prof = ProfilerState{}; }

std::string prof_share_text(u32 part, u32 whole) {
  if (part == whole) return "100.%";
  const u64 tenths = whole == 0 ? 0 : u64(part) * 1000 / whole;
  char text[16];
  sup_sprintf(text, "%2d.%d%%", u32(tenths / 10), u32(tenths % 10));
  return text;
}

// --- Hit counters -------------------------------------------------------------

u16 sym_count_hit(u32 address) {
  if (sym_is_empty()) return 0;
  // a loader that gives no code range leaves the symbols' own range
  if (SymFlag.CodeHigh == 0 ? sym_value_in_range(address) != 0
                            : address < SymFlag.CodeLow || address > SymFlag.CodeHigh)
    return 0;
  const u16 saved = SymFlag.PhysicalAddress;
  SymFlag.PhysicalAddress = 1;
  const u16 position = sym_index_from_address(address);
  SymFlag.PhysicalAddress = saved;
  if (position == 0) return 1;
  if (SymRecord* r = sym_record_sorted(u16(position - 1))) {
    const u32 h = r->hit_count.get();
    if ((h & kCountMask) != kCountMask) r->hit_count.set(h + 1);
  }
  return 1;
}

void sym_clear_hit_counts(u16 mode) {
  for (u16 i = 0; i < Sym.Count; ++i) {
    SymRecord* r = sym_record(i);
    if (r == nullptr) break;
    r->hit_count.set(mode == 1 ? 0 : r->hit_count.get() & kCountMask);
  }
}

u16 sym_take_top_hit() {
  sym_sort_symbols();
  u16 best = 0;
  u32 best_count = 0;
  for (u16 p = 0; p < Sym.Count; ++p) {
    const SymRecord* r = sym_record_sorted(p);
    if (r == nullptr) break;
    const u32 h = r->hit_count.get();
    if (h & kReported) continue;
    if ((h & kCountMask) != 0 && (h & kCountMask) >= best_count) {
      best_count = h & kCountMask;
      best = u16(p + 1);
    }
  }
  if (best != 0) {
    SymRecord* r = sym_record_sorted(u16(best - 1));
    r->hit_count.set(r->hit_count.get() | kReported);
  }
  return best;
}

// --- Sampling -----------------------------------------------------------------------

void prof_run_start() {
  if (EmuCtl.ProfilerRunning == kProfilerOff) return;
  EmuCtl.ProfilerRunning = kProfilerSampling;
  Prof.LastSample = emu_rtc_read();
}

void prof_run_end() {
  if (EmuCtl.ProfilerRunning == kProfilerSampling) EmuCtl.ProfilerRunning = kProfilerOn;
}

void prof_sample_step() {
  if (EmuCtl.ProfilerRunning != kProfilerSampling || !(Run.ExecutionState & kExecRunning) ||
      Run.ForcedStopRequest != 0)
    return;
  // the interval is target time: the run-time counter's microseconds
  const u32 now = emu_rtc_read();
  if (now - Prof.LastSample < u32(Prof.Interval) * 1000) return;
  Prof.LastSample = now;
  if (Prof.Source == 1) {
    u32 address = 0;
    u16 status = 0;
    if (trc_sample(address, status) && (brk_cycle_kind_flags(status) & (1u << (kKindCf - 1)))) counted(address);
    return;
  }
  u8 buffer[2] = {};
  const u16 result = emu_profiler_sample(buffer);
  if (result == kProfilerChannelBusy) {
    ++Prof.Total;
  } else if (result == 0) {
    const u16 pc = u16(buffer[0] | buffer[1] << 8);
    counted(Cfg.MmuKind != kMmuNone ? tgt_to_physical(pc) : pc);
  }
}

// --- PROF ---------------------------------------------------------------------------

void prof_report() {
  con_puts(sup_load_message(kMsgProfileTitle));
  con_puts(sup_load_message(kMsgSamplingTime));
  if (EmuCtl.ProfilerRunning != kProfilerOff)
    con_printf("%8umsec by %s", Prof.Interval, Prof.Source == 1 ? "Realtime Trace" : "NMI");
  else
    con_puts(" OFF");
  if (Prof.Total == 0) {
    con_puts(sup_load_message(kMsgNotSampled));
    return;
  }
  con_puts(sup_load_message(kMsgTotalSamples));
  con_printf("%8lu", Prof.Total);
  con_puts(sup_load_message(kMsgUserSamples));
  con_printf("%8lu     %s", Prof.User, prof_share_text(Prof.User, Prof.Total));
  con_puts(sup_load_message(kMsgSystemSamples));
  con_printf("%8lu     %s", Prof.Total - Prof.User, prof_share_text(Prof.Total - Prof.User, Prof.Total));
  Paging.ListingLineCount = 1;
  if (con_line_break_paged()) return;
  con_puts(" No. Addr Name          Percent (Sum)     Samples\n");
  sym_clear_hit_counts(2);
  u32 sum = 0;
  for (u16 n = 1;; ++n) {
    const u16 top = sym_take_top_hit();
    if (top == 0) break;
    const SymRecord* r = sym_record_sorted(u16(top - 1));
    const u32 hits = r->hit_count.get() & kCountMask;
    sum += hits;
    const char* name = sym_record_name(*r);
    const u32 value = r->value.get();
    if (Cfg.MmuKind != kMmuNone)
      con_printf("%3d. %04x(%8lx) %-14s %s", n, tgt_to_logical(value), value, name ? name : "",
                 prof_share_text(hits, Prof.User));
    else
      con_printf("%3d. %04x %-14s %s", n, value, name ? name : "", prof_share_text(hits, Prof.User));
    con_printf(" (%s)   %8lu ", prof_share_text(sum, Prof.User), hits);
    if (con_line_break_paged()) break;
  }
}

void prof_request_report(const char*) { prof_report(); }

void prof_cmd_prof() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') return prof_report();
  if (cmd_match_keyword("CLR") == 0) {
    Prof.Total = Prof.User = 0;
    sym_clear_hit_counts(1);
    return;
  }
  if (cmd_match_keyword("ON") != 0) {
    if (cmd_match_keyword("OFF") != 0) cmd_error(kMsgFormat);
    EmuCtl.ProfilerRunning = kProfilerOff;
    return;
  }
  if (RunCtl.SysCallEntry != 0 || RunCtl.SysCallAuto != 0) {
    con_puts("\n PROF and SYSC command Can't be used equally.");
    cmd_error(kMsgCommandError);
    return;
  }
  cmd_skip_blanks();
  u16 source = 0;
  if (cmd_match_keyword("RT") == 0) source = 1;
  cmd_skip_blanks();
  u32 interval = kProfileIntervalDefault;
  if (*Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    interval = brk_get_decimal();
    if (Cmd.AbortFlag || interval < kProfileIntervalMin || interval > 0xFFFF) {
      Cmd.AbortFlag = 0;
      cmd_error(kMsgData);
      return;
    }
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0') {
    cmd_error(kMsgData);
    return;
  }
  if (BiosWorkArea* w = SupHost.BiosWork.get()) w->set8<kWorkTraceMode>(u8(w->get8<kWorkTraceMode>() & kTraceStartKeep));
  Prof.Source = source;
  Prof.Interval = u16(interval);
  EmuCtl.ProfilerRunning = kProfilerOn;
}
