// The debug-type readers on any bytes: the input is cut into type records at
// 0xFF bytes and stored as types 512 and up, then every reader walks every
// type and the type-name printer prints it. A record may name others, itself included, in any shape; a reader
// answers, or ends the command that asked (an unwind), and never crashes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_types.h"

namespace {

constexpr u32 kFirstRecord = 512;
constexpr std::size_t kMaxRecords = 64;

// The readers run under a pushed restart point, as a window-side caller runs
// command code: an unwind ends here, quietly. The error that the last walk
// left for the window side is taken first, as the window side takes it once
// it has shown it.
void walk(u32 code) {
  RestartScope scope;
  Co.PendingError = 0;
  try {
    exp_resolve_type(code);
    exp_type_size(code);
    exp_array_count(code);
    exp_element_type(code);
    std::span<const u8> record;
    ExpMemberList members{};
    exp_member_list(code, record, members);
    char name[kCaptureLimit + 1];
    con_capture_begin(name);
    fmt_print_type_name_of(code);
    con_capture_end();
  } catch (const CommandUnwind&) {
    con_capture_end();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    reset_engine_state();
    return true;
  }();
  (void)ready;
  sym_reset();
  const std::span<const u8> input(data, size);
  u32 count = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= input.size() && count < kMaxRecords; ++i) {
    if (i < input.size() && input[i] != 0xFF) continue;
    sym_type_define_bytes(kFirstRecord + count, input.subspan(start, i - start));
    ++count;
    start = i + 1;
  }
  for (u32 code = 0; code < 256; ++code) walk(code);
  for (u32 code = kFirstRecord; code < kFirstRecord + count; ++code) walk(code);
  return 0;
}
