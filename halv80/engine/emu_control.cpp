// Target control and status wrappers: reset, NMI, power, waits, the event,
// trace and timer hardware, the NMI profiler sample and the run-time text.
#include "halv80/engine/emu_control.h"

#include <algorithm>
#include <array>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

constinit EmuControlState EmuCtl;

namespace {

// Interface registers and their bits.
constexpr u8 kRegControl = 7;
constexpr u8 kCtlRunStrobe = 0x10;     // written 1: the run-started latch is cleared
constexpr u8 kCtlProfilerHold = 0x40;  // set around a profiler sample
constexpr u8 kRegPage = 44;
constexpr u8 kPageBit = 0x80;
constexpr u8 kRegBreakTraceControl = 54;
constexpr u8 kRegTraceControl = 55;
constexpr u8 kTraceRecording = 0x01;   // read: the trace still records / is full
constexpr u8 kTraceStopBit = 0x02;
constexpr u8 kTraceOnValue = 5;

// Trace mode (work offset 516) bits.
constexpr u8 kTraceModeSample = 0x08;  // frames in groups of 16
constexpr u8 kTraceModeDelay = 0x10;   // a trigger delay is in use
// Timer flags (work offset 510): bit 1, the time stamps count from 0.
constexpr u8 kTimerFlagsNoStartStamp = 0x02;
constexpr u16 kStampMask = 0x07FF;
constexpr int kStampWrap = 2000;

// Event records: 30 bytes, user records at 317, the library's copies at 407.
// OFFSET  FIELD
constexpr std::size_t kEvAddressStart = 4;   // u32
constexpr std::size_t kEvAddressEnd = 8;     // u32
constexpr std::size_t kEvAddressMask = 12;   // u32
constexpr std::size_t kEvDataValue = 16;     // u32
constexpr std::size_t kEvDataMask = 20;      // u32
constexpr std::size_t kEvStatusValue = 24;   // u16
constexpr std::size_t kEvStatusMask = 26;    // u16
static_assert(kEvStatusMask + 2 + 2 == kEventRecordSize);  // the pass count ends it
constexpr u16 kEventCount = 3;

// The words whose value leaves a timer event idle: channel 0 and 1 of the library copies.
constexpr std::size_t kTimerEvent0A = 419, kTimerEvent0B = 427;
constexpr std::size_t kTimerEvent1A = 449, kTimerEvent1B = 457;
constexpr u8 kTimerNewValue = 0x02;  // _Q_tm_rd status: a measurement finished

// The watchdog is looked at on every this-many rounds of a long wait.
constexpr u32 kWatchdogEvery = 100;

// The profiler sample waits this long for the channel to stay quiet; the
// rounds bound it where the tick clock does not move by itself.
constexpr u32 kProfilerQuietMs = 2;
constexpr u32 kProfilerQuietRounds = 16;

constexpr u32 kMemoryOrganisationWide = 4;  // needs the second supply

BiosWorkArea* work() { return SupHost.BiosWork.get(); }

bool area_present(u32 start, u32 end) { return start != kLayoutUndefined && start <= end; }

// A target byte address as the bus-word address the event hardware compares.
u32 bus_word_address(u32 x, u32 mask, u32 shift) {
  return ((x >> shift) & mask) | (x & ~mask & (~mask << shift));
}

}  // namespace

void emu_control_reset() { EmuCtl = EmuControlState{}; }

// --- Run-time measurement ----------------------------------------------------

void emu_rtc_clear() {
  if (!work()) return;
  _Q_rtc0_clr();
  EmuCtl.RunCounter = 0;
}

u32 emu_rtc_read() {
  if (!work()) return 0;
  EmuCtl.LastRunTime = _Q_rtc0_rd();
  return EmuCtl.LastRunTime;
}

std::string_view emu_run_time_text() {
  const u64 overhead = u64(EmuCtl.RunCounter) * EmuCtl.RunOverhead;
  u32 value = overhead > EmuCtl.LastRunTime ? 0 : u32(EmuCtl.LastRunTime - overhead);
  std::array<char, 10> digits{};
  for (std::size_t i = digits.size(); i-- > 0;) {
    digits[i] = char('0' + value % 10);
    value /= 10;
  }
  // d0 "," d1 d2 d3 "s" d4 d5 d6 "m" d7 d8 d9 "u"
  char* t = EmuCtl.TimeText;
  std::size_t d = 0;
  *t++ = digits[d++];
  *t++ = ',';
  for (char unit : {'s', 'm', 'u'}) {
    for (int k = 0; k < 3; ++k) *t++ = digits[d++];
    *t++ = unit;
  }
  *t = '\0';
  return {EmuCtl.TimeText, kTimeTextSize};
}

