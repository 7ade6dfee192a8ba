// The configuration reader on any bytes: a file of them is read as qqn80.cfg.
// It must end with its settings or a start-up error, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "platform/host/host_ui.h"

namespace {

int silent_box(std::string_view, std::string_view, unsigned) { return kBoxAnswerOk; }

// The scratch folder of this process, removed when it ends.
const FuzzScratch& scratch() {
  static const FuzzScratch folder;
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host_set_message_box_sink(silent_box);
  if (scratch().path().empty() || !scratch().write("qqn80.cfg", std::span<const u8>(data, size))) return 0;
  reset_engine_state();
  try {
    cfg_read_config(scratch().path() + "/qqn80.cfg");
  } catch (const CommandUnwind&) {
    // an operand that ends its command: the reader reports it as a bad line
  }
  return 0;
}
