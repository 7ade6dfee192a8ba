// BH, RTM and TM over the work area's selections and settings. The selection
// apply works on a copy: a refused line changes neither selection, the timer
// mode nor its time-out.
#include "halv80/engine/brk_hardware.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/brk_table.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_pseudo.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_timer.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/engine/win_codes.h"
#include "platform/device/dev_layout.h"

constinit BrkHardwareState BrkHw;

namespace {

constexpr u32 kTimeOutLimitUs = 167772151;  // 24 bits of 10 us, and one more
constexpr u8 kTimerModeTimeOut = 1;
constexpr std::size_t kSelectionSize = 6;

BiosWorkArea* work() { return SupHost.BiosWork.get(); }

struct Selection {
  std::array<u8, kSelectionSize> bytes{};
  u8& sources() { return bytes[0]; }
  u16 pass() const { return u16(bytes[2] | bytes[3] << 8); }
  void set_pass(u16 v) {
    bytes[2] = u8(v);
    bytes[3] = u8(v >> 8);
  }
};

Selection load(std::size_t offset) {
  Selection s;
  if (const BiosWorkArea* w = work()) std::copy_n(w->bytes.begin() + offset, kSelectionSize, s.bytes.begin());
  return s;
}

void store(std::size_t offset, const Selection& s) {
  if (BiosWorkArea* w = work()) std::copy_n(s.bytes.begin(), kSelectionSize, w->bytes.begin() + offset);
}

u8 work8(std::size_t offset) { return work() ? work()->bytes[offset] : 0; }
void set_work8(std::size_t offset, u8 v) {
  if (work()) work()->bytes[offset] = v;
}

std::string count_text(u32 count, u8 resolution) {
  char text[kTimerCountTextLength + 1];
  emu_timer_count_text(count, resolution, text);
  return text;
}

void recompute_rows() {
  const u8 s = work8(kWorkEventEnable);
  u16 rows = 0;
  for (u8 bit : {kSelEv1, kSelEv2, kSelEv3, kSelTimeOut, kSelExt1, kSelExt2})
    if (s & bit) ++rows;
  if (s & kSelAndSeq) rows += 2;
  BrkHw.HardwareRows = rows;
}

void post_break_window() {
  if (!Co.OnCommandSide) return;
  Co.Request.p1 = kBreakListHardware;
  co_post_request(RequestCode::BreakListChanged);
}

bool item_end(char c) { return c == '\0' || c == ',' || c == ' ' || c == '\t' || c == '='; }

// "=n" after A, S or T: the decimal number, `fallback` without it; 0 on a bad one.
u32 item_number(u32 fallback, bool& bad) {
  if (*Cmd.ScannerCursor != '=') return fallback;
  ++Cmd.ScannerCursor;
  const u32 v = brk_get_decimal();
  if (Cmd.AbortFlag || v == 0) bad = true;
  return v;
}

// The items of a BH line (or RTM's trigger) applied to `sel`. A time-out item
// sets `timeout_us`. false after message 1.
bool apply_items(Selection& sel, bool remove, u32& timeout_us) {
  for (;;) {
    while (*Cmd.ScannerCursor == ' ' || *Cmd.ScannerCursor == '\t' || *Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
    const char* p = Cmd.ScannerCursor;
    if (*p == '\0') return true;
    u8 bit = 0;
    bool bad = false;
    const char c = char(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
    const char c1 = char(p[1] >= 'a' && p[1] <= 'z' ? p[1] - 32 : p[1]);
    if (c == '*' && item_end(p[1])) {
      if (!remove) return cmd_error(kMsgData), false;
      ++Cmd.ScannerCursor;
      sel.sources() &= kSelTraceEnd;
      continue;
    }
    if (c == 'E' && c1 == 'V' && p[2] >= '1' && p[2] <= '3' && item_end(p[3])) {
      bit = u8(1u << (p[2] - '1'));
      Cmd.ScannerCursor += 3;
    } else if (c == 'E' && (p[1] == '1' || p[1] == '2') && item_end(p[2])) {
      bit = p[1] == '1' ? kSelExt1 : kSelExt2;
      Cmd.ScannerCursor += 2;
    } else if (c >= '1' && c <= '3' && item_end(p[1])) {
      bit = u8(1u << (c - '1'));
      Cmd.ScannerCursor += 1;
    } else if ((c == 'A' || c == 'S') && item_end(p[1])) {
      Cmd.ScannerCursor += 1;
      const u32 pass = item_number(1, bad);
      if (bad || pass > 0xFFFF) return Cmd.AbortFlag = 0, cmd_error(kMsgData), false;
      bit = kSelAndSeq;
      if (!remove) {
        sel.bytes[1] = c == 'S' ? kSelSequence : kSelAnd;
        sel.set_pass(u16(pass));
      }
    } else if (c == 'T' && item_end(p[1])) {
      Cmd.ScannerCursor += 1;
      const u32 us = item_number(timeout_us, bad);
      if (bad) return Cmd.AbortFlag = 0, cmd_error(kMsgData), false;
      timeout_us = us;
      bit = kSelTimeOut;
    } else {
      return cmd_error(kMsgData), false;
    }
    if (remove) {
      sel.sources() &= u8(~bit);
    } else {
      sel.sources() |= bit;
      if (bit == kSelEv1 || bit == kSelEv2) sel.sources() &= u8(~kSelAndSeq);
      if (bit == kSelAndSeq) sel.sources() &= u8(~(kSelEv1 | kSelEv2));
    }
  }
}

// The current time-out in microseconds.
u32 current_timeout_us() {
  const BiosWorkArea* w = work();
  return w ? brk_count_to_us(w->get32<kWorkTimerPreset>() & 0xFFFFFF, w->get8<kWorkTimerStep>()) : 0;
}

// Applies the rest of the line to the selection at `offset` (the other
// consumer's at `other`). false after a refusal, with everything as it was.
bool apply_selection(std::size_t offset, std::size_t other, bool remove, bool empty_first) {
  Selection sel = load(offset);
  if (empty_first) sel.sources() = 0;
  u32 timeout_us = current_timeout_us();
  if (!apply_items(sel, remove, timeout_us)) return false;
  u8 timer_mode = 0;
  u8 resolution = work8(kWorkTimerStep);
  u32 count = work() ? work()->get32<kWorkTimerPreset>() : 0;
  if (sel.sources() & kSelTimeOut) {
    if (timeout_us == 0 || timeout_us >= kTimeOutLimitUs) {
      cmd_error(kMsgData);
      return false;
    }
    timer_mode = kTimerModeTimeOut;
    brk_timeout_to_count(timeout_us, resolution, count);
  }
  const Selection theirs = load(other);
  if (sel.sources() & theirs.bytes[0]) {
    con_puts("\nHardware Break & Realtime Trace used same EVENT");
    Cmd.AbortFlag = 1;
    return false;
  }
  if (BiosWorkArea* w = work()) {
    w->set8<kWorkTimerFlags>(u8((w->get8<kWorkTimerFlags>() & ~1u) | timer_mode));
    if (timer_mode == kTimerModeTimeOut) {
      w->set8<kWorkTimerStep>(resolution);
      w->set32<kWorkTimerPreset>(count);
    }
  }
  store(offset, sel);
  emu_ev_set(offset == kWorkEventEnable ? 0 : 1);
  recompute_rows();
  return true;
}

// BH's mode: 'E' as the first operand character ("BHE", or BH followed by
// blanks and E) adds, 'D' removes; `letter` tells whether one was there.
bool bh_remove_mode(bool& letter) {
  cmd_skip_blanks();
  const char c = *Cmd.ScannerCursor;
  letter = (c == 'D' || c == 'd' || c == 'E' || c == 'e') && item_end(Cmd.ScannerCursor[1]);
  if (!letter) return false;
  ++Cmd.ScannerCursor;
  return c == 'D' || c == 'd';
}

void show_selection(std::size_t offset) {
  con_puts(brk_selection_text(offset));
  Selection sel = load(offset);
  if (sel.sources() & kSelAndSeq) con_printf("\n SEQ or AND Event Pass Count = %d", sel.pass());
  if (sel.sources() & kSelTimeOut) {
    const BiosWorkArea* w = work();
    con_printf("\nTime Out val= %s", count_text(w ? w->get32<kWorkTimerPreset>() : 0, work8(kWorkTimerStep)));
  }
}

bool level0() {
  if (Run.TraceHwLevel != 0) return false;
  cmd_error(kMsgNotOnThisModel);
  return true;
}

}  // namespace

void brk_hardware_reset() {
  BrkHw = BrkHardwareState{};
  Pseudo.HardwareBreakAction = brk_window_hardware_action;
}

void brk_window_hardware_action(u16 kind, u16 index) {
  if (Run.TraceHwLevel == 0) return;
  const u8 sources = load(kWorkEventEnable).sources();
  char text[8] = "D *";
  if (kind != kBreakRowDeleteAll) {
    const int event = brk_window_row_event(u16(Brk.UsedCount + 1 + index));
    if (event < 0) return;
    const bool on = (sources & (1u << event)) != 0;
    sup_sprintf(text, "%c %d", kind == kBreakRowToggle && !on ? 'E' : 'D', event + 1);
  } else if ((sources & ~kSelTraceEnd) == 0) {
    return;  // no hardware break to clear
  }
  const char* saved = Cmd.ScannerCursor;
  brk_request_apply(text);
  Cmd.ScannerCursor = saved;
  post_break_window();
}

void brk_timeout_to_count(u32 us, u8& resolution, u32& count) {
  if (us > 10'000'000) {
    resolution = 2;
    count = us / 10;
  } else if (us <= 1'000'000) {
    resolution = 0;
    count = us * 10;
  } else {
    resolution = 1;
    count = us;
  }
  count &= 0xFFFFFF;
}

u32 brk_count_to_us(u32 count, u8 resolution) {
  if (resolution == 0) return count / 10;
  if (resolution == 2) return count * 10;
  return count;
}

std::string brk_selection_text(std::size_t offset) {
  Selection sel = load(offset);
  std::string s;
  for (int i = 0; i < 8; ++i) {
    const u8 bit = u8(1u << i);
    if (!(sel.sources() & bit) || bit == kSelTraceEnd) continue;
    if (bit == kSelAndSeq)
      s += std::string("1.") + ((sel.bytes[1] & kSelSequence) ? "SEQ" : "AND") + ".2 ";
    else
      s += std::string(kEventSourceNames[i]) + " ";
  }
  if ((sel.sources() & ~kSelTraceEnd) == 0) s += "Disable";
  return s;
}

void brk_cmd_bh() {
  if (level0()) return;
  bool letter = false;
  const bool remove = bh_remove_mode(letter);
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0' && !letter) {
    con_puts("\n Hardware Break = ");
    show_selection(kWorkEventEnable);
    return;
  }
  if (!apply_selection(kWorkEventEnable, kWorkTraceEventSetup, remove, false)) return;
  post_break_window();
}

void brk_request_apply(const char* argument) {
  Cmd.ScannerCursor = argument;
  if (level0()) return;
  bool letter = false;
  const bool remove = bh_remove_mode(letter);
  apply_selection(kWorkEventEnable, kWorkTraceEventSetup, remove, false);
}

void brk_cmd_rtm() {
  if (level0()) return;
  cmd_skip_blanks();
  BiosWorkArea* w = work();
  if (*Cmd.ScannerCursor == '\0') {
    static const char* const kModes[] = {"Free RUN", "Sample", "Delaied Trig.", "Free RUN"};
    const u8 flags = work8(kWorkTraceMode);
    const u8 mode = u8((flags & kTraceModeMask) >> kTraceModeShift);
    con_printf("\nTrace mode = %s", kModes[mode]);
    con_printf("\nTrace CLK  = %s", work8(kWorkReg54Copy) == kTraceClockInternal ? "ROM /OE" : "EXT");
    const bool trace_end_breaks = (work8(kWorkEventEnable) & kSelTraceEnd) != 0;
    if (mode != 0) {
      con_puts("\nTrace Triger = ");
      show_selection(kWorkTraceEventSetup);
    }
    if (mode == 2) {
      con_printf("\nTrace Delay= %u", w ? w->get16<kWorkTraceDelay>() : 0);
      con_printf("\nTr.End BRK = %s", trace_end_breaks ? "ON" : "OFF");
    } else {
      con_printf("\nTrace Full = %s", trace_end_breaks                ? "Break"
                                      : (flags & kTraceStopWhenFull) ? "Stop"
                                                                      : "Continue");
    }
    return;
  }
  if (emu_trace_stopped() == 0) trc_stop();
  u8 mode = 0;
  switch (*Cmd.ScannerCursor) {
    case 'F': case 'f': mode = 0; break;
    case 'S': case 's': mode = 1; break;
    case 'T': case 't': mode = 2; break;
    default:
      cmd_error(kMsgData);
      return;
  }
  ++Cmd.ScannerCursor;
  bool stop_full = false, break_end = false;
  u8 clock = work8(kWorkReg54Copy);
  u16 delay = w ? w->get16<kWorkTraceDelay>() : 0;
  for (;;) {
    const char* p = sup_skip_blanks(Cmd.ScannerCursor);
    if (*p == ',') p = sup_skip_blanks(p + 1);
    if (*p != '/') break;
    Cmd.ScannerCursor = p + 1;
    const char o = char(*Cmd.ScannerCursor >= 'a' ? *Cmd.ScannerCursor - 32 : *Cmd.ScannerCursor);
    ++Cmd.ScannerCursor;
    if (o == 'S') {
      stop_full = true;
    } else if (o == 'B') {
      break_end = true;
    } else if (o == 'I') {
      clock = kTraceClockInternal;
    } else if (o == 'E') {
      clock = u8(Cfg.ExtClock != 0 ? Cfg.ExtClock : 160);
    } else if (o == 'D' && mode == 2 && *Cmd.ScannerCursor == '=') {
      ++Cmd.ScannerCursor;
      const u32 d = brk_get_decimal();
      if (Cmd.AbortFlag || d > 0xFFFF) {
        Cmd.AbortFlag = 0;
        cmd_error(kMsgData);
        return;
      }
      delay = u16(std::max<u32>(d, kTraceDelayMin));
    } else {
      cmd_error(kMsgData);
      return;
    }
  }
  if (break_end) stop_full = false;
  const Selection previous = load(kWorkTraceEventSetup);
  if (mode != 0) {
    if (!apply_selection(kWorkTraceEventSetup, kWorkEventEnable, false, true)) {
      store(kWorkTraceEventSetup, previous);
      if (!Cmd.AbortFlag) cmd_error(kMsgData);
      return;
    }
    if ((load(kWorkTraceEventSetup).bytes[0]) == 0) {
      con_puts("\nEvent not define!");
      store(kWorkTraceEventSetup, previous);
      cmd_error(kMsgData);
      return;
    }
  } else {
    Selection empty = load(kWorkTraceEventSetup);
    empty.sources() = 0;
    store(kWorkTraceEventSetup, empty);
  }
  if (w) {
    w->set8<kWorkTraceMode>(u8((mode << kTraceModeShift) | (stop_full ? kTraceStopWhenFull : 0)));
    w->set16<kWorkTraceDelay>(delay);
    Selection brk = load(kWorkEventEnable);
    brk.sources() = u8(break_end ? brk.sources() | kSelTraceEnd : brk.sources() & ~kSelTraceEnd);
    store(kWorkEventEnable, brk);
  }
  emu_set_break_trace_control(clock);
  emu_ev_set(1);
  emu_ev_set(0);
  recompute_rows();
}

namespace {

constexpr u16 kTimerLiveRow = 20;      // TM /C: the first of its two code-pane rows
constexpr u32 kTimerRedrawsPerKey = 101;  // redraws between two key waits

// The measurement of the timer in Measure mode, read now: its first part (the
// last time or the timer's state, and the number of measurements) and its
// statistics part (maximum, minimum and average, or 50 blanks).
struct TimerMeasurement {
  std::string head;
  std::string statistics;
};

TimerMeasurement read_measurement(u8 resolution) {
  u32 value = 0;
  const u8 status = emu_timer_read(value, 0);
  char text[160];
  TimerMeasurement m;
  if (EmuCtl.TimerCount > 0)
    sup_sprintf(text, "Measurment Time = %14s ", count_text(EmuCtl.TimerLast, resolution));
  else
    sup_sprintf(text, "Measurment Time = %-14s ", (status & 1) ? "Runing" : "No Triger");
  m.head = text;
  sup_sprintf(text, " Acqs. = %ld", EmuCtl.TimerCount);
  m.head += text;
  if (EmuCtl.TimerCount > 0) {
    sup_sprintf(text, " MAX = %s", count_text(EmuCtl.TimerMax, resolution));
    m.statistics = text;
    sup_sprintf(text, " MIN = %s", count_text(EmuCtl.TimerMin, resolution));
    m.statistics += text;
    sup_sprintf(text, " Avg. = %s", count_text(EmuCtl.TimerAverage, resolution));
    m.statistics += text;
  } else {
    m.statistics.assign(50, ' ');
  }
  return m;
}

// One row of the live display from its start, the rest of the row blanked.
// Straight onto the screen: neither the log nor a redirect file takes the
// redraws.
void put_live_row(u16 row, const std::string& text) {
  con_set_cursor(0, row);
  con_window_puts(text);
  while (Con.Column < Con.Width && Con.Column < kScreenColumns) con_window_putc(' ');
}

// TM /C while the target runs: the measurement is redrawn in the code pane,
// its first part on row 20 and its statistics on row 21. After every 101
// redraws a key wait gives the windows their turn; a key ends the display,
// at that wait or at any keep-alive turn between. A stop of the target found
// meanwhile ends it too (the wait unwinds to show the stop).
void follow_measurement(u8 resolution) {
  struct BackToPane {
    u16 window;
    ~BackToPane() { con_switch_window(Con.Window, window); }
  } back{Con.Window};
  con_switch_window(Con.Window, kSlotCode);
  for (u32 redraws = 1; Run.ExecutionState == kExecRunning; ++redraws) {
    const TimerMeasurement m = read_measurement(resolution);
    put_live_row(kTimerLiveRow, m.head);
    put_live_row(kTimerLiveRow + 1, m.statistics);
    if (redraws % kTimerRedrawsPerKey != 0) {
      if (key_poll() != 0) break;  // a key pressed while the windows had their turn
      continue;
    }
    if (key_wait() != 0) break;
  }
}

}  // namespace

void brk_cmd_tm() {
  cmd_skip_blanks();
  const bool follow = cmd_match_keyword("/C") == 0;
  if (follow) cmd_skip_blanks();
  BiosWorkArea* w = work();
  if (*Cmd.ScannerCursor == '\0') {
    if (level0()) return;
    static const char* const kResolutions[] = {"0.1", "1.0", "10.0"};
    const u8 resolution = std::min<u8>(work8(kWorkTimerStep), 2);
    const bool timeout = (work8(kWorkTimerFlags) & kTimerModeTimeOut) != 0;
    con_printf("\nTimer Mode  = %s", timeout ? "Time Out " : "Measure ");
    if (timeout) con_printf("\nTime Out val= %s", count_text(w ? w->get32<kWorkTimerPreset>() : 0, resolution));
    con_printf("\nResolution = %s usec", kResolutions[resolution]);
    // in Time Out mode nothing changes while the target runs
    if (timeout) return;
    const TimerMeasurement m = read_measurement(resolution);
    con_putc('\n');
    con_puts(m.head);
    con_puts(m.statistics);
    if (follow) follow_measurement(resolution);
    return;
  }
  const u32 n = cmd_get_number_decimal();
  u8 resolution = 0;
  if (Cmd.AbortFlag || !(n == 100 || n == 10 || n <= 2)) {
    Cmd.AbortFlag = 0;
    cmd_error(kMsgData);
    return;
  }
  resolution = n == 100 ? 0 : n == 10 ? 2 : u8(n);
  if (!(work8(kWorkTimerFlags) & kTimerModeTimeOut)) {
    set_work8(kWorkTimerStep, resolution);
    u32 unused = 0;
    emu_timer_read(unused, 1);
  }
  emu_timer_set();
}

// --- Break window -------------------------------------------------------------

namespace {

u16 used_breakpoints(std::array<u16, kBreakSlots>& slots) {
  u16 n = 0;
  for (u16 i = 0; i < kBreakSlots; ++i)
    if (Brk.Slots[i].state != kBreakFree) slots[n++] = i;
  return n;
}

std::string event_text(u16 n) {
  const EventRecord e = brk_get_event(n);
  char text[64];
  std::string s;
  if (e.address_mask == 0) {
    s = "  XXXXXXXX         ";
  } else {
    sup_sprintf(text, " %c%08lx", e.address_negate ? '!' : ' ', e.address_start);
    s = text;
    if (e.address_end != e.address_start) {
      sup_sprintf(text, "~%08lx", e.address_end);
      s += text;
    } else {
      s += "         ";
    }
  }
  s += ' ';
  s += e.data_negate ? '!' : ' ';
  std::string data = brk_masked_data_text(e.data_value, e.data_mask, brk_data_bits());
  data.resize(std::max<std::size_t>(data.size(), 10), ' ');
  s += data;
  s += ' ';
  s += e.status_negate ? '!' : ' ';
  std::string status = brk_masked_status_text(e.status_value, e.status_mask);
  status += e.kind >= 1 && e.kind <= 8 ? std::string(" <") + kCycleKindNames[e.kind] + ">" : "     ";
  status.resize(std::max<std::size_t>(status.size(), 20), ' ');
  s += status;
  sup_sprintf(text, " %5u", e.pass_count);
  s += text;
  return s;
}

// The hardware rows' sources in their order, with AND/SEQ's two rows first.
struct HwRow {
  int event;         // 0..2, or -1
  std::string name;  // the source
  std::string lead;  // "  SEQ " / "  AND " / six blanks
};

std::vector<HwRow> hardware_rows() {
  std::vector<HwRow> rows;
  const std::array<u8, kSelectionSize> sel = load(kWorkEventEnable).bytes;
  const u8 s = sel[0];
  if (s & kSelAndSeq) {
    const char* kind = (sel[1] & kSelSequence) ? "  SEQ " : "  AND ";
    rows.push_back({0, "EV1", kind});
    rows.push_back({1, "EV2", kind});
  }
  const struct {
    u8 bit;
    int event;
    const char* name;
  } order[] = {{kSelEv1, 0, "EV1"},       {kSelEv2, 1, "EV2"},         {kSelEv3, 2, "EV3"},
               {kSelTimeOut, -1, "Time Out"}, {kSelExt1, -1, "External 1"}, {kSelExt2, -1, "External 2"}};
  for (const auto& o : order)
    if (s & o.bit) rows.push_back({o.event, o.name, "      "});
  return rows;
}

}  // namespace

u16 brk_window_row_count() {
  std::array<u16, kBreakSlots> slots{};
  const u16 used = used_breakpoints(slots);
  recompute_rows();
  u16 rows = u16(1 + used + (BrkHw.HardwareRows != 0 ? BrkHw.HardwareRows + 1 : 0));
  return u16(rows | kBreakRowsEndInHardware);
}

std::string brk_window_row_text(u16 row) {
  if (row == 0) return " NO E/D Address              Stat  Pass  Command";
  std::array<u16, kBreakSlots> slots{};
  const u16 used = used_breakpoints(slots);
  char text[64];
  if (row <= used) {
    const BreakEntry& e = Brk.Slots[slots[row - 1]];
    std::string s = " ";
    sup_sprintf(text, "%2d  %c  ", slots[row - 1] + 1, (e.state & kBreakEnabled) ? 'E' : 'D');
    s += text;
    sup_sprintf(text, "%04lX ", e.address);
    s += text;
    std::string where = brk_format_address(e.address, 0);
    where.resize(15, ' ');
    s += where;
    s += " Soft ";
    sup_sprintf(text, "%5u :", e.pass_count);
    s += text;
    if (e.command != 0) {
      char command[kCommandLineSize];
      sym_name_text(e.command, command, sizeof command);
      s += command;
    }
    return s;
  }
  recompute_rows();
  if (BrkHw.HardwareRows == 0) return "";
  const u16 r = u16(row - used - 1);
  const std::array<u8, kSelectionSize> sel = load(kWorkEventEnable).bytes;
  if (r == 0) {
    std::string s = " BH   ";
    const struct {
      u8 bit;
      const char* name;
    } order[] = {{kSelEv1, "EV1"},          {kSelEv2, "EV2"},           {kSelEv3, "EV3"}, {kSelTimeOut, "Time Out"},
                 {kSelExt1, "External 1"}, {kSelExt2, "External 2"}};
    for (const auto& o : order)
      if (sel[0] & o.bit) s += std::string(" ") + o.name;
    if (sel[0] & kSelAndSeq) {
      sup_sprintf(text, "[%d]", sel[2] | sel[3] << 8);
      s += std::string(" ") + ((sel[1] & kSelSequence) ? "SEQ" : "AND") + text;
    }
    return s;
  }
  const std::vector<HwRow> rows = hardware_rows();
  if (r - 1u >= rows.size()) return "";
  const HwRow& h = rows[r - 1];
  std::string s = " " + h.lead + h.name;
  if (h.event >= 0) s += event_text(u16(h.event + 1));
  return s;
}

int brk_window_row_event(u16 row) {
  std::array<u16, kBreakSlots> slots{};
  const u16 used = used_breakpoints(slots);
  if (row <= used + 1u) return -1;
  const std::vector<HwRow> rows = hardware_rows();
  const std::size_t r = std::size_t(row - used - 2);
  return r < rows.size() ? rows[r].event : -1;
}
