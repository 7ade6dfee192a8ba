// The saved-state file ZER80.DAT on any bytes, loaded from the current
// directory (the scratch folder of this process while a run lasts). A file
// gives a state, is refused and reset, or is deleted when too short. What is
// loaded is saved and loaded again: after one such round, in which the
// #define list ends at its first empty entry, further rounds change nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"

namespace {

// Everything the loader sets: the three words, the settings block and the
// texts of both lists.
std::string state_text() {
  std::string out;
  for (const u16 word : {Saved.HistoryWriteEnd, Saved.HistoryOldest, Saved.HistoryNonEmpty})
    out += std::to_string(word) + " ";
  const u8* settings = sym_store_ptr(kSymWorkArea2);
  out.append(reinterpret_cast<const char*>(settings), kStateSettingsSize);
  char text[kStateNameMax + 1];
  for (const NameHandle name : Saved.FunctionKeyTexts) {
    sym_name_text(name, text, sizeof text);
    out += text;
    out += '\n';
  }
  for (const NameHandle name : Saved.DefineList) {
    sym_name_text(name, text, sizeof text);
    out += text;
    out += '\n';
  }
  return out;
}

// One round: the state is written to the file and read back.
std::string save_and_load() {
  cfg_state_file_save();
  cfg_state_file_load();
  return state_text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& dir = fuzz_engine_scratch();
  static const bool symbols_ready = [] {
    sym_init();
    return true;
  }();
  (void)symbols_ready;
  // the file is read from and written to the current directory
  const FuzzInScratch in_scratch;

  // A reset clears a 1 MiB chunk, so the store is emptied only once
  // the names of earlier runs fill its first page: no run finds it full. The
  // settings block and the lists start empty, whatever the last run left.
  if (SymStore.NamePageCount > 1) sym_reset();
  std::memset(sym_store_ptr(kSymWorkArea2), 0, kStateSettingsSize);
  Saved = SavedState{};
  if (dir.write(kStateFileName, std::span<const u8>(data, size))) {
    // under a restart point, as start-up runs the loader: an unwind ends here
    RestartScope scope;
    Co.PendingError = 0;
    try {
      cfg_state_file_load();
      const std::string once = save_and_load();
      if (save_and_load() != once) std::abort();
    } catch (const CommandUnwind&) {
    }
  }
  return 0;
}
