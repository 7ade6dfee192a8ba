// The window program's @ response file on any bytes: its text is appended to
// the start-up arguments, once to empty arguments and once to arguments so
// long that the input's text runs into their 8,191-byte limit and is cut
// there. No window and no Qt application are made.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/engine_state.h"
#include "halv80/gui/app_main.h"
#include "platform/host/host_ui.h"

namespace {

constexpr std::string_view kFile = "ARGS.RSP";

int silent_box(std::string_view, std::string_view, unsigned) { return kBoxAnswerOk; }

// The scratch folder of this process, with the error boxes silenced.
struct Folder {
  FuzzScratch dir;
  Folder() {
    host_set_message_box_sink(silent_box);
    reset_engine_state();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Folder folder;
  if (folder.dir.path().empty()) std::abort();
  if (!folder.dir.write(kFile, std::span<const u8>(data, size))) return 0;
  // what the argument text left before the response file: nothing, or so
  // much that half the input still fits
  const std::size_t room = std::min(size / 2 + 1, kStartupArgsSize - 1);
  for (const std::size_t before : {std::size_t(0), kStartupArgsSize - 1 - room}) {
    std::memset(Cmd.StartupArgs, 'A', before);
    Cmd.StartupArgs[before] = '\0';
    app_read_response_file(folder.dir.system_path(kFile));
    // terminated inside its field (the field after it would hide an overrun)
    if (strnlen(Cmd.StartupArgs, kStartupArgsSize) == kStartupArgsSize) std::abort();
  }
  return 0;
}
