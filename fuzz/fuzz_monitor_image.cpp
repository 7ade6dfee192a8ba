// The monitor program file MON80.QQN on any bytes: its header check, then,
// for a header that passes, the image written into the monitor memory of a
// simulated emulator, as start-up does. Bit 0 of the header's byte 2, which
// the reader skips, picks the configuration: none, or BANK MODE with an NMI
// address and another break byte. A header is refused with its error, or the
// image lands: on the simulated board every write reads back, so a hardware
// error after a good header is a fault of the reader.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "platform/host/host_ui.h"

namespace {

int silent_box(std::string_view, std::string_view, unsigned) { return kBoxAnswerOk; }

// The board of the shipped data files, its library initialised with a logic
// configuration, and a scratch folder for the file: made once per process,
// taken away at its exit.
struct Board {
  DevFixture fixture{};
  std::unique_ptr<SimulatedDriver> sim;
  FuzzScratch dir;
  bool ready = false;

  Board() {
    host_set_message_box_sink(silent_box);
    reset_engine_state();
    if (dir.path().empty() || !attach_simulated_emulator(sim, fixture)) return;
    std::vector<u8> logic(kDevLogicMagic.begin(), kDevLogicMagic.end());
    logic.resize(64, 0);
    if (_Q_flex_cfg(3, logic.data(), u16(logic.size())) != 0) return;
    _Q_init();
    ready = true;
  }
  ~Board() {
    if (sim) stop_simulated_emulator(sim);
  }

  // The configuration's part that the reader reads, as the board's
  // configuration file sets it.
  void configure(bool bank_mode_and_nmi) const {
    cfg_reset();
    emu_boot_reset();
    RomLayout l{};
    l.rom1_type = 2;  // 27256
    l.lrom1_start = fixture.lrom1.start;
    l.lrom1_end = fixture.lrom1.end;
    l.lrom1_offset = fixture.lrom1.offset;
    l.urom1_offset = l.lrom2_offset = l.urom2_offset = 0;
    emu_set_rom_layout(l);
    EmuArea.HandshakeMode = 0;
    if (bank_mode_and_nmi) {
      Cfg.BankModeGiven = 1;
      Cfg.CpuType = kCpuZ80;
      Cfg.NmiAddress = 0x0066;
      Cfg.BreakOpcode = 0xD7;  // RST 10H
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Board board;
  if (!board.ready) std::abort();  // the set-up itself failed: nothing would be tested
  if (!board.dir.write(kMonitorFileName, std::span<const u8>(data, size))) return 0;
  // Byte 2 of the header, which the reader skips, picks the configuration.
  board.configure(size > 2 && (data[2] & 1) != 0);
  const SupFileCloser monitor{sup_file_open(board.dir.system_path(kMonitorFileName), 0)};
  if (monitor.handle == -1) return 0;
  // under a restart point, as start-up runs them: an unwind ends here
  RestartScope scope;
  Co.PendingError = 0;
  try {
    if (emu_check_monitor_header(monitor.handle) == 0 && emu_write_monitor_image(monitor.handle) != 0) std::abort();
  } catch (const CommandUnwind&) {
  }
  return 0;
}
