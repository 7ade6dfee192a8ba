// The emulator's bus instruments: three event channels that compare every
// bus cycle of the program under test (address range, data value, status
// bits, pass count), their AND and sequence combination, the two consumers
// of the event sources (the hardware break and the trace trigger), the event
// timer in virtual time, the external break inputs and the real-time trace
// memory of 65,536 frames. The board feeds it one call per bus cycle while
// it is live; everything else comes from driver requests between slices.
#pragma once

#include <array>
#include <vector>

#include "platform/host/host_types.h"

// Status lines of a bus cycle, as trace frames record them and event
// channels compare them (1 = the line is active). The shipped configuration
// describes the cycle kinds by these bits.
constexpr u8 kDevStatusM1 = 0x01;
constexpr u8 kDevStatusMreq = 0x02;
constexpr u8 kDevStatusIorq = 0x04;
constexpr u8 kDevStatusRd = 0x08;
constexpr u8 kDevStatusWr = 0x10;
constexpr u8 kDevStatusFetch = kDevStatusM1 | kDevStatusMreq | kDevStatusRd;
constexpr u8 kDevStatusMemRead = kDevStatusMreq | kDevStatusRd;
constexpr u8 kDevStatusMemWrite = kDevStatusMreq | kDevStatusWr;
constexpr u8 kDevStatusIoRead = kDevStatusIorq | kDevStatusRd;
constexpr u8 kDevStatusIoWrite = kDevStatusIorq | kDevStatusWr;
constexpr u8 kDevStatusInta = kDevStatusM1 | kDevStatusIorq;

// Event sources, the bits of a selection and of the event status.
constexpr u8 kDevSrcEv1 = 0x01;
constexpr u8 kDevSrcEv2 = 0x02;
constexpr u8 kDevSrcEv3 = 0x04;
constexpr u8 kDevSrcAndSeq = 0x08;
constexpr u8 kDevSrcTimeOut = 0x10;
constexpr u8 kDevSrcTraceEnd = 0x20;
constexpr u8 kDevSrcExt1 = 0x40;
constexpr u8 kDevSrcExt2 = 0x80;

// Trace mode bits (work area offset 516, register 55 as written by the trace start).
constexpr u8 kDevTraceStopFull = 0x04;   // stop when the memory is full
constexpr u8 kDevTraceSample = 0x08;     // 16 frames per trigger
constexpr u8 kDevTraceDelayed = 0x10;    // stop `delay` frames after the trigger

// Timer status (register 46 as read).
constexpr u8 kDevTimerRunning = 0x01;
constexpr u8 kDevTimerDone = 0x02;       // a measurement (or the time-out) is ready

constexpr std::size_t kDevTraceFrames = 65536;
constexpr std::size_t kDevEventChannels = 3;

// One channel as the library loads it from its copy of an event record.
struct DevEventChannel {
  u32 address_start = 0;
  u32 address_end = 0;
  u32 address_mask = 0;
  u32 data_value = 0;
  u32 data_mask = 0;
  u16 status_value = 0;
  u16 status_mask = 0;
  bool address_negate = false;
  bool data_negate = false;
  u16 pass_count = 1;  // the match that fires first; 0 counts as 1
  // Something is compared: a channel with every mask 0 matches every cycle.
  bool Compares() const { return address_mask != 0 || data_mask != 0 || status_mask != 0; }
};

// A consumer's selection of sources (the 6-byte set-up of the work area).
struct DevEventSelection {
  u8 sources = 0;
  bool sequence = false;  // AND/SEQ: event 2 counts only after event 1
  u16 pass_count = 1;     // of the AND/SEQ combination
};

struct DevTraceFrame {
  u32 address = 0;  // physical memory address, or the 16-bit port
  u8 data = 0;
  u8 status = 0;
  u16 marker = 0;   // bit 15: first frame of a sample group
  u64 clock = 0;    // T-states of virtual time
};

class DevEvents {
 public:
  DevEvents();

  // --- Set-up (driver requests).
  void SetChannel(std::size_t index, const DevEventChannel& channel);
  const DevEventChannel& Channel(std::size_t index) const { return channels_[index % kDevEventChannels]; }
  // Arms a consumer: the channels' and the combination's pass counts start
  // again, the event status is cleared. `now` starts a time-out.
  void ArmBreak(const DevEventSelection& selection);
  void ArmTrigger(const DevEventSelection& selection, u16 delay);
  const DevEventSelection& BreakSelection() const { return break_; }
  const DevEventSelection& TriggerSelection() const { return trigger_; }
  u8 Status() const { return status_; }  // sources that have fired since arming

  // --- Timer. Resolution 0 = 0.1 us, 1 = 1 us, 2 = 10 us; mode bit 0 = time-out.
  void TimerSet(u8 resolution, u8 mode, u32 preset, u64 now);
  void TimerStart(u64 now);
  // Status bits; when kDevTimerDone is set, the count (24 bits, in resolution
  // units) goes to `count` and the timer starts again.
  u8 TimerRead(u32& count, u64 now);
  u8 TimerResolution() const { return timer_resolution_; }

