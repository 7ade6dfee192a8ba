// A key journal's playback file on any bytes, played key by key on the
// window side (each step one tick of the timer), and the same bytes as the
// line editor's history ring with any words: the journal's line buffer stays
// terminated inside its 130 bytes, every key is one the file could give, and
// the ring's walks stay inside the ring and the edit buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>

#include "fuzz/fuzz_engine_scratch.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/key_journal.h"
#include "halv80/symbols/sym_state_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const FuzzScratch& dir = fuzz_engine_scratch();
  const FuzzInScratch in_scratch;

  if (dir.write("keys.jnl", std::span<const u8>(data, size))) {
    Sw.KeyPlayback = 1;
    Sw.KeyPlaybackFile = "keys.jnl";
    key_journal_open();
    // every byte is read once; waits are ticks, at most 32,767 of them a line
    for (std::size_t step = 0; step < 4 * size + 64 && key_journal_playing(); ++step) {
      ++Co.Request.key_input;
      key_journal();
      if (std::memchr(Journal.Line, 0, kJournalLineSize) == nullptr) std::abort();
      if (Journal.TypedAt >= kJournalLineSize) std::abort();
    }
    key_journal_close();
  }

  // the bytes as the history ring (no symbol store: the editor's own ring)
  std::memset(Editor.OwnRing, 0, kHistoryRingSize);
  std::memcpy(Editor.OwnRing, data, std::min<std::size_t>(size, kHistoryRingSize));
  Saved.HistoryWriteEnd = size > 1 ? u16(data[0] | data[1] << 8) % (kHistoryRingSize + 8) : 0;
  Saved.HistoryOldest = size > 3 ? u16(data[2] | data[3] << 8) % (kHistoryRingSize + 8) : 0;
  Saved.HistoryNonEmpty = size > 4 ? data[4] & 1 : 0;
  Editor.Browse = kBrowseAtEnd;
  char out[kEditBufferSize];
  for (int i = 0; i < 8; ++i) {
    hist_find("", out, u16(i & 1));
    if (std::memchr(out, 0, sizeof out) == nullptr) std::abort();
  }
  hist_add("D 100");
  Editor.Browse = kBrowseAtEnd;
  if (!hist_find("", out, 1) || std::strcmp(out, "D 100") != 0) std::abort();
  return 0;
}