// --- Target control and status -------------------------------------------------

void emu_reset_pulse(u16 n) {
  if (!work()) return;
  _Q_trg_rst(u16(n * 17), 1);
}

void emu_nmi(u16 v) {
  if (!work()) return;
  // a held NMI lasts at least 2 ms
  _Q_trg_NMI(v == 1 ? 2 : v);
}

void emu_profiler_strobe() {
  if (!work()) return;
  _Q_wrreg0(kRegControl, kCtlRunStrobe, kCtlRunStrobe);
  u8& shadow = work()->bytes[kWorkRegisterShadow + kRegControl];
  shadow = u8(shadow & ~kCtlRunStrobe);
}

u32 emu_check_target_vcc() {
  if (!work() || Sw.NoMonitorMode != 0) return 0;
  const RomLayout& l = EmuArea.Layout;
  const bool upper = area_present(l.urom1_start, l.urom1_end) || area_present(l.urom2_start, l.urom2_end);
  return _Q_chk_vcc(EmuCtl.MemoryOrganisation == kMemoryOrganisationWide || upper ? 1 : 0);
}

void emu_watchdog_or_end() {
  emu_reply_watchdog();
  if (Co.WatchdogRunning) return;
  run_set_execution_state(kExecStopped);
  co_abort_to_main();
}

u16 emu_wait_run_or_data() {
  if (!work()) return 0;
  sup_watchdog_start();
  for (u32 round = 1; (_Q_chk_run() & 1) == 0; ++round) {
    if (_Q_rschk() != 0) return 1;
    if (round % kWatchdogEvery == 0) emu_watchdog_or_end();
  }
  return 0;
}

void emu_wait(u16 ms) {
  if (!work()) return;
  _Q_wait(ms);
}

void emu_set_page_bit(u8 value, u16 flag) {
  if (!work()) return;
  _Q_wrreg0(kRegPage, u8((value & ~kPageBit) | (flag ? kPageBit : 0)), kPageBit);
}

void emu_set_break_trace_control(u8 v) {
  if (!work()) return;
  _Q_wrreg1(kRegBreakTraceControl, v);
  work()->set8<kWorkReg54Copy>(v);
}

u16 emu_trace_full() {
  if (!work()) return 0;
  if (_Q_rdreg(kRegTraceControl) & kTraceRecording) {
    EmuCtl.TraceFullCountdown = kTraceFullGrace;
    return 0;
  }
  // still inside the grace rounds, and no stop on its way?
  if (EmuCtl.TraceFullCountdown != 0 && run_get_run_flags() != 2) {
    --EmuCtl.TraceFullCountdown;
    return 0;
  }
  return 128;
}

u16 emu_trace_stopped() {
  if (!work()) return 0;
  return (_Q_rdreg(kRegTraceControl) & kTraceRecording) ? 0 : 128;
}

u8 emu_event_status() {
  if (!work() || Run.TraceHwLevel == 0) return 0;
  return u8(_Q_ev_stat(1) & work()->get8<kWorkEventEnable>());
}

void emu_ev_set(u16 v) {
  if (!work()) return;
  _Q_ev_set(v == 0 ? 1 : v == 1 ? 2 : v);
}

void emu_arm_run_events(u16 suppress) {
  if (!work() || Run.TraceHwLevel == 0) return;
  const u8 enabled = work()->get8<kWorkEventEnable>();
  if (suppress) work()->set8<kWorkEventEnable>(0);
  _Q_ev_set(1);
  work()->set8<kWorkEventEnable>(enabled);
}

void emu_timer_set() {
  if (!work()) return;
  _Q_tm_set();
}

