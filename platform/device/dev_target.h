// The simulated target under the emulator: the board, the CPU on its bus, and
// the on-target monitor. The monitor is modelled, not executed: it takes over
// when the CPU fetches at one of its entry points inside the monitor window
// (cold start at the monitor code address, the break entry, the NMI entry),
// which it reads from the monitor memory the host wrote, and then answers the
// numbered requests the host sends through the bank/command register and the
// channel, byte for byte, until a run request hands the CPU back to the
// program. Time passes only inside Run, RunCpu and PassIdle; the owner says
// when (inside driver calls, or on the board's own thread).
#pragma once

#include <memory>

#include "platform/device/dev_board.h"
#include "platform/device/dev_cpu.h"
#include "platform/device/dev_fixture.h"

class DevMonitor;

// Faults a test can inject.
struct DevFaults {
  bool monitor_hung = false;  // the monitor reads requests but never answers
};

class DevTarget {
 public:
  explicit DevTarget(const DevFixture& fixture = DevFixture{});
  ~DevTarget();
  DevTarget(const DevTarget&) = delete;
  DevTarget& operator=(const DevTarget&) = delete;

  DevBoard& Board() { return board_; }
  DevCpu& Cpu() { return *cpu_; }
  DevFaults& Faults() { return faults_; }

  // Runs the target for `tstates`: the program under test while it runs,
  // otherwise the monitor serving whatever the host has sent. Reset and NMI
  // lines of the board take effect here. T-states are reported to the board's
  // run-time counter.
  void Run(u64 tstates);
  // Lets the monitor act on bytes that arrived, without time passing.
  void Service();
  // The CPU has cycles to run: not held in reset, and not held by the
  // monitor (the program under test, or whatever runs before the monitor's
  // cold start).
  bool CpuRuns() const;
  // One slice of the CPU: the board's lines first, then at most `tstates`
  // (and at most one internal run slice), ended early when the monitor takes
  // the CPU, which it then does. T-states are reported to the board. Returns
  // the T-states used; 0 when the CPU does not run.
  u64 RunCpu(u64 tstates);
  // Time passes without the CPU: the board counts it.
  void PassIdle(u64 tstates);
  // True while the monitor holds the CPU (the program under test is stopped).
  bool MonitorInControl() const;
  // The monitor model, for inspection: how it last took the CPU, the
  // registers it holds.
  const DevMonitor& Monitor() const;

 private:
  // Applies the board's reset and NMI requests to the CPU and the monitor.
  void TakeLines();

  DevBoard board_;
  std::unique_ptr<DevCpu> cpu_;
  std::unique_ptr<DevMonitor> monitor_;
  DevFaults faults_;
};
