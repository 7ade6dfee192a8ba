// Macro text typed into the whole engine through the console window side:
// block definitions, calls with arguments, control structures, redirect and
// input files, PRINTF. Each input line is typed with its carriage return; a
// line must end in a message, an unwind or a result: never a crash or a hang.
// No emulator is attached. The session works in a scratch folder of its own,
// and every "/", "\\" and ":" of the input becomes "_", so the files that
// ">", ">>", "<" and MLIST > name (directly or through macro arguments) stay
// there; run it with absolute corpus paths, as scripts/fuzz does. After start-up
// the real clock runs, so that a loop that never ends gives the window side
// its turns and is stopped by the ESC typed after its line.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/null_stream.h"
#include "halv80/console/console_window_side.h"
#include "halv80/engine/engine_state.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_input.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

constexpr std::size_t kMaxLines = 24;
constexpr std::size_t kMaxLine = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullStream null_out;
  static ScratchDir folder;
  static const bool in_folder = [] { return chdir(folder.path().c_str()) == 0; }();
  if (!in_folder) return 0;
  // the tick clock stands still for the start-up: its delay calibration ends at once
  host_clock_use_fake(100000);
  reset_engine_state();
  ConsoleWindowSide window_side(null_out);
  window_side.Start(" ");
  host_clock_use_real();
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (std::size_t lines = 0; !rest.empty() && lines < kMaxLines; ++lines) {
    const std::size_t end = rest.find('\n');
    std::string line;
    for (char c : rest.substr(0, std::min({end, rest.size(), kMaxLine})))
      line += (c == '/' || c == '\\' || c == ':') ? '_' : c;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // one line at a time: a block's next line is typed at its "?" prompt,
    // and a command still busy after its line gets ESC
    window_side.Run(*HostInput::FromText(line + "\n"));
    if (window_side.Closed()) break;
  }
  window_side.Finish();
  reset_engine_state();
  return 0;
}
