// The protocol between the debugger and the on-target monitor, named once:
// the request codes, the bytes that frame them on the target channel, the
// stop bytes the monitor sends when it takes the CPU, and the monitor file's
// header with the entry points. The engine's client (halv80/engine/
// emu_monitor.cpp, emu_boot.cpp, run_control.cpp) and the simulated monitor
// (dev_monitor.cpp, dev_monitor_image.cpp) both use these names.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

// A request's code: one byte. The engine rings it in through the bank/command
// register (direct back end) or the driver's start command; arguments and
// replies follow on the channel. Words travel low byte first. ORDER: code.
enum class MonitorRequest : u8 {
  ReadByte = 8,                // word address -> byte
  ReadPort = 9,                // word port -> byte
  ReadWord = 16,               // word address -> word
  WriteByte = 24,              // word address, byte -> acknowledge
  WritePort = 25,              // word port, byte -> acknowledge
  WriteWord = 32,              // word address, word -> acknowledge
  ReadBlock = 40,              // word address; per byte kMonitorMore or kMonitorLast after it
  WriteBlock = 48,             // word address; per byte the byte, then kMonitorMore or kMonitorLast
  SetStack = 80,               // word SP -> acknowledge
  SetInterrupts = 81,          // byte 1 enable, 0 disable -> acknowledge
  ReadMmuWindows = 82,         // -> kMmuWindowBytes bytes
  SetMmuWindows = 83,          // kMmuWindowBytes bytes -> acknowledge
  ReadMmuBank2 = 84,           // -> CBR, BBR, CBAR
  SetMmuBank2 = 85,            // CBR, BBR, CBAR -> acknowledge
  ReadMmuBank4 = 86,           // -> CBR, BBR, CBAR
  SetMmuBank4 = 87,            // CBR, BBR, CBAR -> acknowledge
  PrepareRun = 96,             // -> acknowledge
  LoadSpPcAf = 97,             // words SP, PC, AF -> acknowledge
  LoadAltAfBcDe = 98,          // words AF', BC', DE' -> acknowledge
  LoadAltHlIxIy = 99,          // words HL', IX, IY -> acknowledge
  LoadBcHlDe = 100,            // words BC, HL, DE -> acknowledge
  LoadInterrupts = 101,        // byte I (or the 8080 state), then 255 or 0 -> acknowledge
  Run = 103,                   // no reply: the CPU goes back to the program
  StopRecordAfterBreak = 112,  // stop byte not 0: -> words BC, S
  StopRecordPastBreak = 113,   // stop byte 0: -> words BC, S
  ReadHlDeAf = 114,            // -> words HL, DE, AF
  ReadPcSp = 115,              // -> words PC, SP; then one byte back and an acknowledge
  ReadAltAfBcDe = 116,         // -> words AF', BC', DE'
  ReadAltHlIxIy = 117,         // -> words HL', IX, IY
  EndStopRecord = 118,         // -> acknowledge
  Handshake = 125,             // -> kMonitorHandshakeReply; framed specially
  ColdStart = 126,             // written to the bank/command register only; no reply
};
// The code 127 never travels as such: the bank register takes it as 255.
constexpr u8 kMonitorBank127 = 127;
constexpr u8 kMonitorBank127Code = 255;

// Channel bytes.
constexpr u8 kMonitorDoorbell = 0;          // starts a request (the code is in the bank register)
constexpr u8 kMonitorMore = 0xFF;           // block transfers: another byte follows
constexpr u8 kMonitorLast = 0x00;           // block transfers: that was the last byte
constexpr u8 kMonitorAcknowledge = 0x00;    // a request that returns no data
constexpr u8 kMonitorHello = 0xA5;          // sent once at a cold start
constexpr u8 kMonitorHandshakeReply = 0x5A;

// The stop byte: the first byte the monitor sends when it takes the CPU.
constexpr u8 kMonitorStopBreak = 0;  // the software break; PC is one past it
constexpr u8 kMonitorStopNmi = 1;    // an NMI; PC as the NMI pushed it
// An NMI that finds this byte waiting from the host is a profiler sample, not
// a stop: the monitor echoes the byte, sends the interrupted PC (low byte
// first) and lets the program go on.
constexpr u8 kMonitorProfileCode = 254;

// Reply sizes of the memory-management requests.
constexpr std::size_t kMmuWindowBytes = 8;  // ReadMmuWindows, SetMmuWindows
constexpr std::size_t kMmuBankBytes = 3;    // ReadMmuBank2..SetMmuBank4: CBR, BBR, CBAR

// The monitor file: a 32-byte header, little endian, then the image from
// kMonitorImageOffset. The header names the monitor's entry points; the
// engine writes JPs to them at the NMI and software-break vectors.
struct MonitorFileHeader {
  u8 format;           // kMonitorFileFormat
  u8 cpu_family;       // the engine's CpuType coding
  u8 unused_2;
  le32 code_address;   // where the monitor lies in target memory
  le16 nmi_slot;       // monitor-area offset of the monitor's NMI jump slot
  le16 nmi_entry;      // target of the JP at the NMI vector
  le16 break_entry;    // target of the JP at the software-break vector
  le16 position;       // bits 0-5: break byte in the first chunk; bits 0-6: service entry offset
  le16 unused_15;
  u8 handshake_mode;   // 0 none, 1 single call, 2 enter/leave pair
  u8 unused_18[14];
};
constexpr std::size_t kMonitorHeaderSize = 32;
static_assert(sizeof(MonitorFileHeader) == kMonitorHeaderSize);
static_assert(offsetof(MonitorFileHeader, code_address) == 3 && offsetof(MonitorFileHeader, nmi_slot) == 7);
static_assert(offsetof(MonitorFileHeader, nmi_entry) == 9 && offsetof(MonitorFileHeader, break_entry) == 11);
static_assert(offsetof(MonitorFileHeader, position) == 13 && offsetof(MonitorFileHeader, handshake_mode) == 17);

constexpr u8 kMonitorFileFormat = 1;
constexpr u32 kMonitorImageOffset = 64;  // file offset of the image's first chunk
