// The small commands of the command core: PRMPT, N, VER, EXIT, TIME, CD, DIR.
#pragma once

#include "platform/host/host_types.h"

struct LapState {
  u32 LapBase = 0;     // tick count at the last lap reset
  u16 HasLapBase = 0;  // 0 until the first time stamp
};
extern LapState Lap;

// Prints the local time "\n%02d:%02d:%02d.%03d" and "  (LapTime= %d.%03d sec)"
// since the lap base; the base becomes now when `reset` is non-zero or none
// exists yet.
void PrintTimeStamp(u16 reset);

void cmd_set_prompt();  // PRMPT c: c becomes the prompt character
void cmd_radix();       // N 16 / N 10
void cmd_version();     // VER: the banner
void cmd_exit();        // EXIT [!]
void cmd_time();        // TIME [CLR]
void cmd_cd();          // CD [dir]
void cmd_dir();         // DIR [dir or pattern]
// The engine's directory (Sw.CurrentDirectory), taken from the process the
// first time it is needed.
void ensure_current_directory();
