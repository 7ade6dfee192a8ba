// The configuration reader on any bytes: a file of them is read as qqn80.cfg.
// It must end with its settings or a start-up error, never a crash.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "platform/host/host_file.h"
#include "platform/host/host_ui.h"

namespace {

int silent_box(std::string_view, std::string_view, unsigned) { return kBoxAnswerOk; }

// A scratch folder of this process for the file.
const std::string& file_path() {
  static const std::string path = [] {
    char templ[] = "/tmp/halv80-fuzz-XXXXXX";
    const char* dir = mkdtemp(templ);
    return std::string(dir ? dir : "/tmp") + "/qqn80.cfg";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  host_set_message_box_sink(silent_box);
  if (!host_write_file_atomic(file_path(), std::span<const u8>(data, size))) return 0;
  reset_engine_state();
  try {
    cfg_read_config(file_path());
  } catch (const CommandUnwind&) {
    // an operand that ends its command: the reader reports it as a bad line
  }
  return 0;
}
