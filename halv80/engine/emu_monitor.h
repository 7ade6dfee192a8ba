// Monitor requests: while the target is stopped, its memory, ports and
// memory-management unit are reached through the monitor program on it. A
// request (MonitorRequest, platform/device/dev_monitor_protocol.h) is a code
// rung in through the library, argument bytes on the target
// channel and reply bytes back. A reply that does not come takes the time-out
// path, which ends the command. In no-monitor mode nothing is sent: reads give
// 0 and writes are dropped.
#pragma once

#include <span>

#include "platform/device/dev_monitor_protocol.h"
#include "platform/host/host_types.h"

// A monitor reply may take this long before the command fails.
constexpr u32 kMonitorReplyLimitMs = 1000;

// Handshake results.
constexpr u16 kHandshakeDone = 0;
constexpr u16 kHandshakeNotReady = 1;  // no-monitor mode, or the channel not ready for it
constexpr u16 kHandshakeTimedOut = 2;

struct EmuMonitorState {
  u16 ChannelCommandMode = 0;  // 1 or 2: in driver mode a request's code is not sent
};
extern EmuMonitorState EmuMon;

// Start-up values of the request layer.
void emu_monitor_reset();

// Starts request `code`: restarts the reply watchdog, then rings the code in:
// direct back end: bank/command register := code, doorbell byte 0 on the
// channel; driver back end (work offset 539): the start command, unless the
// channel-command mode is 1 or 2. False in no-monitor mode: nothing was sent.
// Can take the time-out path.
bool emu_request(MonitorRequest code);
// What a missing reply leads to: waits until the reply watchdog reports the
// target hung (on the command side: pending error 0x8320, shown as string
// 800), marks the target stopped and ends the command. Does not return.
[[noreturn]] void emu_timeout_path();

// The requests. Each can take the time-out path (and then does not return).
u8 emu_req_read_byte(u16 address);
u8 emu_req_read_port(u16 port);
u16 emu_req_read_word(u16 address);
void emu_req_write_byte(u16 address, u8 value);
void emu_req_write_port(u16 port, u8 value);
void emu_req_write_word(u16 address, u16 value);
// Block transfers from `address` on (the address wraps at 64 KiB); an empty
// block sends no request. A read fills `out`, with zeros in no-monitor mode.
void emu_req_read_block(u16 address, std::span<u8> out);
void emu_req_write_block(u16 address, std::span<const u8> data);
void emu_req_set_stack(u16 sp);
// enable != 0: interrupts enabled.
void emu_req_set_interrupts(u16 enable);
void emu_req_read_mmu_windows(std::span<u8, kMmuWindowBytes> out);
void emu_req_set_mmu_windows(std::span<const u8, kMmuWindowBytes> in);
// Bank kind 4 uses requests 86/87, any other kind 84/85.
void emu_req_read_mmu_bank(u16 kind, std::span<u8, kMmuBankBytes> out);
void emu_req_set_mmu_bank(u16 kind, std::span<const u8, kMmuBankBytes> in);

// The run and stop-record requests. emu_req_load sends `code` with the given
// argument bytes and reads the acknowledgement (96 with none, 97..100 three
// words, 101 two bytes). emu_req_run sends 103, which has no reply. The stop
// record's requests 112..117 answer words: emu_req_read_words reads `out`'s
// worth. emu_req_answer gives the monitor one byte it waits for inside a
// request and reads the acknowledgement. 118 ends the record.
void emu_req_load(MonitorRequest code, std::span<const u8> arguments);
void emu_req_load_words(MonitorRequest code, u16 a, u16 b, u16 c);
void emu_req_run();
void emu_req_read_words(MonitorRequest code, std::span<u16> out);
void emu_req_answer(u8 value);

// Request 125, at monitor boot and to resynchronise: kHandshakeDone when the
// monitor answered; kHandshakeNotReady in no-monitor mode or when no byte
// waits with send room; kHandshakeTimedOut after 800 polls of 10 ms or when
// the reply watchdog expires. Never takes the time-out path.
u16 emu_req_handshake();
// Request 126: the cold-start marker, written to the bank/command register only.
void emu_req_cold_start();
