// The logic configuration rz7_00.hwf on any bytes, read from the program's
// folder and handed block by block through the library to a simulated
// emulator, as the hardware set-up does. The board takes a configuration that
// begins with its magic; so the load must succeed exactly when the bytes
// after the file's first 0x1A begin with it, and fail with start-up error 26
// or the board's refusal otherwise.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/simulated_emulator.h"
#include "platform/device/dev_board.h"
#include "platform/host/host_ui.h"

namespace {

constexpr u8 kMark = 0x1A;  // ends the file's readable head

int silent_box(std::string_view, std::string_view, unsigned) { return kBoxAnswerOk; }

// The simulated emulator with the scratch folder as the program's folder:
// made once per process, taken away at its exit.
struct Board {
  std::unique_ptr<SimulatedDriver> sim;
  FuzzScratch dir;
  bool ready = false;

  Board() {
    host_set_message_box_sink(silent_box);
    reset_engine_state();
    if (dir.path().empty() || !attach_simulated_emulator(sim, DevFixture{})) return;
    std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", dir.system_path().c_str());
    ready = true;
  }
  ~Board() {
    if (sim) stop_simulated_emulator(sim);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Board board;
  if (!board.ready) std::abort();  // the set-up itself failed: nothing would be tested
  const std::span<const u8> input(data, size);
  if (!board.dir.write(kLogicConfigFile, input)) return 0;
  // what a failed load reported last time
  Sup.StartupFailure = 0;
  Startup = StartupState{};
  u16 result = 0;
  {
    // under a restart point, as the hardware set-up runs it: an unwind ends here
    RestartScope scope;
    Co.PendingError = 0;
    try {
      result = emu_load_logic_config();
    } catch (const CommandUnwind&) {
      return 0;
    }
  }

  const auto mark = std::find(input.begin(), input.end(), kMark);
  const auto rest = mark == input.end() ? input.last(0) : input.subspan(std::size_t(mark - input.begin()) + 1);
  const bool magic = rest.size() >= kDevLogicMagic.size() &&
                     std::equal(kDevLogicMagic.begin(), kDevLogicMagic.end(), rest.begin());
  if ((result == 0) != magic) std::abort();
  if (mark == input.end() && Startup.Failed == 0) std::abort();  // no mark: error 26
  return 0;
}
