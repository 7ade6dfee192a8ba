// The simulated board's time beside the host. The board has one lock. While
// the program under test runs, the board's own thread runs the target's CPU
// in slices under that lock; every driver request takes the lock before the
// thread's next slice and so sees the board between two slices, as the
// library would see a card. Virtual time is the board's T-state count: it
// advances by the T-states the CPU runs and, while the CPU has nothing to
// run, by whatever time a request lets pass, at once. Without a started
// thread nothing runs by itself: the owner lets time pass inside its calls.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/device/dev_target.h"
#include "platform/host/host_types.h"

// How fast the board's CPU runs: as fast as the host can run it, or held to
// its configured clock against the host's wall clock.
enum class DevPacing : u8 { FullSpeed, Clock };

// The environment variable that holds the target to its clock: "1" (or any
// value but "0" and the empty text) paces it.
constexpr const char* kDevPacingVariable = "HALV80_SIM_PACED";
DevPacing dev_pacing_from_environment();

// T-states of `ms` milliseconds at `hz`; a clock of 0 Hz counts as 1 Hz.
constexpr u64 dev_ms_to_tstates(u64 ms, u32 hz) { return ms * (hz ? hz : 1) / 1000; }

class DevRunner {
 public:
  // The board's thread runs this much of the CPU at a time at full speed: a
  // fraction of a millisecond of host time, so that a request waits little.
  static constexpr u64 kSliceFullSpeed = 1u << 18;
  // A status read while the program runs lets this much run first (a
  // slice at most, when paced): a caller that polls for a stop then runs the
  // CPU itself, at nearly its full speed.
  static constexpr u64 kPollSlice = 1u << 18;
  // A request that starts the CPU lets it run this much before it returns:
  // a single step or a short run has stopped by then, with no thread switch.
  static constexpr u64 kFirstSlice = 1u << 14;
  // Paced, the wall clock may run this far ahead of the target before the
  // target gives up catching up (a host that stood still for a while).
  static constexpr std::chrono::milliseconds kPacingSlack{50};
  // A caller that ran the CPU itself this recently is driving it (it polls
  // for a stop, each poll running a slice): the thread keeps out of its way
  // rather than take the board back and forth.
  static constexpr std::chrono::milliseconds kCallerDrives{2};

  // `target` must outlive the runner. No thread runs yet.
  explicit DevRunner(DevTarget& target);
  // Stops the thread, if one runs.
  ~DevRunner();
  DevRunner(const DevRunner&) = delete;
  DevRunner& operator=(const DevRunner&) = delete;

  // Starts the board's thread: from now on the CPU runs whenever it can.
  // A second call does nothing.
  void Start(DevPacing pacing);
  bool Threaded() const { return thread_.joinable(); }
  // Holds the CPU to its clock, or lets it run at full speed, from the next
  // slice on; the thread, if one runs, goes on.
  void SetPacing(DevPacing pacing);

  // The board held for a look from outside a request: given back, and the
  // thread woken, when it goes.
  class Turn {
   public:
    explicit Turn(DevRunner& runner) : runner_(&runner), held_(runner.Take()) {}
    Turn(Turn&& other) noexcept = default;
    Turn& operator=(Turn&&) = delete;
    ~Turn() {
      if (held_.owns_lock()) runner_->Give(held_);
    }

   private:
    DevRunner* runner_;
    std::unique_lock<std::mutex> held_;
  };

  // The board for the caller, taken ahead of the thread's next slice.
  std::unique_lock<std::mutex> Take();
  // Ends the caller's turn: unlocks, and wakes the thread when the CPU has
  // something to run and the thread is parked.
  void Give(std::unique_lock<std::mutex>& held);

  // With the board held: lets time pass, at most `tstates` of it. A CPU that
  // runs runs one slice (at most the thread's slice); otherwise all of it
  // passes idle, at once. Paced, the caller may sleep with the board given
  // up. Returns the T-states that passed.
  u64 Advance(std::unique_lock<std::mutex>& held, u64 tstates);
  // With the board held: lets `tstates` pass, slice by slice.
  void Pass(std::unique_lock<std::mutex>& held, u64 tstates);

  // What a status read lets run while the program runs.
  u64 PollSlice() const { return std::min(kPollSlice, slice_); }

 private:
  void ThreadMain();
  // With the lock held: the pacing and the slice that goes with it.
  void UsePacing(DevPacing pacing);
  // A caller ran the CPU within kCallerDrives.
  bool CallerDrives() const;
  // Advance for a caller (`host`), or a slice of the thread, which lets no
  // time pass while the CPU has nothing to run.
  u64 Step(std::unique_lock<std::mutex>& held, u64 tstates, bool host);
  // Holds the CPU back to its clock after `ran` T-states of it.
  void Pace(std::unique_lock<std::mutex>& held, u64 ran, bool host);

  DevTarget& target_;
  std::mutex mutex_;                     // the board's lock
  std::condition_variable wake_;         // the thread waits here for something to run
  std::atomic<int> wanted_{0};           // callers waiting for the lock: the thread yields to them
  bool quit_ = false;                    // the thread ends
  bool parked_ = false;                  // the thread waits until a caller wakes it
  // When a caller last ran the CPU, in steady-clock ticks; read by the thread
  // without the lock while it keeps out of the way.
  std::atomic<std::chrono::steady_clock::rep> caller_ran_{0};
  DevPacing pacing_ = DevPacing::FullSpeed;
  u64 slice_ = kSliceFullSpeed;
  // Pacing: the wall time at which the CPU started running, and the T-states
  // it has run since.
  bool paced_run_ = false;
  std::chrono::steady_clock::time_point paced_since_{};
  u64 paced_tstates_ = 0;
  std::thread thread_;
};
