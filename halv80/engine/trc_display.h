// The real-time trace viewer TD: the recorded frames by position, pages,
// ranges, fetch cycles shown as instructions with labels and source lines,
// and a search by address, data and status. The window side's trace and
// history windows use the same range, heading and frame lines. Owns TrcView.
#pragma once

#include <string>

#include "platform/host/host_types.h"

struct TrcViewState {
  i32 First = 0;       // valid positions First .. Count-1
  i32 Count = 0;
  i32 Base = 0;        // hardware frame of position First
  i32 Position = 0;    // the next frame to show
  i32 Expected = 0;    // instruction mode: where the next fetch is expected
  i32 Lines = 0;       // lines written on the current page
  u8 InstructionMode = 0;
  u8 Active = 0;       // TD runs
  u32 Bank = 0;        // the bank the last mapped frame was found in
};
extern TrcViewState TrcView;

void trc_view_reset();

// TD.
void trc_cmd_td();
// 1 while TD runs (the window side ends the viewer's prompt then).
u16 trc_view_active();

// The valid range: stops the recording and reads the trace memory's
// pointers into TrcView (position and expected at the first frame). false
// when nothing was recorded.
bool trc_view_range();
// The column heading (with its rule unless `search`).
void trc_print_heading(bool search);
// One frame line at `position` on the console (plain: never as an
// instruction). false past the range.
bool trc_print_frame(i32 position, bool plain);
// Position p's hardware frame number.
u16 trc_hardware_frame(i32 position);
