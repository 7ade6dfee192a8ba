// Command lines as a user types them, into the whole engine through the
// console window side: each input line is typed with its carriage return.
// A line must end in a message, an unwind or a result: never a crash or a
// hang. No emulator is attached, so commands reach no target.
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

namespace {

constexpr std::size_t kMaxLines = 16;
constexpr std::size_t kMaxLine = 300;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static NullStream null_out;
  // the tick clock stands still: start-up's delay calibration ends at once
  static const bool fake_clock = [] {
    host_clock_use_fake(100000);
    return true;
  }();
  (void)fake_clock;
  reset_engine_state();
  ConsoleWindowSide window_side(null_out);
  window_side.Start(" ");
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (std::size_t lines = 0; !rest.empty() && lines < kMaxLines; ++lines) {
    const std::size_t end = rest.find('\n');
    std::string line(rest.substr(0, std::min({end, rest.size(), kMaxLine})));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    // the console types UTF-8; bytes that are no UTF-8 become what the
    // conversion makes of them; a command still busy after its line gets ESC
    window_side.Run(*HostInput::FromText(line + "\n"));
    if (window_side.Closed()) break;
  }
  window_side.Finish();
  reset_engine_state();
  return 0;
}
