// The bus instruments. A cycle costs a test of two flags while nothing needs
// it; the comparisons run only for the channels a consumer or the timer uses.
#include "platform/device/dev_events.h"

#include <algorithm>

namespace {

constexpr u16 kStampWrap = 2000;

}  // namespace

DevEvents::DevEvents() : frames_(kDevTraceFrames) {}

u64 DevEvents::Units(u64 tstates, u32 hz, u8 resolution) {
  const u64 per_second = resolution == 0 ? 10'000'000 : resolution == 1 ? 1'000'000 : 100'000;
  const u64 h = hz ? hz : 1;
  // split so that the product cannot overflow
  return tstates / h * per_second + tstates % h * per_second / h;
}

// --- Set-up -----------------------------------------------------------------

void DevEvents::SetChannel(std::size_t index, const DevEventChannel& channel) {
  if (index >= kDevEventChannels) return;
  channels_[index] = channel;
  if (channels_[index].pass_count == 0) channels_[index].pass_count = 1;
  Matcher& m = matchers_[index];
  m.address_mask = channel.address_mask;
  m.address_low = channel.address_start & channel.address_mask;
  m.address_high = channel.address_end & channel.address_mask;
  m.address_negate = channel.address_negate;
  m.data_mask = channel.data_mask;
  m.data_value = channel.data_value & channel.data_mask;
  m.data_negate = channel.data_negate;
  m.status_mask = channel.status_mask;
  m.status_value = u16(channel.status_value & channel.status_mask);
  counts_[index] = 0;
  Update();
}

void DevEvents::ArmBreak(const DevEventSelection& selection) {
  break_ = selection;
  if (break_.pass_count == 0) break_.pass_count = 1;
  counts_.fill(0);
  combination_count_ = 0;
  sequence_armed_ = false;
  status_ = 0;
  break_requested_ = false;
  break_fired_ = false;
  Update();
}

void DevEvents::ArmTrigger(const DevEventSelection& selection, u16 delay) {
  trigger_ = selection;
  if (trigger_.pass_count == 0) trigger_.pass_count = 1;
  delay_ = delay;
  counts_.fill(0);
  combination_count_ = 0;
  sequence_armed_ = false;
  status_ = 0;
  Update();
}

void DevEvents::Update() {
  u8 needed = break_.sources;
  if (recording_ && (trace_mode_ & (kDevTraceSample | kDevTraceDelayed))) needed |= trigger_.sources;
  u8 channels = needed & (kDevSrcEv1 | kDevSrcEv2 | kDevSrcEv3);
  if (needed & kDevSrcAndSeq) channels |= kDevSrcEv1 | kDevSrcEv2;
  // the timer measures from event 1 to event 2 when both compare something
  if (!(timer_mode_ & 1) && channels_[0].Compares() && channels_[1].Compares()) channels |= kDevSrcEv1 | kDevSrcEv2;
  compare_ = channels;
  status_channels_.fill(0);
  // nothing compared (a step, a plain run): no cycle meets any channel
  for (std::size_t status = 0; channels != 0 && status < status_channels_.size(); ++status) {
    u8 set = 0;
    for (std::size_t i = 0; i < kDevEventChannels; ++i)
      if ((channels & (1u << i)) && (status & matchers_[i].status_mask) == matchers_[i].status_value)
        set |= u8(1u << i);
    status_channels_[status] = set;
  }
  plain_recording_ = recording_ && (trace_mode_ & (kDevTraceSample | kDevTraceDelayed | kDevTraceStopFull)) == 0;
  live_ = compare_ != 0 || recording_ || timeout_armed_;
}

// --- Timer ------------------------------------------------------------------

void DevEvents::TimerSet(u8 resolution, u8 mode, u32 preset, u64 now) {
  timer_resolution_ = resolution > 2 ? 2 : resolution;
  timer_mode_ = mode & 3;
  timer_preset_ = preset & 0xFFFFFF;
  TimerStart(now);
}

void DevEvents::TimerStart(u64 now) {
  timer_running_ = false;
  timer_done_ = false;
  timer_result_ = 0;
  timeout_armed_ = false;
  if (timer_mode_ & 1) {
    // time-out: counts from now; a preset of 0 never ends
    const u64 per_second = timer_resolution_ == 0 ? 10'000'000 : timer_resolution_ == 1 ? 1'000'000 : 100'000;
    if (timer_preset_ != 0) {
      timeout_at_ = now + (u64(timer_preset_) * hz_ + per_second - 1) / per_second;
      timeout_armed_ = true;
      timer_running_ = true;
      timer_started_ = now;
    }
  }
  Update();
}

u8 DevEvents::TimerRead(u32& count, u64 now) {
  (void)now;
  u8 s = 0;
  if (timer_running_) s |= kDevTimerRunning;
  if (timer_done_) {
    s |= kDevTimerDone;
    count = u32(Units(timer_result_, hz_, timer_resolution_) & 0xFFFFFF);
    timer_done_ = false;
  }
  return s;
}

// --- Trace ------------------------------------------------------------------

void DevEvents::TraceStart(u8 mode) {
  trace_mode_ = mode;
  write_ = 0;
  wrapped_ = false;
  triggered_ = false;
  delay_done_ = false;
  delay_counted_ = 0;
  sample_left_ = 0;
  recording_ = true;
  Update();
}

