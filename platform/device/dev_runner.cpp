// The board's thread and lock: slices of the CPU while it runs, callers
// served ahead of the next slice, time passing at once while the CPU is idle,
// and the optional pacing to the target's clock.
#include "platform/device/dev_runner.h"

#include <algorithm>

#include "platform/host/host_env.h"

DevPacing dev_pacing_from_environment() {
  const auto value = host_env_lookup(kDevPacingVariable);
  if (!value || value->empty() || *value == "0") return DevPacing::FullSpeed;
  return DevPacing::Clock;
}

DevRunner::DevRunner(DevTarget& target) : target_(target) {}

DevRunner::~DevRunner() {
  if (!thread_.joinable()) return;
  {
    // taken as a caller takes it: the thread holds the lock from slice to
    // slice and lets in only those it counts
    std::unique_lock<std::mutex> held = Take();
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void DevRunner::Start(DevPacing pacing) {
  if (thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    UsePacing(pacing);
  }
  thread_ = std::thread(&DevRunner::ThreadMain, this);
}

void DevRunner::SetPacing(DevPacing pacing) {
  std::unique_lock<std::mutex> held = Take();
  UsePacing(pacing);
}

void DevRunner::UsePacing(DevPacing pacing) {
  pacing_ = pacing;
  // Paced, a slice is one millisecond of the target's time, so that the
  // waits between slices are short and even.
  const u64 ms = dev_ms_to_tstates(1, target_.Board().Fixture().cpu_clock_hz);
  slice_ = pacing == DevPacing::Clock ? std::max<u64>(ms, 1) : kSliceFullSpeed;
  paced_run_ = false;
}

std::unique_lock<std::mutex> DevRunner::Take() {
  // free (the thread is parked, or keeps out of a driving caller's way)?
  if (mutex_.try_lock()) return std::unique_lock<std::mutex>(mutex_, std::adopt_lock);
  // Counted while it waits, so that the thread lets it in after its slice.
  wanted_.fetch_add(1, std::memory_order_relaxed);
  std::unique_lock<std::mutex> held(mutex_);
  wanted_.fetch_sub(1, std::memory_order_relaxed);
  return held;
}

void DevRunner::Give(std::unique_lock<std::mutex>& held) {
  const bool wake = thread_.joinable() && parked_ && target_.CpuRuns();
  held.unlock();
  if (wake) wake_.notify_one();
}

u64 DevRunner::Advance(std::unique_lock<std::mutex>& held, u64 tstates) { return Step(held, tstates, true); }

u64 DevRunner::Step(std::unique_lock<std::mutex>& held, u64 tstates, bool host) {
  if (tstates == 0) return 0;
  target_.Service();  // the lines and the monitor's answers come first
  u64 ran = target_.CpuRuns() ? target_.RunCpu(std::min(tstates, slice_)) : 0;
  if (ran == 0) {
    paced_run_ = false;
    if (!host) return 0;
    // nothing runs: the time the caller lets pass passes at once
    target_.PassIdle(tstates);
    return tstates;
  }
  if (host) caller_ran_.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
  if (pacing_ == DevPacing::Clock) Pace(held, ran, host);
  return ran;
}

void DevRunner::Pass(std::unique_lock<std::mutex>& held, u64 tstates) {
  while (tstates > 0) tstates -= std::min(tstates, Advance(held, tstates));
}

void DevRunner::Pace(std::unique_lock<std::mutex>& held, u64 ran, bool host) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  if (!paced_run_) {
    // the CPU starts running: its time is measured from here
    paced_run_ = true;
    paced_since_ = now;
    paced_tstates_ = 0;
  }
  paced_tstates_ += ran;
  const u64 hz = std::max<u32>(target_.Board().Fixture().cpu_clock_hz, 1);
  const auto due = paced_since_ + nanoseconds(paced_tstates_ / hz * 1'000'000'000 +
                                              paced_tstates_ % hz * 1'000'000'000 / hz);
  if (due <= now) {
    // far behind the wall clock (the host stood still): start measuring anew
    if (now - due > kPacingSlack) paced_run_ = false;
    return;
  }
  // The board is free while the target waits for its clock.
  held.unlock();
  std::this_thread::sleep_until(due);
  if (host) wanted_.fetch_add(1, std::memory_order_relaxed);
  held.lock();
  if (host) wanted_.fetch_sub(1, std::memory_order_relaxed);
}

bool DevRunner::CallerDrives() const {
  using namespace std::chrono;
  const steady_clock::time_point ran{steady_clock::duration{caller_ran_.load(std::memory_order_relaxed)}};
  return steady_clock::now() - ran < kCallerDrives;
}

void DevRunner::ThreadMain() {
  std::unique_lock<std::mutex> held(mutex_);
  while (!quit_) {
    // Callers go first; with nothing to run the thread sleeps until a caller
    // leaves the CPU running.
    if (wanted_.load(std::memory_order_relaxed) > 0 || !target_.CpuRuns()) {
      parked_ = true;
      wake_.wait(held);
      parked_ = false;
      continue;
    }
    // A caller drives the CPU: the thread sleeps until it has stopped doing
    // so, without touching the lock the caller keeps taking.
    if (CallerDrives()) {
      held.unlock();
      while (CallerDrives()) std::this_thread::sleep_for(kCallerDrives);
      held.lock();
      continue;
    }
    Step(held, slice_, false);
  }
}
