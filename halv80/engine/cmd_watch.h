// The W and Y commands, the watch key and the watch pseudo-key, which edit
// the watch list; the INS and OPTION commands. Owns OptionState.
//
// The watch list itself is the row model's (FmtRows.Watches, symbols'
// fmt_rows.h): at most 16 entries of 20 bytes; this area adds, finds and
// deletes its entries.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kMsgWatchFull = 107;       // "\n ウォッチの設定ができません"
constexpr u16 kMsgWatchDuplicate = 50;   // "\n ウォッチ指定が重複しています"

struct OptionState {
  u16 RegisterMemoryDisplay = 0;  // OPTION position 2: ON shows the register/memory display
  u16 DisplayAvailable = 0;       // the display word is taken only while this is set
  u16 CodeModelLarge = 0;         // kept here, not set by OPTION
  u16 DataModelLarge = 0;
};
extern OptionState Option;

// Start-up values of the options.
void option_reset();

// Adds a watch: mode 0 the W command's operand, 1 the word at the code
// cursor, 2 `text`. 0 added, 1 not (modes 1 and 2 fail silently).
u16 watch_add(u16 mode, std::string_view text = {});
// The watch key: watch_add(1); a failure is error 4 of kind 1.
void cmd_watch_at_cursor();
// The value of a text in the scope of an address, in the inspect form.
void cmd_show_value(std::string_view text, u32 scope);

void cmd_w();
void cmd_y_delete_watch();
void cmd_ins();
void cmd_option();
