// Software breakpoints: the table of 63 entries, the commands BP, BE, BD, BC,
// BL and BS, the saved-breakpoint text, and the arming and disarming that run
// control does around every run. Owns BreakTable. An entry's command text and
// the saved text live in the symbol store's name area.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/host/host_types.h"

constexpr std::size_t kBreakSlots = 63;
constexpr u16 kNoSlot = 0xFFFF;
constexpr u16 kBreakNoModule = 0xFFFF;
constexpr u16 kBreakHitEvent = 65;       // stop_number of a hardware break
constexpr std::size_t kLineAddressStep = 256;  // the address list grows by this many elements

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
  u16 module = kBreakNoModule;        // module whose line table holds the address
  u16 line = 0;
  u16 pass_count = 0;            // running; a hit stops when below 2
  u16 initial_pass_count = 0;    // as given; reloaded after every breakpoint stop
  u32 command = 0;               // NameHandle of the command text, 0 none
  std::vector<BreakAddressEntry> line_addresses;  // capacity grows by 256; empty: `address` is armed
};

struct BreakTableState {
  BreakEntry Slots[kBreakSlots]{};
  u16 UsedCount = 0;
  u16 SelectedSlot = kNoSlot;    // chosen by the last brk_find
  u16 StopNumber = 0;            // 0 none, 1..63 a software breakpoint, 65 a hardware break
  u32 SavedBreakText = 0;        // NameHandle of the saved-breakpoint text, 0 none
  u16 LastArmed = kNoSlot;       // the last slot brk_arm handled (kNoSlot: none)
  u16 TemporarySlot = kNoSlot;   // G's temporary entry, kNoSlot none
  u16 TemporaryReached = 0;      // the last evaluation reached the temporary entry
};
extern BreakTableState Brk;

// Start-up values; every address list freed.
void brk_reset();

// Commands.
void brk_cmd_bp();
void brk_cmd_manage();   // BE BD BC BL BS: the letter before the operand cursor chooses

// Table operations for run control and the window side.
u16 brk_find(u32 address);                    // 0: found and deleted (slot selected); 1: not found
void brk_set(u32 address, u32 count, bool has_command);
void brk_delete(u16 slot);
int brk_parse_number_list(u16* out, u16 limit, u16 mode);
void brk_save(bool quiet);
void brk_load_saved();
std::string brk_format_address(u32 address, u16 mode);
void brk_list();
// At program exit: every slot's address list freed.
void brk_exit_cleanup();

// G's temporary breakpoint: the first address makes an enabled entry (count 1,
// no command) in the first free slot; later ones go into its address list.
// False when all 63 slots are used (the temporary break takes no user slot
// then: the caller reports it).
bool brk_temporary_add(u32 address);
void brk_temporary_delete();

// Arming and disarming around a run. brk_arm writes the break instruction at
// every enabled address except `pc`; it returns true when one of them is at
// `pc` (run control then starts by stepping over it). brk_disarm puts every
// saved byte back, from the last armed entry to the first, and evaluates the
// stop at `stop_pc`: returns kBreakGoOn when some address matched and nothing
// was reached (a pass count ran down by one), else kBreakFinal. Sets
// StopNumber / TemporaryReached; reloads the pass counts after a breakpoint
// stop; deletes the temporary entry. `escape`: the user pressed ESC meanwhile.
constexpr u16 kBreakGoOn = 0;
constexpr u16 kBreakFinal = 1;
bool brk_arm(u32 pc);
u16 brk_disarm(u32 stop_pc, bool escape);