  // --- Trace.
  void TraceStart(u8 mode);  // recording from frame 0
  void TraceStop();
  bool TraceRecording() const { return recording_; }
  bool TraceWrapped() const { return wrapped_; }
  bool TraceDelayDone() const { return delay_done_; }
  u16 TraceFrameAddress() const { return u16(write_); }  // the next frame written
  u16 TraceDelayCounted() const { return delay_counted_; }
  u8 TraceMode() const { return trace_mode_; }
  const DevTraceFrame& Frame(u16 number) const { return frames_[number]; }
  // A frame as the trace memory holds it (what a run would have recorded).
  void SetFrame(u16 number, const DevTraceFrame& frame) { frames_[number] = frame; }
  // The last opcode fetch the trace holds (among its newest frames): its
  // address and status.
  bool LastFetch(u32& address, u8& status) const;
  // Frame time stamp in timer-resolution units, modulo 2000.
  u16 Stamp(u64 clock) const;

  // --- External break inputs (1 or 2): a rising edge fires EXT1/EXT2.
  void ExternalInput(int line, bool level);

  // --- The bus. Live: the board must call Cycle() for every bus cycle of
  // the program under test; otherwise it may skip the calls.
  bool Live() const { return live_; }
  void Cycle(u32 address, u8 data, u8 status, u64 clock) {
    if (plain_recording_) {
      frames_[write_] = DevTraceFrame{address, data, status, 0, clock};
      write_ = (write_ + 1) & (kDevTraceFrames - 1);
      if (write_ == 0) wrapped_ = true;
    } else if (recording_) {
      Record(address, data, status, clock);
    }
    // the channels whose status condition the cycle meets, by table: most
    // cycles meet none and cost no more
    if (u8 candidates = status_channels_[status]) {
      u8 hits = 0;
      for (std::size_t i = 0; candidates != 0; ++i, candidates >>= 1) {
        if (!(candidates & 1)) continue;
        const Matcher& m = matchers_[i];
        const u32 a = address & m.address_mask;
        if ((((data & m.data_mask) == m.data_value) != m.data_negate) &&
            ((a >= m.address_low && a <= m.address_high) != m.address_negate))
          hits |= u8(1u << i);
      }
      if (hits != 0) Hits(hits, clock);
    }
    if (timeout_armed_ && clock >= timeout_at_) Fire(kDevSrcTimeOut, clock);
  }
  // The trace records freely and nothing else watches the bus: a writer may
  // put frames straight into TraceMemory() from TraceWrite() on, each at
  // (index & (kDevTraceFrames - 1)), and then report how many it wrote. Any
  // other change of the set-up ends this, so the writer asks again after one.
  bool RecordsOnly() const { return plain_recording_ && compare_ == 0 && !timeout_armed_; }
  DevTraceFrame* TraceMemory() { return frames_.data(); }
  u32 TraceWrite() const { return write_; }
  void TraceWritten(u64 count) {
    if (write_ + count >= kDevTraceFrames) wrapped_ = true;
    write_ = u32((write_ + count) & (kDevTraceFrames - 1));
  }
  // Takes the break request that a source of the hardware-break selection
  // raised (once per request).
  bool TakeBreak() {
    const bool b = break_requested_;
    break_requested_ = false;
    return b;
  }
  bool BreakRequested() const { return break_requested_; }

  // Units of `tstates` at `hz` in a timer resolution.
  static u64 Units(u64 tstates, u32 hz, u8 resolution);
  void SetClockHz(u32 hz) { hz_ = hz ? hz : 1; }

 private:
  void Record(u32 address, u8 data, u8 status, u64 clock);
  void Hits(u8 matched, u64 clock);  // channels whose condition the cycle met
  void Fire(u8 sources, u64 clock);
  void TraceEnded(u64 clock);
  void Update();  // live_ and compare_ from the set-up

  std::array<DevEventChannel, kDevEventChannels> channels_{};
  // The channels' conditions ready for the bus: values cut to their masks.
  struct Matcher {
    u32 address_mask = 0, address_low = 0, address_high = 0;
    u32 data_mask = 0, data_value = 0;
    u16 status_mask = 0, status_value = 0;
    bool address_negate = false, data_negate = false;
  };
  std::array<Matcher, kDevEventChannels> matchers_{};
  bool plain_recording_ = false;  // free mode, nothing to count: frames go straight in
  std::array<u8, 256> status_channels_{};  // by a cycle's status: the compared channels it may meet
  std::array<u16, kDevEventChannels> counts_{};  // matches so far, up to the pass count
  u16 combination_count_ = 0;
  bool sequence_armed_ = false;  // event 1 has fired: SEQ counts event 2
  DevEventSelection break_{};
  DevEventSelection trigger_{};
  u8 status_ = 0;
  u8 compare_ = 0;               // channels some consumer needs compared
  bool break_requested_ = false;
  bool break_fired_ = false;     // the break of this arming was requested
  bool live_ = false;
  u32 hz_ = 8'000'000;

  // Timer.
  u8 timer_resolution_ = 1;
  u8 timer_mode_ = 0;
  u32 timer_preset_ = 0;
  bool timer_running_ = false;
  bool timer_done_ = false;
  u64 timer_started_ = 0;
  u64 timer_result_ = 0;         // T-states of the last measurement
  bool timeout_armed_ = false;
  u64 timeout_at_ = 0;

  // Trace.
  std::vector<DevTraceFrame> frames_;
  u32 write_ = 0;                // next frame written, 0..65535
  bool recording_ = false;
  bool wrapped_ = false;
  bool triggered_ = false;
  bool delay_done_ = false;
  u8 trace_mode_ = 0;
  u16 delay_ = 0;
  u16 delay_counted_ = 0;        // frames recorded since the trigger (delayed mode)
  u16 sample_left_ = 0;          // frames still to take for the current sample
  std::array<bool, 2> ext_level_{};
};
