// The macro store: every command word, language word and user macro is an
// entry (name, NUL, body, NUL) packed from the start of one text area, with a
// slot array that keeps the entries in descending byte order of their names,
// so that a longer name comes before every shorter name it begins with.
// Entries are always packed without gaps; text above them is temporary
// (loop bodies) and is dropped when a command ends.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

constexpr u16 kMsgMacroInMacro = 4;      // "\n マクロ内でのマクロ定義はできません"
constexpr u16 kMsgKillInMacro = 5;       // "\n マクロ内でのマクロ削除はできません"
constexpr u16 kMsgBuiltinName = 6;       // "\n マクロ名が内部コマンドと重複しています"
constexpr u16 kMsgMacroFull = 9;         // "\n マクロ バッファがいっぱいです"
constexpr u16 kMsgBlockUnclosed = 10;    // "\n マクロ定義が正しく終了していません　｛　｝"
constexpr u16 kMsgMacroNesting = 11;     // "\n マクロが１６レベル以上入れ子になっています"
constexpr u16 kMsgNotDefined = 66;       // " は登録されていません\n"
constexpr u32 kMacroUnitsMax = 0x100000;  // 16 MiB: larger settings are cut to it
constexpr u32 kMacroUnitsMin = 192;       // the smallest the start-up switch gives
constexpr std::size_t kBlockMargin = 80;  // a body stops this far before the text end

struct MacroSlot {
  u32 offset = 0;  // of the entry's name in Text
  u8 builtin = 0;  // 1: a built-in definition (its body is a token)
};

struct MacroStore {
  std::vector<u8> Text;          // the text area
  std::vector<MacroSlot> Slots;  // SlotTotal slots, Count of them used
  u32 SlotTotal = 0;
  u16 Count = 0;
  u32 WritePos = 0;              // next free byte of Text
  u32 EntriesEnd = 0;            // end of the packed entries; temporary text lies above
  u8 Defining = 0;               // 1 while a definition's body is collected
  u32 DefineStart = 0;           // WritePos before that definition
};
extern MacroStore Store;

// Allocates the areas for `units` of 16 bytes (cut to kMacroUnitsMin..Max)
// and empties the store.
void mac_store_setup(u32 units);
// Empties the store (areas zeroed).
void mac_store_clear();
// Frees the areas.
void mac_store_reset();

// The first slot (in slot order) whose name begins `text`, comparing `text`
// upper-cased; -1 when none.
int mac_store_find_prefix(std::string_view text);
// The slot whose name equals `name` (already upper-cased); -1 when none.
int mac_store_find_exact(std::string_view name);
const char* mac_entry_name(int slot);
const char* mac_entry_body(int slot);
bool mac_entry_builtin(int slot);

// Starts a definition of `name` (upper-cased here): fails the command with
// message 6 for a built-in's name and 9 when the slots or the text area are
// full. Returns the offset where the body goes; the store is unchanged until
// mac_store_commit_define.
u32 mac_store_begin_define(std::string_view name);
// The body has been collected (WritePos is past its NUL): the entry takes its
// slot, replacing an entry of the same name, whose text is removed.
void mac_store_commit_define(bool builtin);
// Drops an unfinished definition; WritePos back to where it began.
void mac_store_undo_define();
// Removes the entry in `slot` and closes the gap it leaves.
void mac_store_remove(int slot);
