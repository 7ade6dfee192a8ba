// Source text on any bytes: lines of a source file asked for in any order,
// in any output mode, through the module's line-offset index. The input is
//   byte 0      bits 0-1 the output mode, bits 2-5 the tab width
//   byte 1      bit k: request k asks for a missing file instead
//   bytes 2-9   the four lines asked for, u16 little endian
//   the rest    the file MAIN.C in the program folder
// A line is delivered or the end is reported; never a crash or an over-read.
// Both files have modules with an index, so random access, the index's
// filling and the missing file's lines beyond its index are all reached.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"

namespace {

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kRequests = 4;
constexpr const char* kFile = "MAIN.C";
constexpr const char* kMissingFile = "GONE.C";
constexpr u32 kFileLines = 100;        // its index: 5 entries
constexpr u32 kMissingFileLines = 40;  // its index: 2 entries

// A module of lines 1..highest with its index.
bool add_module(const char* name, u32 highest) {
  if (sym_begin_module(name) != 0) return false;
  for (u32 line = 1; line <= highest; ++line)
    if (sym_add_line(line, 0x100 + line * 2) != 0) return false;
  sym_end_module();
  sym_finish_modules();
  return true;
}

// The index's entries back to "not known yet": offsets found in one input's
// file mean nothing in the next one's.
void forget_index(const char* name) {
  char query[kModuleNameSize];
  std::snprintf(query, sizeof query, "%s", name);
  if (sym_find_module(query, sizeof query, 0) == nullptr) std::abort();
  for (u32 k = 0; le32* slot = sym_line_index_slot(k); ++k) slot->set(0);
}

// The symbol store with both modules and the scratch folder as the program
// folder, made once per process; the folder is removed at its exit.
struct Program {
  FuzzScratch dir;
  bool ready = false;
  Program() {
    reset_engine_state();
    sym_init();
    if (dir.path().empty() || !add_module(kFile, kFileLines) || !add_module(kMissingFile, kMissingFileLines))
      return;
    std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", dir.system_path().c_str());
    // printed lines go nowhere
    Scan.OutputDiversion = 1;
    Scan.DivertTo = [](void*, u8) {};
    ready = true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Program program;
  if (!program.ready) std::abort();
  if (size < kHeaderSize) return 0;
  if (!program.dir.write(kFile, std::span<const u8>(data + kHeaderSize, size - kHeaderSize))) return 0;
  sym_source_reset();
  forget_index(kFile);
  forget_index(kMissingFile);
  Con.Column = 0;
  SymSource.OutputMode = data[0] & 3;
  Sw.TabWidth = u16(data[0] >> 2 & 15);
  // under a restart point, as the window side asks for lines: an unwind ends here
  RestartScope scope;
  Co.PendingError = 0;
  try {
    for (std::size_t k = 0; k < kRequests; ++k) {
      const u16 line = u16(data[2 + 2 * k] | data[3 + 2 * k] << 8);
      sym_show_source_line((data[1] >> k & 1) ? kMissingFile : kFile, line);
    }
  } catch (const CommandUnwind&) {
  }
  sym_close_source_files();
  return 0;
}
