// Start-up errors: the two tables of texts (English and Japanese) and their
// report through the error box.
#pragma once

#include <string>

#include "platform/host/host_types.h"

constexpr u16 kStartupErrorIllegalOption = 21;

// What the banner shows of the emulator and its monitor.
struct EmulatorInfo {
  u16 Model = 0;                // emulator model number
  u16 MemorySizeCode = 0;       // emulation memory: 2^code Mbit per bank
  u16 MonitorCodeAddress = 0;   // where the monitor's code lies in target memory
  u16 MonitorSize = 0;          // its size in bytes
  u16 MonitorStack = 0x8080;    // its initial stack
};
extern EmulatorInfo EmuInfo;

struct StartupState {
  u16 Failed = 0;               // the start-up has failed
  u16 DriverDialog = 0;         // error 20: the window side offers the driver settings
  std::string ConfigLine;       // the configuration line that error 0 shows
};
extern StartupState Startup;

// The text of start-up error n in the current language, "%s" filled with "80".
std::string emu_startup_error_text(u16 n);
// Reports start-up error n in the error box: the failure word becomes 1 (2 for
// error 13, which offers a retry); error 0 appends the configuration line,
// error 21 the word at the command cursor, error 20 marks the driver dialog.
void emu_startup_error(u16 n, u16 mode);
