// The engine settings that the start-up switches fill and many areas read,
// with their start-up values.
#pragma once

#include <cstddef>
#include <string>

#include "platform/host/host_types.h"

constexpr std::size_t kDirectorySize = 256;  // CurrentDirectory, with its terminator
constexpr std::size_t kExtensionSize = 10;   // DefaultSourceExtension, with its terminator
constexpr std::size_t kProgramFolderSize = 256;

struct SwitchState {
  u16 LongNames = 1;                        // 1: names compared in full; 0: cut to 8.3
  char CurrentDirectory[kDirectorySize]{};  // the engine's current directory; empty: none yet
  std::string StartupProgram;               // the program file named on the start-up line
  u16 StartupProgramGiven = 0;
  std::string SourceDirectoryOverride;      // -SD: answers every look-up of QNSRC
  bool HasSourceDirectoryOverride = false;
  char DefaultSourceExtension[kExtensionSize] = ".C";
  u16 TabWidth = 8;                         // at most 16
  u16 ToolchainKind = 16;                   // 1 -XL, 2 -XH, 3 -XI, 4 -XM, 5 -XL3, 16 -X
  u16 ToolchainVariant = 0;                 // 3 after -XM3
  u16 MnemonicSet = 0xFFFF;                 // 0 Intel first, 1 Zilog only, 0xFFFF by processor
  u32 SymbolBlockSetting = 0x10000;         // -B first value x 64
  u32 SymbolBlockLimit = 4;                 // 1 MB name blocks allowed
  u32 MacroStoreUnits = 2048;               // -B second value x 64, at least 192
  u16 SubProcessKbytes = 0;                 // -S value x 64, shown by the banner
  std::string KeyPlaybackFile;              // -KEY
  std::string KeyRecordFile;                // -LOG
  u16 KeyPlayback = 0;                      // 1: -KEY given
  u16 KeyRecord = 0;                        // 1: -LOG given
  u16 StartedBySetup = 0;                   // -Q
  u16 NoMonitorMode = 0;                    // 1 after -!, 2 after -!L
  u16 NoMonitorOption = 0;                  // bit 0: -!T
  u16 BootSwitchB = 0;                      // -!B
  u16 StepModeFlag = 1;                     // -SP sets, -ST clears: source steps over calls by running them
  u16 TsukaKeys = 0;                        // -TSUKA: the key-map variant
  u16 RunSetupDone = 0;                     // bit 0: -!R, the one-time run set-up is skipped
  u16 StartupFlag = 0;                      // set by -! for the emulator start-up
  char ProgramFolder[kProgramFolderSize]{}; // the program file's folder, left by the window side
};
extern SwitchState Sw;

// Reads the start-up switches from Cmd.SwitchLine (sets AbortFlag, with the
// scanner on the offending switch, when one is illegal).
void cmd_parse_switches();
// The settings that follow from the switches; an illegal switch is reported
// as start-up error 21 and the result is false.
bool cmd_apply_switches();
// LongNames from the environment variable LONGNAME.
void cmd_read_longname();
