// Start-up errors: the two tables of texts (English and Japanese) and their
// report through the error box.
#pragma once

#include <cstddef>
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

constexpr u16 kErrConfigNotFound = 1;
constexpr u16 kErrMonitorNotFound = 12;
constexpr u16 kErrRegistry = 31;
constexpr std::size_t kResetVectorBytes = 3;  // JP nnnn
constexpr u16 kNmiVectorZ80 = 0x66;
constexpr u16 kNmiVector8080 = 0x24;
constexpr u16 kNoMonitorSettleMs = 500;

struct StartupState {
  u16 Failed = 0;               // the start-up has failed
  u16 DriverDialog = 0;         // error 20: the window side offers the driver settings
  std::string ConfigLine;       // the configuration line that error 0 shows
  u16 InProgress = 0;           // between the first step and the last
  u16 ConfigRead = 0;           // the configuration file is read once per program run
  u32 FirstFreeAddress = 0;     // with memory management: the first page above the monitor
  // The board's data files where the first start-up found them, as full
  // paths: INIT, RESET and a re-initialisation open them there, whatever
  // the current and the program's folder have become since (a load moves
  // both to the loaded file's folder).
  std::string MonitorFile;
  std::string LogicConfigFile;
};
extern StartupState Startup;

// Opens one of the board's data files for reading: at `kept` once a start-up
// found it, else at `path`, which then becomes `kept` (as a full path) when
// the file opens there. The handle, or -1.
int emu_open_board_file(std::string& kept, std::string_view path);

// The text of start-up error n in the current language, "%s" filled with "80".
std::string emu_startup_error_text(u16 n);
// Reports start-up error n in the error box: the failure word becomes 1 (2 for
// error 13, which offers a retry); error 0 appends the configuration line,
// error 21 the word at the command cursor, error 20 marks the driver dialog.
void emu_startup_error(u16 n, u16 mode);

// Brings the emulator from power-on to a target stopped under the monitor:
// the configuration file (first call only), the monitor file and its header,
// the library's initialisation, the monitor image, the reset vector patched
// to jump to the monitor while it boots, the boot loop, the monitor's stack.
// Returns 0, or the start-up error that stopped it (already reported). Every
// error but the boot time-outs (13, 14) ends the program run: see emu_startup.
u16 emu_startup_sequence(u16 mode);
// emu_startup_sequence; a fatal error ends the program run (does not return).
// 0, or 13/14 when the monitor did not boot and the user chose to quit.
u16 emu_startup(u16 mode);

// The window side's re-initialisation of the emulator: the target counts as
// stopped, then, unless an error is pending, the hardware set-up and the
// start-up sequence under a restart point of their own. A failure leaves
// Sup.StartupFailure set (the window side then closes) and never ends the
// program from here.
void sup_restart_emulator();

// Commands: INIT, RESET [delay[,kind]], %QOR [ON|OFF].
void cmd_init();
void cmd_reset();
void cmd_system_debug_mode();
