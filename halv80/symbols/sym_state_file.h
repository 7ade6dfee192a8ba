// The saved-state file ZER80.DAT in the current directory: the command-line
// history (its three words and its 1,400-byte ring, the symbol store's second
// work area) and two lists of names kept between runs. Owns SavedState. The
// name handles live in the symbol store, so they name nothing after sym_reset
// until the file is loaded again.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

constexpr std::string_view kStateFileName = "ZER80.DAT";
constexpr std::string_view kMemoFileName = "Memo.QN";

// File layout, little-endian, no header:
//   OFFSET  SIZE  CONTENT
//        0     2  word 1: the history ring's write end
//        2     2  word 2: the history ring's oldest entry
//        4     2  word 3: the history ring's non-empty flag (0 or 1)
//        6   700  first half of the settings block (the history ring)
//      706   700  second half of the settings block
//     1406  rest  the 10 texts of the first list, then the 32 of the #define
//                 list, each ending in a 0; a lone 0 is an empty entry
constexpr std::size_t kStateWordsSize = 6;
constexpr std::size_t kStateSettingsSize = kSymWorkArea2Size;  // 1,400
constexpr std::size_t kStateSettingsHalf = kStateSettingsSize / 2;
constexpr std::size_t kStateFixedSize = kStateWordsSize + kStateSettingsSize;  // 1,406
constexpr std::size_t kStateNamesReadMax = 16384;  // bytes of names the loader reads
constexpr std::size_t kStateFirstListSize = 10;
constexpr std::size_t kStateDefineListSize = 32;
// The longest name either list keeps, without its 0. The function-key texts
// are typed through a 256-byte buffer; and 42 names of this length always fit
// the bytes the loader reads.
constexpr std::size_t kStateNameMax = 255;
static_assert((kStateFirstListSize + kStateDefineListSize) * (kStateNameMax + 1) <= kStateNamesReadMax);

struct SavedState {
  u16 HistoryWriteEnd = 0;  // word 1: where the next history line goes; below 1,400
  u16 HistoryOldest = 0;    // word 2: start of the oldest history line; below 1,400
  u16 HistoryNonEmpty = 0;  // word 3: 1 when the ring holds a line, else 0
  u16 MemoAvailable = 1;    // 0 when Memo.QN could neither be opened nor created
  NameHandle FunctionKeyTexts[kStateFirstListSize]{};  // the first list: typed with Shift+Ctrl+F1..F10; 0 = empty
  NameHandle DefineList[kStateDefineListSize]{};       // the user's #define list; 0 = empty
};
extern SavedState Saved;

// Makes Memo.QN exist in the current directory (Saved.MemoAvailable tells
// whether it does), then reads ZER80.DAT into Saved and the settings block. A
// file shorter than its 1,406-byte fixed part is deleted and nothing changes;
// one that cannot be read at all is left alone. Otherwise its bytes are
// taken as cfg_state_file_apply takes them.
// Without a symbol store (before the first sym_reset) there is nowhere to put
// the settings or the names: only Memo.QN is seen to.
void cfg_state_file_load();
// Takes the bytes of a saved-state file (at least its fixed part): the name
// lists are rebuilt from them: a text that is longer than kStateNameMax or
// cannot be stored leaves that entry and the rest of its list empty. A bad
// file (history words out of range, no name bytes, or texts running past the
// bytes) resets the settings block and the three words to 0 and empties the
// first list; the #define list keeps what was read.
void cfg_state_file_apply(std::span<const u8> image);
// The bytes of the saved-state file for Saved and the settings block: all 10
// entries of the first list, then the #define list up to its first empty
// entry and a 0 for each entry after it. Names are cut to kStateNameMax.
// Empty without a symbol store.
std::vector<u8> cfg_state_file_image();
// Writes cfg_state_file_image to ZER80.DAT, through a temporary file renamed
// over the old one. False (errno set) when the file could not be written:
// the old file stays. Without a symbol store nothing is written, so the file
// on disk is kept (true).
bool cfg_state_file_save();

// Hands the command core the symbol store's set-up and the saved-state file
// (CmdLinks), for the programs that run the whole engine.
void sym_install_links();
