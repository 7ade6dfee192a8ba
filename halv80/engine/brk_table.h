// Software breakpoints: the table of 63 entries, the commands BP, BE, BD, BC,
// BL and BS, the saved-breakpoint text, and the arming and disarming that run
// control does around every run. Owns BreakTable. An entry's command text and
// the saved text live in the symbol store's name area. Every address in the
// table is physical (banked with memory management); the target is reached
// through the banked accesses, which take physical addresses.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "halv80/symbols/sym_modules.h"  // kNoModule: an address without a source line
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

constexpr std::size_t kBreakSlots = 63;
constexpr u16 kMsgBreakTableFull = 14;  // "\n ブレーク ポイントが設定できません（最大１５ポイント）"
constexpr u16 kNoSlot = 0xFFFF;
constexpr u16 kBreakHitEvent = 65;       // stop_number of a hardware break
constexpr std::size_t kLineAddressStep = 256;  // the address list grows by this many elements
constexpr std::size_t kLineAddressMax = 0xFFFF;  // line_address_count is 16 bits
// The saved-breakpoint text with its NUL is one name-store string: at most
// this many bytes. A table whose text would not fit is not saved.
constexpr std::size_t kSavedBreakTextSize = kSymPageSize - 2;

// BreakState.
constexpr u8 kBreakFree = 0;
constexpr u8 kBreakEnabled = 1;
constexpr u8 kBreakDisabled = 2;

struct BreakAddressEntry {
  u32 address = 0;
  u16 saved_code = 0;
};

struct BreakEntry {
  u32 address = 0;               // physical (banked with memory management)
  u16 saved_code = 0;            // the word read when armed; its low byte goes back
  u8 state = kBreakFree;         // bit 0: enabled
  u16 module = kNoModule;        // module whose line table holds the address
  u16 line = 0;
  u16 pass_count = 0;            // running; a hit stops when below 2
  u16 initial_pass_count = 0;    // as given; reloaded after every breakpoint stop
  u32 command = 0;               // NameHandle of the command text, 0 none
  std::vector<BreakAddressEntry> line_addresses;  // capacity grows by 256; empty: `address` is armed
};

// The saved-breakpoint text is the symbol store's record of it,
// SymStore.SavedBreakpoints: the store's reset forgets it with every other
// handle, and the reset before a program load carries it across.
struct BreakTableState {
  BreakEntry Slots[kBreakSlots]{};
  u16 UsedCount = 0;
  u16 SelectedSlot = kNoSlot;    // chosen by the last brk_find
  u16 StopNumber = 0;            // 0 none, 1..63 a software breakpoint, 65 a hardware break
  u16 LastArmed = kNoSlot;       // the last slot brk_arm handled (kNoSlot: none)
  u32 ArmedPc = 0;               // the pc of the last brk_arm: nothing was written there
  u16 TemporarySlot = kNoSlot;   // G's temporary entry, kNoSlot none
  u16 TemporaryReached = 0;      // the last evaluation reached the temporary entry
};
extern BreakTableState Brk;

// Start-up values; every address list freed.
void brk_reset();

// Commands. Both may end the command (message 133 for an address in the
// monitor's area); every other failure is reported and returns.
void brk_cmd_bp();
void brk_cmd_manage();   // BE BD BC BL BS: the letter before the operand cursor chooses

// Table operations for run control and the window side. Slots are indexes
// 0..62; the user's numbers are slot + 1.
// 0: a user entry held the address; it is deleted and SelectedSlot names its
// slot. 1: none did; SelectedSlot is the first free slot, kNoSlot when all 63
// are used. The temporary entry is never found.
u16 brk_find(u32 address);
// Sets (or replaces in its own slot) the breakpoint at address with the low
// 16 bits of count; has_command: the rest of the scanner's line is its
// command text. Message 14 when all slots are used, 45 when the text can't
// be stored (the breakpoint is set without it). Ends the command for an
// address in the monitor's area.
void brk_set(u32 address, u32 count, bool has_command);
// An enabled entry (the temporary one too) is armed at the physical address:
// its own address, or one of its line addresses when it has them.
bool brk_enabled_at(u32 physical);
// Frees a used slot and its address list; anything else is ignored.
void brk_delete(u16 slot);
// Reads "*" (returns 0) or a list of numbers into out (returns how many).
// Mode 0: breakpoint numbers, each naming a used slot, at most `limit` of
// them; mode 1: numbers 1..limit. Never more than out.size(). Message 13 and
// -1 on any violation.
int brk_parse_number_list(std::span<u16> out, u16 limit, u16 mode);
// Stores the used entries as the saved-breakpoint text. Not quiet (BS): the
// header line, message 34 when nothing is used (the saved text is kept),
// message 45 when the text can't be stored (then there is no saved text).
void brk_save(bool quiet);
// Re-creates the breakpoints of the saved text (BL); message 34 without one.
void brk_load_saved();
// The address as text: mode 0 label or file:line padded to 15 columns (window
// rows); mode 1 a text that BL reads back; mode 2 mode 1 and " (address)".
std::string brk_format_address(u32 address, u16 mode);
// The breakpoint list of BP without operands, paged.
void brk_list();
// At program exit: every slot's address list freed.
void brk_exit_cleanup();

// G's temporary breakpoint: the first address makes an enabled entry (count 1,
// no command) in the first free slot; later ones go into its address list,
// whose first element repeats the entry's own address. It never touches a
// user's entry: when a user breakpoint holds the same address the two entries
// share it for the run (arming saves the byte twice, disarming in reverse
// order puts the original back last). False when all 63 slots are used or the
// address list can't grow; the caller reports it.
bool brk_temporary_add(u32 address);
void brk_temporary_delete();

// Arming and disarming around a run; the table must not change in between.
// `pc` and `stop_pc` are physical, as the table's addresses.
// brk_arm writes the break instruction at every enabled address except `pc`;
// it returns true when one of them is at `pc` (run control then starts by
// stepping over it). brk_disarm puts every written byte back, from the last
// armed entry to the first, and evaluates the stop at `stop_pc`: returns
// kBreakGoOn when some address matched and nothing was reached (a pass count
// ran down by one), else kBreakFinal. StopNumber is the user's breakpoint
// when one with a count below 2 was reached, else the temporary entry's
// number when that was reached (its slot is free again afterwards), else 0;
// TemporaryReached is set when the temporary entry was reached, also together
// with a user's breakpoint at the same address. After any stop that a
// breakpoint caused (or ESC on a counting hit) every enabled entry's pass
// count is reloaded. The temporary entry is deleted. `escape`: the user
// pressed ESC meanwhile.
constexpr u16 kBreakGoOn = 0;
constexpr u16 kBreakFinal = 1;
bool brk_arm(u32 pc);
u16 brk_disarm(u32 stop_pc, bool escape);
