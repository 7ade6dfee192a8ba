// The hardware event conditions: the three EventRecords in the work area that
// EV fills and the event dialog edits, the cycle-kind status patterns of the
// configuration, values with don't-care digits (their operand form and their
// texts), the event texts of the dialog and the hardware stop text.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/host/host_types.h"

constexpr u16 kMsgNotOnThisModel = 54;  // the command needs event and trace hardware
constexpr u16 kEventChannels = 3;

// Cycle kinds 1..8 of an EventRecord, in the configuration's order.
constexpr u8 kKindInta = 1, kKindCf = 2, kKindMr = 3, kKindMw = 4, kKindIr = 5, kKindIw = 6, kKindMem = 7,
             kKindIo = 8;
extern const char* const kCycleKindNames[9];  // [0] empty, then "INTA" .. "IO"

// EventRecord, 30 bytes in the work area (user records at offset 317).
struct EventRecord {
  u8 data_negate = 0;
  u8 address_negate = 0;
  u8 status_negate = 0;
  u8 kind = 0;            // 0 any, 1..8
  u32 address_start = 0;
  u32 address_end = 0;
  u32 address_mask = 0;   // 0: address don't care
  u32 data_value = 0;
  u32 data_mask = 0;
  u16 status_value = 0;
  u16 status_mask = 0;
  u16 pass_count = 1;
};

// User event n (1..3) from / to the work area; an empty record without one.
EventRecord brk_get_event(u16 n);
void brk_put_event(u16 n, const EventRecord& e);
// The accessors of the window side: the seven 32-bit words and the 16-bit
// pass count of user event n (0..2); the two 6-byte selections by their
// 32-bit and 16-bit halves.
void sup_set_event_record(u16 n, std::span<const u32, 7> words, u16 pass_count);
void sup_set_event_enables(u32 run_low, u16 run_high, u32 trace_low, u16 trace_high);

// Reads a value whose hexadecimal (or, after '@', binary) digits may be 'X'
// (don't care; replaced by '0' in the line): the value, and in `mask` the
// compared bits (bits above the typed digits stay 1).
u32 brk_parse_masked_value(u16& mask);

// "4x" / "@1x0x_0001": a value with its don't-care digits, `bits` wide.
std::string brk_masked_data_text(u32 value, u32 mask, u16 bits);
// "@xxxx_xxxx_0000_1011": 16 status bits.
std::string brk_masked_status_text(u16 value, u16 mask);
// A decimal operand of 32 bits.
u32 brk_get_decimal();
// Data-bus width in bits (8 x the work area's byte count, at least 8).
u16 brk_data_bits();

// The event dialog's texts for event n (1..3).
std::string brk_event_pass_text(u16 n);
std::string brk_event_status_text(u16 n);
std::string brk_event_data_text(u16 n);
std::string brk_event_address_text(u16 n);

// The hardware stop: for a stop-cause byte with a source bit set, `name` gets
// the lowest source's name ("Ev.1" .. "EXT2") and "H/W_Brk=" is returned;
// nullptr at level 0 or without a cause.
const char* brk_stop_text(u8 cause, std::string& name);
extern const char* const kEventSourceNames[8];  // "Ev.1" .. "EXT2"

// Cycle kinds whose status pattern matches `status`: bit i for kind i + 1,
// with 0x4000 (a read that may be a fetch) and 0x8006 as the trace display
// gives them.
u16 brk_cycle_kind_flags(u16 status);

// EV.
void emu_cmd_event();
// The listing of event n (1..3).
void brk_list_event(u16 n);
