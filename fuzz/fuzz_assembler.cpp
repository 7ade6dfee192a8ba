// The line assembler on any text, for each CPU family and mnemonic set: a
// line assembles to bytes or sets the abort flag, and never crashes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "halv80/engine/asm_z80.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    reset_engine_state();
    return true;
  }();
  (void)ready;
  const std::string_view line(reinterpret_cast<const char*>(data), std::min(size, kCommandLineSize - 1));
  const struct {
    u16 cpu;
    u16 mnemonics;
  } variants[] = {{kCpuZ80, 1}, {kCpu64180, 1}, {kCpuR800, 1}, {kCpu8080, 0}, {kCpu8080, 1}, {kCpuZ80, 0}};
  for (const auto& v : variants) {
    Cfg.CpuType = v.cpu;
    Sw.MnemonicSet = v.mnemonics;
    cmd_set_command_line(line);
    try {
      asm_line(0x1000);
    } catch (const CommandUnwind&) {
    }
  }
  return 0;
}
