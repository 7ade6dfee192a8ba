// The two consumers of the event sources, the hardware break and the trace
// trigger (an EventSelection each in the work area), the timer and trace
// settings, the commands BH, RTM and TM, the time-out conversions, and the
// rows of the break window (software breakpoints and the hardware break).
// Owns BrkHw.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "platform/host/host_types.h"

// EventSelection sources (byte 0).
constexpr u8 kSelEv1 = 0x01, kSelEv2 = 0x02, kSelEv3 = 0x04, kSelAndSeq = 0x08, kSelTimeOut = 0x10,
             kSelTraceEnd = 0x20, kSelExt1 = 0x40, kSelExt2 = 0x80;
constexpr u8 kSelSequence = 0x80;  // byte 1: SEQ; 0x7F: AND
constexpr u8 kSelAnd = 0x7F;

// Trace flags (work offset 516).
constexpr u8 kTraceStopWhenFull = 0x04;
constexpr u8 kTraceModeShift = 3;   // bits 3-4: 0 Free RUN, 1 Sample, 2 Delaied Trig.
constexpr u8 kTraceModeMask = 0x18;
constexpr u8 kTraceClockInternal = 0x20;  // work offset 515
constexpr u16 kTraceDelayMin = 8;

struct BrkHardwareState {
  u16 HardwareRows = 0;  // break-window rows of the hardware break
};
extern BrkHardwareState BrkHw;

void brk_hardware_reset();

// Microseconds to a timer count: the resolution it needs (0..2) and the
// count in its units (24 bits); and back.
void brk_timeout_to_count(u32 us, u8& resolution, u32& count);
u32 brk_count_to_us(u32 count, u8 resolution);

// The sources as BH shows them ("Ev.1 1.AND.2 " ... or "Disable").
std::string brk_selection_text(std::size_t offset);

void brk_cmd_bh();   // BH BHE BHD
void brk_cmd_rtm();  // RTM
void brk_cmd_tm();   // TM
// CoreRequest::HardwareBreak: the selection apply in BH's form on `argument`.
void brk_request_apply(const char* argument);

// The break window: the row count (with kBreakRowsEndInHardware), the text of a row
// (empty past the end) and the event index (0..2) a hardware row shows, or -1.
u16 brk_window_row_count();
std::string brk_window_row_text(u16 row);
int brk_window_row_event(u16 row);
// The break window's action on hardware row `index` (counted from the row
// after the last software breakpoint's): kind kBreakRowToggle switches the
// row's event in or out of the hardware break, kBreakRowDelete takes it out,
// kBreakRowDeleteAll takes out every event. brk_hardware_reset hands it to the pseudo-key executor.
void brk_window_hardware_action(u16 kind, u16 index);
