// The interface hardware: its set-up with the probes that find the event and
// trace hardware and measure the emulation memory, the logic configuration
// loaded from beside the program, and the library's initialisation with what
// the configuration file set. Owns EmuHardwareState and the engine's own
// fields of the work area (the library never reads them).
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::string_view kLogicConfigFile = "rz7_00.hwf";
constexpr std::size_t kLogicConfigBlock = 16384;   // bytes handed to _Q_flex_cfg at once
constexpr u8 kLogicFirstBlock = 1;                  // _Q_flex_cfg flags
constexpr u8 kLogicLastBlock = 2;

constexpr u16 kErrLogicConfigFile = 26;             // start-up error: rz7_00.hwf can't be opened
constexpr u16 kMemorySizeProbes = 5;                // 128 KiB doublings tried: size code 0..5
constexpr u32 kMemoryProbeBase = 0x20000;           // first address past the smallest memory

// The engine's fields of the work area, in bytes the library does not use.
// OFFSET                                    WIDTH  MEANING
constexpr std::size_t kWorkRomVoltage = 560;      // u8   3: 3 V emulation ROM; 0: 5 V
constexpr std::size_t kWorkTraceLevel = 561;      // u8   event and trace hardware level 0..2
constexpr std::size_t kWorkMemorySize = 562;      // u8   emulation-memory size code 0..5
constexpr std::size_t kWorkExtClockCopy = 563;    // u8   external-clock register copy
constexpr std::size_t kWorkRom1Type = 564;        // u16  ROM type indices
constexpr std::size_t kWorkRom2Type = 566;        // u16
constexpr std::size_t kWorkMonitorPosition = 568; // u32  emulation-memory position of the monitor
constexpr std::size_t kWorkHardwareFlags = 572;   // u8x3 1, 0, 1
constexpr std::size_t kWorkNmiPin = 575;          // u16  NMI-pin word
constexpr std::size_t kWorkNmiPinSpare = 577;     // u16  0
constexpr std::size_t kWorkRomMask = 579;         // u16  ROM address mask: ~(8 KiB blocks - 1)
constexpr std::size_t kWorkEventEnables = 581;    // u8x3 enable bytes of the three user events
constexpr std::size_t kWorkTimerDefault = 584;    // u32  event timer default
constexpr std::size_t kWorkTraceFlags = 588;      // u16  trace flags word
constexpr std::size_t kWorkEngineFieldsEnd = 590;

constexpr u32 kTimerDefault = 10000;
constexpr u16 kTraceFlagsDefault = 32768;
constexpr u16 kExtClockDefault = 160;               // EXT, when the file never set it
constexpr u8 kExtClockRegisterDefault = 0x20;

struct EmuHardwareState {
  u16 LibraryInitialised = 0;  // the first initialisation of the program run is done
};
extern EmuHardwareState EmuHw;

// Start-up values.
void emu_hardware_reset();

// _Q_if_init, the logic configuration, then the probes: trace level (Run.
// TraceHwLevel) by interface registers 32 and 38, the emulation-memory size
// code (EmuInfo.MemorySizeCode) by writing the complement of a byte at 128 KiB,
// 256 KiB, ... and reading it back. Sets the model number. 0, or 1 when the
// interface did not answer or the logic configuration did not load.
u16 emu_setup_hardware();
// Hands rz7_00.hwf from the program's folder, after its first 0x1A byte, to
// _Q_flex_cfg in blocks of 16 KiB. 0; 2 after start-up error 26 (the file
// can't be opened or read) or when the board refused a block.
u16 emu_load_logic_config();
// Copies the configuration's settings into the work area and initialises
// the library (_Q_init); the monitor area is left disabled. 0, or 1 when the
// library reports a time-out or a failed logic configuration.
u16 emu_init_library();
// The model number VER shows: (level + 1) x 10 + size code (at most 6), less
// 1 without trace hardware and 2 with it.
u16 emu_model_number(u16 level, u16 size_code);
