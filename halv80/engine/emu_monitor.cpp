// The monitor requests: their framing, arguments and replies, the handshake,
// the cold-start marker and the time-out path.
#include "halv80/engine/emu_monitor.h"

#include <algorithm>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

constinit EmuMonitorState EmuMon;

namespace {


constexpr u32 kHandshakePollMs = 10;
constexpr u32 kHandshakePolls = 800;
constexpr u32 kHandshakeWatchdogEvery = 32;  // polls between two looks at the watchdog

// The time-out path polls the watchdog in these steps; it gives up waiting
// after this many, well past the watchdog's own band of limit + 2,000 ms.
constexpr u32 kTimeoutPollMs = 10;
constexpr u32 kTimeoutPolls = 1000;

bool no_monitor() { return Sw.NoMonitorMode != 0; }

bool driver_back_end() {
  return SupHost.BiosWork && SupHost.BiosWork->get32<kWorkDriverMode>() != 0;
}

// The one reply byte that ends a request without data; its value carries nothing.
void read_acknowledge() { (void)emu_getrs(); }

// Polls the reply watchdog; true when it has just reported the target hung.
bool watchdog_expired() {
  emu_reply_watchdog();
  return Co.WatchdogRunning == 0;
}

void read_bytes(MonitorRequest code, std::span<u8> out) {
  std::fill(out.begin(), out.end(), u8(0));
  if (!emu_request(code)) return;
  for (u8& b : out) b = emu_getrs();
}

void write_bytes(MonitorRequest code, std::span<const u8> in) {
  if (!emu_request(code)) return;
  for (u8 b : in) emu_putrs(b);
  read_acknowledge();
}

}  // namespace

void emu_monitor_reset() { EmuMon = EmuMonitorState{}; }

bool emu_request(MonitorRequest code) {
  if (no_monitor() || !SupHost.BiosWork) return false;
  sup_watchdog_start();
  if (!driver_back_end()) {
    emu_bankset(u16(code));
    emu_putrs(kMonitorDoorbell);
  } else if (EmuMon.ChannelCommandMode != 1 && EmuMon.ChannelCommandMode != 2) {
    _nt_STARTCMD(u16(code));
  }
  return true;
}

void emu_timeout_path() {
  // The bit is the library's news for this call only; left set, every later
  // channel call would end here too.
  if (BiosWorkArea* work = SupHost.BiosWork.get())
    work->set16<kWorkStatus>(u16(work->get16<kWorkStatus>() & ~kStatusTimeout));
  // On the window side the watchdog unwinds by itself when it reports, so the
  // target is marked stopped before the wait.
  if (!Co.OnCommandSide) run_set_execution_state(kExecStopped);
  sup_watchdog_start();
  sup_watchdog_limit(kMonitorReplyLimitMs);
  emu_reply_watchdog();  // starts the measurement
  for (u32 poll = 0; poll < kTimeoutPolls && Co.WatchdogRunning; ++poll) {
    sup_sleep(kTimeoutPollMs);
    emu_reply_watchdog();
  }
  run_set_execution_state(kExecStopped);
  co_abort_to_main();
}

u8 emu_req_read_byte(u16 address) {
  if (!emu_request(MonitorRequest::ReadByte)) return 0;
  emu_put_word(address);
  return emu_getrs();
}

u8 emu_req_read_port(u16 port) {
  if (!emu_request(MonitorRequest::ReadPort)) return 0;
  emu_put_word(port);
  return emu_getrs();
}

u16 emu_req_read_word(u16 address) {
  if (!emu_request(MonitorRequest::ReadWord)) return 0;
  emu_put_word(address);
  return emu_get_word();
}

void emu_req_write_byte(u16 address, u8 value) {
  if (!emu_request(MonitorRequest::WriteByte)) return;
  emu_put_word(address);
  emu_putrs(value);
  read_acknowledge();
}

void emu_req_write_port(u16 port, u8 value) {
  if (!emu_request(MonitorRequest::WritePort)) return;
  emu_put_word(port);
  emu_putrs(value);
  read_acknowledge();
}

