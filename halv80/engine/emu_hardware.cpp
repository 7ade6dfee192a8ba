// Interface hardware set-up, logic configuration and library initialisation.
#include "halv80/engine/emu_hardware.h"

#include <array>
#include <cstring>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "platform/device/dev_layout.h"
#include "rz7bios/rz7bios.h"

static_assert(kWorkRomVoltage > kWorkDriverMode + 3 && kWorkEngineFieldsEnd <= kWorkStartupSwitch,
              "the engine's fields lie between the library's");

constinit EmuHardwareState EmuHw;

void emu_hardware_reset() { EmuHw = EmuHardwareState{}; }

namespace {

constexpr u8 kRegTraceControl = 55;
constexpr u8 kRegBreakTrace = 54;
constexpr u8 kRegEventProbeLevel1 = 32;
constexpr u8 kRegEventProbeLevel2 = 38;
constexpr u8 kEndOfText = 0x1A;
constexpr u16 kInterfaceAbsent = 255;   // _Q_if_init: no board answered
constexpr u16 kStatusTimeOut = 1;       // work-area status word bits
constexpr u16 kStatusLogicFailed = 2;

BiosWorkArea* work() { return SupHost.BiosWork.get(); }

// An interface register that keeps what is written to it: the complement
// written reads back.
bool register_answers(u8 reg) {
  const u8 before = _Q_rdreg(reg);
  _Q_wrreg1(reg, u8(~before));
  _Q_wait(1);
  const bool answers = _Q_rdreg(reg) == u8(~before);
  _Q_wrreg1(reg, before);
  return answers;
}

// Emulation memory answers at `position`: the complement written reads back.
bool memory_answers(u32 position) {
  const u8 before = emu_rom_read_byte(position);
  emu_rom_write_byte(position, u8(~before));
  _Q_wait(1);
  const bool answers = emu_rom_read_byte(position) == u8(~before);
  if (answers) emu_rom_write_byte(position, before);
  return answers;
}


}  // namespace

u16 emu_model_number(u16 level, u16 size_code) {
  const u16 size = size_code > 6 ? 6 : size_code;
  return u16((level + 1) * 10 + size - (level == 0 ? 1 : 2));
}

u16 emu_setup_hardware() {
  if (!work()) return 1;
  if (_Q_if_init() >= kInterfaceAbsent) return 1;
  if (emu_load_logic_config() != 0) return 1;
  BiosWorkArea& w = *work();

  Run.TraceHwLevel = 0;
  _Q_wrreg0(kRegTraceControl, 0, 2);
  _Q_bt_sel(0);
  _Q_wrreg1(kRegBreakTrace, 64);
  if (register_answers(kRegEventProbeLevel1)) Run.TraceHwLevel = 1;
  if (register_answers(kRegEventProbeLevel2)) Run.TraceHwLevel = 2;
  w.set8<kWorkTraceLevel>(u8(Run.TraceHwLevel));
  w.set8<kWorkBusWidth>(0);
  w.set16<kWorkAreaKind>(kAreaLrom1);

  u16 size_code = 0;
  while (size_code < kMemorySizeProbes && memory_answers(kMemoryProbeBase << size_code)) ++size_code;
  w.set8<kWorkMemorySize>(u8(size_code));
  EmuInfo.MemorySizeCode = size_code;
  EmuInfo.Model = emu_model_number(Run.TraceHwLevel, size_code);
  return 0;
}

u16 emu_load_logic_config() {
  const SupFileCloser file{emu_open_board_file(Startup.LogicConfigFile, sup_path_beside_program(kLogicConfigFile))};
  // Everything up to the first 0x1A is the file's readable head.
  std::array<u8, kLogicConfigBlock> block{};
  i32 got = file.handle == -1 ? -1 : sup_file_read(file.handle, block.data(), u32(block.size()));
  std::size_t start = 0;
  for (;;) {
    if (got <= 0) {  // unreadable, or no 0x1A in the whole file
      emu_startup_error(kErrLogicConfigFile, 0);
      return 2;
    }
    const void* mark = std::memchr(block.data(), kEndOfText, std::size_t(got));
    if (mark != nullptr) {
      start = std::size_t(static_cast<const u8*>(mark) - block.data()) + 1;
      break;
    }
    got = sup_file_read(file.handle, block.data(), u32(block.size()));
  }
  // The data behind the mark: move it to the front and top the block up.
  std::size_t valid = std::size_t(got) - start;
  std::memmove(block.data(), block.data() + start, valid);
  u8 flags = kLogicFirstBlock;
  for (;;) {
    while (valid < block.size()) {
      const i32 more = sup_file_read(file.handle, block.data() + valid, u32(block.size() - valid));
      if (more < 0) {
        emu_startup_error(kErrLogicConfigFile, 0);
        return 2;
      }
      if (more == 0) break;
      valid += std::size_t(more);
    }
    if (valid < block.size()) flags = u8(flags | kLogicLastBlock);
    if (_Q_flex_cfg(flags, block.data(), u16(valid)) != 0) return 2;
    if (flags & kLogicLastBlock) return 0;
    flags = 0;
    valid = 0;
  }
}

u16 emu_init_library() {
  if (!work()) return 1;
  BiosWorkArea& w = *work();
  const RomLayout& l = EmuArea.Layout;
  w.set8<kWorkBusWidth>(u8(Cfg.DataBusWidth));
  w.set16<kWorkRom1Type>(l.rom1_type);
  w.set16<kWorkRom2Type>(Cfg.DataBusWidth == 4 ? l.rom1_type : l.rom2_type);
  w.set32<kWorkMonitorPosition>(l.monitor_code_address - l.lrom1_start + l.lrom1_offset);
  w.set8<kWorkHardwareFlags>(1);
  w.set8<kWorkHardwareFlags + 1>(0);
  w.set8<kWorkHardwareFlags + 2>(1);
  w.set16<kWorkNmiPin>(Cfg.NmiPin);
  w.set16<kWorkNmiPinSpare>(0);
  const u16 blocks = l.rom1_type < kRomTypeCount ? RomTypeTable[l.rom1_type].blocks : 0;
  w.set16<kWorkRomMask>(u16(~blocks));
  w.set8<kWorkRomVoltage>(Cfg.RomVoltage);
  const bool first = EmuHw.LibraryInitialised == 0;
  if (first) {
    for (std::size_t n = 0; n < 3; ++n) w.bytes[kWorkEventEnables + n] = 1;
    w.set32<kWorkTimerDefault>(kTimerDefault);
    w.set16<kWorkTraceFlags>(kTraceFlagsDefault);
    if (Cfg.ExtClock == 0) {
      Cfg.ExtClock = kExtClockDefault;
      w.set8<kWorkExtClockCopy>(kExtClockRegisterDefault);
    } else {
      w.set8<kWorkExtClockCopy>(u8(Cfg.ExtClock));
    }
  }
  w.set16<kWorkStatus>(0);
  _Q_init();
  const u16 status = w.get16<kWorkStatus>();
  if (first) {
    EmuHw.LibraryInitialised = 1;
    // a fresh channel for the monitor to hand its first bytes over
    if ((Sw.NoMonitorOption & 1) == 0) emu_channel_reset();
  }
  emu_program_event(0);
  emu_mon_enable(0);
  return (status & (kStatusTimeOut | kStatusLogicFailed)) != 0 ? 1 : 0;
}
