// The simulated target: the board's lines applied to the CPU, the program run
// in slices until the monitor takes the CPU at one of its entries, and the
// monitor served while it holds the CPU. Time always passes in full: what the
// CPU does not use, the monitor or the reset line does.
#include "platform/device/dev_target.h"

#include <algorithm>
#include <limits>

#include "platform/device/dev_monitor.h"

namespace {

// The most T-states one CPU run may take; the board counts in 32 bits.
constexpr u64 kRunSlice = 1u << 20;

void count_tstates(DevBoard& board, u64 count) {
  while (count > 0) {
    const u64 part = std::min<u64>(count, std::numeric_limits<u32>::max());
    board.CountTStates(u32(part));
    count -= part;
  }
}

}  // namespace

DevTarget::DevTarget(const DevFixture& fixture) : board_(fixture), cpu_(std::make_unique<DevCpu>(board_)) {
  monitor_ = std::make_unique<DevMonitor>(board_, *cpu_, faults_);
  board_.SetFetchObserver([this](u32 window_offset) { return monitor_->Fetch(window_offset); });
  board_.SetCpu(cpu_.get());
}

DevTarget::~DevTarget() {
  board_.SetFetchObserver(nullptr);
  board_.SetCpu(nullptr);
}

// Reset and NMI as the board's lines request them. The monitor runs with the
// NMI ignored: one that arrives while it holds the CPU is dropped.
void DevTarget::TakeLines() {
  if (board_.TakeReset()) {
    cpu_->Reset();
    board_.Mmu().Reset();  // the MMU is the CPU's: its registers reset with it
    monitor_->Reset();
  }
  if (board_.TakeNmi() && !board_.ResetHeld() && !monitor_->InControl()) cpu_->Nmi();
}

void DevTarget::Run(u64 tstates) {
  TakeLines();
  u64 left = tstates;
  for (;;) {
    if (monitor_->InControl()) monitor_->Service();
    if (left == 0) break;
    // no CPU cycles: held in reset, or the monitor waits for the host
    if (!CpuRuns()) {
      PassIdle(left);
      break;
    }
    const u64 used = RunCpu(left);
    left -= std::min(used, left);
    if (used == 0) break;  // the CPU took no time: nothing more will happen in this call
  }
}

void DevTarget::Service() {
  TakeLines();
  monitor_->Service();
}

bool DevTarget::CpuRuns() const { return !board_.ResetHeld() && !monitor_->InControl(); }

u64 DevTarget::RunCpu(u64 tstates) {
  TakeLines();
  if (tstates == 0 || !CpuRuns()) return 0;
  board_.RefreshShortcut();
  const u64 used = cpu_->Run(std::min(tstates, kRunSlice));
  count_tstates(board_, used);
  if (monitor_->EntryPending()) {
    monitor_->TakeOver();
    monitor_->Service();  // bytes the host sent ahead of the stop
  }
  return used;
}

void DevTarget::PassIdle(u64 tstates) { count_tstates(board_, tstates); }

bool DevTarget::MonitorInControl() const { return monitor_->InControl(); }

const DevMonitor& DevTarget::Monitor() const { return *monitor_; }