void emu_req_write_word(u16 address, u16 value) {
  if (!emu_request(MonitorRequest::WriteWord)) return;
  emu_put_word(address);
  emu_put_word(value);
  read_acknowledge();
}

void emu_req_read_block(u16 address, std::span<u8> out) {
  std::fill(out.begin(), out.end(), u8(0));
  if (out.empty() || !emu_request(MonitorRequest::ReadBlock)) return;
  emu_put_word(address);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = emu_getrs();
    emu_putrs(i + 1 < out.size() ? kMonitorMore : kMonitorLast);
  }
  read_acknowledge();
}

void emu_req_write_block(u16 address, std::span<const u8> data) {
  if (data.empty() || !emu_request(MonitorRequest::WriteBlock)) return;
  emu_put_word(address);
  for (std::size_t i = 0; i < data.size(); ++i) {
    emu_putrs(data[i]);
    emu_putrs(i + 1 < data.size() ? kMonitorMore : kMonitorLast);
  }
  read_acknowledge();
}

void emu_req_set_stack(u16 sp) {
  if (!emu_request(MonitorRequest::SetStack)) return;
  emu_put_word(sp);
  read_acknowledge();
}

void emu_req_set_interrupts(u16 enable) {
  const u8 b[1] = {u8(enable != 0 ? 1 : 0)};
  write_bytes(MonitorRequest::SetInterrupts, b);
}

void emu_req_read_mmu_windows(std::span<u8, kMmuWindowBytes> out) {
  read_bytes(MonitorRequest::ReadMmuWindows, out);
}

void emu_req_set_mmu_windows(std::span<const u8, kMmuWindowBytes> in) {
  write_bytes(MonitorRequest::SetMmuWindows, in);
}

void emu_req_read_mmu_bank(u16 kind, std::span<u8, kMmuBankBytes> out) {
  read_bytes(kind == 4 ? MonitorRequest::ReadMmuBank4 : MonitorRequest::ReadMmuBank2, out);
}

void emu_req_set_mmu_bank(u16 kind, std::span<const u8, kMmuBankBytes> in) {
  write_bytes(kind == 4 ? MonitorRequest::SetMmuBank4 : MonitorRequest::SetMmuBank2, in);
}

u16 emu_req_handshake() {
  if (no_monitor() || !SupHost.BiosWork) return kHandshakeNotReady;
  // the monitor's last byte still waits, and the send FIFO can take the request?
  if (!emu_rschk() || !emu_send_room()) return kHandshakeNotReady;
  (void)_Q_getrs();
  // The handshake rings the code in through the bank register in both back ends.
  sup_watchdog_start();
  emu_bankset(u16(MonitorRequest::Handshake));
  _Q_putrs(kMonitorDoorbell);
  for (u32 poll = 1;; ++poll) {
    _Q_wait(kHandshakePollMs);
    if (emu_rschk() && emu_send_room()) break;
    if (poll % kHandshakeWatchdogEvery == 0 && watchdog_expired()) return kHandshakeTimedOut;
    if (poll >= kHandshakePolls) return kHandshakeTimedOut;
  }
  (void)_Q_getrs();
  return kHandshakeDone;
}

void emu_req_cold_start() {
  if (!SupHost.BiosWork) return;
  emu_bankset(u16(MonitorRequest::ColdStart));
}

void emu_req_load(MonitorRequest code, std::span<const u8> arguments) { write_bytes(code, arguments); }

void emu_req_load_words(MonitorRequest code, u16 a, u16 b, u16 c) {
  const u8 bytes[6] = {u8(a), u8(a >> 8), u8(b), u8(b >> 8), u8(c), u8(c >> 8)};
  write_bytes(code, bytes);
}

void emu_req_run() { (void)emu_request(MonitorRequest::Run); }

void emu_req_read_words(MonitorRequest code, std::span<u16> out) {
  std::fill(out.begin(), out.end(), u16(0));
  if (!emu_request(code)) return;
  for (u16& w : out) w = emu_get_word();
}

void emu_req_answer(u8 value) {
  if (no_monitor() || !SupHost.BiosWork) return;
  emu_putrs(value);
  read_acknowledge();
}