void emu_timer_record(u32 value) {
  EmuCtl.TimerLast = value;
  if (EmuCtl.TimerCount != 0xFFFF) ++EmuCtl.TimerCount;
  EmuCtl.TimerMax = std::max(EmuCtl.TimerMax, value);
  EmuCtl.TimerMin = std::min(EmuCtl.TimerMin, value);
  // Past the span the sum forgets one average measurement for each new one.
  if (EmuCtl.TimerCount <= kTimerAverageSpan)
    EmuCtl.TimerSum += value;
  else
    EmuCtl.TimerSum = EmuCtl.TimerSum - EmuCtl.TimerAverage + value;
  EmuCtl.TimerAverage = EmuCtl.TimerSum / std::min(EmuCtl.TimerCount, kTimerAverageSpan);
}

u8 emu_timer_read(u32& value, u16 start) {
  BiosWorkArea* w = work();
  if (!w) return 0;
  if (start != 0) {
    EmuCtl.TimerLast = EmuCtl.TimerSum = EmuCtl.TimerAverage = EmuCtl.TimerMax = 0;
    EmuCtl.TimerCount = 0;
    EmuCtl.TimerMin = 0xFFFFFFFF;
    _Q_tm_start();
    return 0;
  }
  // a timer event that compares nothing never starts or stops the timer
  if ((w->get32_at(kTimerEvent0A) == 0 && w->get32_at(kTimerEvent0B) == 0) ||
      (w->get32_at(kTimerEvent1A) == 0 && w->get32_at(kTimerEvent1B) == 0))
    return 0;
  u32 read = value;
  const u8 status = _Q_tm_rd(&read);
  value = read;
  if (status & kTimerNewValue) emu_timer_record(read);
  return status;
}

// --- Events -----------------------------------------------------------------

void emu_program_event(u16 n) {
  BiosWorkArea* w = work();
  if (!w) return;
  if (n >= 1 && n <= kEventCount) {
    const std::size_t user = kWorkUserEvents + kEventRecordSize * (n - 1);
    const std::size_t lib = kWorkLibraryEvents + kEventRecordSize * (n - 1);
    std::copy_n(w->bytes.begin() + user, kEventRecordSize, w->bytes.begin() + lib);
    const u32 mask = EmuCtl.MemorySizeUnits * 4096 + 4095;
    const u32 shift = (EmuCtl.MemoryOrganisation / 2) % 32;
    for (std::size_t off : {kEvAddressStart, kEvAddressEnd, kEvAddressMask})
      w->set32_at(lib + off, bus_word_address(w->get32_at(lib + off), mask, shift));
    const u32 address_mask = w->get32_at(lib + kEvAddressMask);
    w->set32_at(lib + kEvAddressStart, w->get32_at(lib + kEvAddressStart) & address_mask);
    w->set32_at(lib + kEvAddressEnd, w->get32_at(lib + kEvAddressEnd) & address_mask);
    w->set32_at(lib + kEvDataValue, w->get32_at(lib + kEvDataValue) & w->get32_at(lib + kEvDataMask));
    w->set16_at(lib + kEvStatusValue, u16(w->get16_at(lib + kEvStatusValue) & w->get16_at(lib + kEvStatusMask)));
  }
  _Q_trig_set(n);
}

// --- Real-time trace ------------------------------------------------------------

void trc_start() {
  BiosWorkArea* w = work();
  if (!w) return;
  const u8 mode = w->get8<kWorkTraceMode>();
  EmuCtl.TraceFrameAdjust = (mode & kTraceModeSample) ? 1 : 0;
  _Q_tr_go();
  EmuCtl.TraceFrameEnd = 0xFFFFFFFF;
  EmuCtl.TraceDelayLeft = (mode & kTraceModeDelay) ? w->get16<kWorkTraceDelay>() : 0xFFFFFFFF;
}

void trc_stop() {
  if (!work() || EmuCtl.TraceFrameEnd != 0xFFFFFFFF) return;
  u32 frame = 0;
  u32 delay = EmuCtl.TraceDelayLeft;
  EmuCtl.TraceWrapped = _Q_tr_stop(&frame, &delay);
  EmuCtl.TraceFrameEnd = frame;
  EmuCtl.TraceDelayLeft = delay & 0xFFFF;
  _Q_wrreg0(kRegTraceControl, 0, kTraceStopBit);
  // no-monitor mode with the monitor-enable option: the end frame is taken as 65535
  if (Sw.NoMonitorMode != 0 && (Sw.NoMonitorOption & 1)) EmuCtl.TraceFrameEnd = 0xFFFF;
}

