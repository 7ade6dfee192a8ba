// The watch list that the W and Y commands, the watch key and the watch
// pseudo-key edit, the INS and OPTION commands, and the inspect seam to the
// value display. Owns WatchState and OptionState.
//
// The watch list holds at most 16 entries of 20 bytes. An entry is a memory
// range (kind 0), a variable (kind 1) or a symbol (kind 2); two entries are
// the same when all 20 bytes are (symbols: kind, size, range and name).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kWatchEntriesMax = 16;
constexpr std::size_t kWatchEntrySize = 20;

constexpr u8 kWatchMemory = 0;
constexpr u8 kWatchVariable = 1;
constexpr u8 kWatchSymbol = 2;

// Entry layout:
//   OFFSET SIZE
//        0    1  kind
//        1    1  unit letter of a memory range (B W D ...), storage class of a variable
//        2    2  element size
//        4    4  first address
//        8    4  last address
//       12    4  type code
//       16    4  variable: its frame offset or address; symbol: its name handle
using WatchEntry = std::array<u8, kWatchEntrySize>;

constexpr u16 kMsgWatchFull = 107;       // "\n ウォッチの設定ができません"
constexpr u16 kMsgWatchDuplicate = 50;   // "\n ウォッチ指定が重複しています"

struct WatchState {
  WatchEntry Entries[kWatchEntriesMax]{};
  std::string Names[kWatchEntriesMax];  // the text each entry was made from
  u16 Count = 0;
};
extern WatchState Watch;

struct OptionState {
  u16 RegisterMemoryDisplay = 0;  // OPTION position 2: ON shows the register/memory display
  u16 DisplayAvailable = 0;       // the display word is taken only while this is set
  u16 CodeModelLarge = 0;         // kept here, not set by OPTION
  u16 DataModelLarge = 0;
};
extern OptionState Option;

// What the value display supplies once it is built in: the inspect of the
// word at the code cursor (form 0 the value, 1 what it points at) and the
// value of a text in the scope of an address. Without them the value is
// printed on the console.
struct ValueHooks {
  void (*inspect_at_cursor)(u16 form) = nullptr;
  void (*show_value)(std::string_view text, u32 scope) = nullptr;
};
extern ValueHooks ValueLinks;

void watch_reset();

// Adds a watch: mode 0 the W command's operand, 1 the word at the code
// cursor, 2 `text`. 0 added, 1 not (modes 1 and 2 fail silently).
u16 watch_add(u16 mode, std::string_view text = {});
// The watch key: watch_add(1); a failure is error 4 of kind 1.
void cmd_watch_at_cursor();
// The inspect key (form 0 value, 1 pointer) and the value of a text.
void cmd_inspect_at_cursor(u16 form);
void cmd_show_value(std::string_view text, u32 scope);

void cmd_w();
void cmd_y_delete_watch();
void cmd_ins();
void cmd_option();