void DevEvents::TraceStop() {
  recording_ = false;
  Update();
}

bool DevEvents::LastFetch(u32& address, u8& status) const {
  // an instruction has at most a few cycles after its fetch
  constexpr u32 kLookBack = 64;
  const u32 recorded = wrapped_ ? u32(kDevTraceFrames) : write_;
  for (u32 back = 1; back <= std::min(kLookBack, recorded); ++back) {
    const DevTraceFrame& f = frames_[(write_ - back) & (kDevTraceFrames - 1)];
    if (f.status == kDevStatusFetch) {
      address = f.address;
      status = f.status;
      return true;
    }
  }
  address = 0;
  status = 0;
  return false;
}

u16 DevEvents::Stamp(u64 clock) const { return u16(Units(clock, hz_, timer_resolution_) % kStampWrap); }

void DevEvents::Record(u32 address, u8 data, u8 status, u64 clock) {
  u16 marker = 0;
  if (trace_mode_ & kDevTraceSample) {
    if (sample_left_ == 0) return;  // between samples
    if (sample_left_ == 16) marker = 0x8000;
    --sample_left_;
  }
  frames_[write_] = DevTraceFrame{address, data, status, marker, clock};
  write_ = (write_ + 1) & (kDevTraceFrames - 1);
  if (write_ == 0) {
    wrapped_ = true;
    if (trace_mode_ & kDevTraceStopFull) {
      TraceEnded(clock);
      return;
    }
  }
  if ((trace_mode_ & kDevTraceDelayed) && triggered_) {
    ++delay_counted_;
    if (delay_counted_ >= delay_) {
      delay_done_ = true;
      TraceEnded(clock);
    }
  }
}

void DevEvents::TraceEnded(u64 clock) {
  recording_ = false;
  Update();
  Fire(kDevSrcTraceEnd, clock);
}

// --- Events -------------------------------------------------------------------

void DevEvents::Hits(u8 matched, u64 clock) {
  const bool sequence = ((break_.sources | trigger_.sources) & kDevSrcAndSeq) &&
                        ((break_.sources & kDevSrcAndSeq) ? break_.sequence : trigger_.sequence);
  u8 hits = 0;
  for (std::size_t i = 0; i < kDevEventChannels; ++i) {
    if (!(matched & (1u << i))) continue;
    if (i == 1 && sequence && !sequence_armed_) continue;  // event 2 counts after event 1 only
    const DevEventChannel& c = channels_[i];
    if (counts_[i] < c.pass_count) ++counts_[i];
    if (counts_[i] >= c.pass_count) hits |= u8(1u << i);
  }
  u8 fired = hits;
  if ((break_.sources | trigger_.sources) & kDevSrcAndSeq) {
    const u16 pass = (break_.sources & kDevSrcAndSeq) ? break_.pass_count : trigger_.pass_count;
    bool counted = false;
    if (sequence) {
      counted = sequence_armed_ && (hits & kDevSrcEv2);
      if (hits & kDevSrcEv1) sequence_armed_ = true;
    } else {
      counted = (hits & (kDevSrcEv1 | kDevSrcEv2)) == (kDevSrcEv1 | kDevSrcEv2);
    }
    if (counted) {
      if (combination_count_ < pass) ++combination_count_;
      if (combination_count_ >= pass) fired |= kDevSrcAndSeq;
    }
  }
  // the timer: event 1 starts a measurement, event 2 ends it
  if (!(timer_mode_ & 1)) {
    if ((hits & kDevSrcEv2) && timer_running_) {
      timer_result_ = clock - timer_started_;
      timer_running_ = false;
      timer_done_ = true;
    }
    if ((hits & kDevSrcEv1) && !timer_running_) {
      timer_started_ = clock;
      timer_running_ = true;
    }
  }
  if (fired) Fire(fired, clock);
}

void DevEvents::Fire(u8 sources, u64 clock) {
  if (sources & kDevSrcTimeOut) {
    if (!timeout_armed_) sources &= u8(~kDevSrcTimeOut);
    timeout_armed_ = false;
    timer_running_ = false;
    timer_done_ = true;
    timer_result_ = clock - timer_started_;
    Update();
  }
  status_ |= sources;
  // one break per arming: the NMI's own cycles (its pushes) may match again
  if ((sources & break_.sources) && !break_fired_) {
    break_requested_ = true;
    break_fired_ = true;
  }
  if (recording_ && (sources & trigger_.sources)) {
    if ((trace_mode_ & kDevTraceDelayed) && !triggered_) {
      triggered_ = true;
      delay_counted_ = 0;
      if (delay_ == 0) {
        delay_done_ = true;
        TraceEnded(clock);
      }
    } else if ((trace_mode_ & kDevTraceSample) && sample_left_ == 0) {
      sample_left_ = 16;
    }
  }
}

void DevEvents::ExternalInput(int line, bool level) {
  if (line != 1 && line != 2) return;
  bool& old = ext_level_[std::size_t(line - 1)];
  const bool rising = level && !old;
  old = level;
  if (rising) Fire(line == 1 ? kDevSrcExt1 : kDevSrcExt2, 0);
}