void trc_on() {
  if (!work()) return;
  _Q_wrreg1(kRegTraceControl, kTraceOnValue);
  _Q_tr_on();
  EmuCtl.TraceFrameEnd = 0xFFFFFFFF;
  EmuCtl.TraceDelayLeft = 0xFFFFFFFF;
}

void trc_read_trace_frames(u16& first, u16& last) {
  u16 frame = u16(EmuCtl.TraceFrameEnd);
  if (EmuCtl.TraceFrameAdjust) {
    frame = u16(frame & ~15);  // whole groups of 16 only
    first = u16(frame + 16);
    last = u16(frame - 1);
  } else {
    last = u16(frame - 1);
    first = u16(frame + 1);
  }
  // not wrapped: the trace runs from frame 0, if it recorded anything
  if (!EmuCtl.TraceWrapped) {
    if (frame == 0) {
      first = last = 0xFFFF;
      EmuCtl.TraceStartStamp = 0;
      return;
    }
    first = 0;
  }
  BiosWorkArea* w = work();
  if (!w || (w->get8<kWorkTimerFlags>() & kTimerFlagsNoStartStamp)) {
    EmuCtl.TraceStartStamp = 0;
    return;
  }
  u32 address = 0, data = 0;
  u16 status = 0, stamp = 0;
  _Q_rd_trc_data(first, &address, &data, &status, &stamp);
  EmuCtl.TraceStartStamp = u16(stamp & kStampMask);
}

TraceFrame trc_read_frame(u16 frame) {
  TraceFrame f;
  if (!work()) return f;
  _Q_rd_trc_data(frame, &f.address, &f.data, &f.status, &f.time);
  if (Run.TraceHwLevel < 2) {
    f.address &= 0xFFFFFF;
    f.data &= 0xFFFF;
    f.status &= 0xFF;
  }
  int since = int(f.time & kStampMask) - int(EmuCtl.TraceStartStamp);
  if (since < 0) since += kStampWrap;
  f.time = u16((f.time & ~kStampMask) | (u16(since) & kStampMask));
  return f;
}

void trc_set_frame(u16 frame) {
  if (!work()) return;
  _Q_set_fadr(frame);
}

bool trc_sample(u32& address, u16& status) {
  if (!work()) return false;
  u32 a = 0;
  u16 s = 0;
  const u16 result = _Q_rdsmp_adr(&a, &s);
  address = Run.TraceHwLevel < 2 ? (a & 0xFFFFFF) : a;
  status = s;
  return (result & 1) == 0;
}

// --- Profiler ---------------------------------------------------------------

u16 emu_profiler_sample(std::span<u8> buffer) {
  BiosWorkArea* w = work();
  if (!w) return 0;
  const u16 count = u16(std::min<std::size_t>(buffer.size(), 0xFFFF));
  _Q_wrreg0(kRegControl, kCtlProfilerHold, kCtlProfilerHold);
  const u32 start = sup_tick_count();
  u16 result = kProfilerChannelBusy;
  for (u32 round = 0;; ++round) {
    // the program talks on the channel: no sample now
    if (_Q_rschk() != 0) break;
    if (sup_tick_count() - start >= kProfilerQuietMs || round >= kProfilerQuietRounds) {
      result = _Q_profnmi(buffer.data(), count, kMonitorProfileCode, 0);
      break;
    }
    _Q_wait(1);
  }
  _Q_wrreg0(kRegControl, 0, kCtlProfilerHold);
  if (w->get16<kWorkStatus>() & kStatusTimeout) {
    EmuCtl.ProfilerRunning = 0;
    emu_timeout_path();
  }
  return result;
}

u16 emu_detect_card_base() {
  const u16 result = DetectInterfaceCard(kCardKindPci);
  if (result == kCardDeviceAbsent) return 22;
  if (result == kCardNotFound) return 23;
  if (SupHost.BiosWork) SupHost.BiosWork->set16<kWorkBasePort>(u16(result & ~7u));
  return 0;
}

u16 emu_detect_card() { return DetectInterfaceCard(kCardKindPcCard); }
