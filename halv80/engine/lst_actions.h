// The code window's actions on the row under its cursor: the cursor row's
// address, the switch between assembly and source view, run to the cursor,
// a breakpoint toggled there, stepping through and choosing source files, the
// word or instruction text under the cursor, and the text search of the code
// window through the window side's search request. Owns LstActionState. They
// run on the command side.
#pragma once

#include <string>

#include "halv80/engine/win_codes.h"
#include "platform/host/host_types.h"

// The module chooser and the search hand the window side arrays of this
// many entries at most.
constexpr std::size_t kChooserModulesMax = 16384;

constexpr u8 kAttrSearchHit = 32;             // the found text

struct LstActionState {
  u16 AsmColumn = 0;          // the cursor's column in an assembly row: 0 address, 5 bytes, 21 mnemonic
  u32 SearchOptions = 0;      // the options of the last search that found something
  u32 LastFoundLine = 0;      // where it found it (command window: log line)
  u16 LastFoundColumn = 0;
  u32 LastViewKey = 0xFFFFFFFF;  // the code pane's top row key at the last search: did the view move?
  // The interactive word picker: the names it left under F1..F10, and the
  // text it last acted on or gave (name-store handles; 0 none).
  u32 PickedNames[10]{};
  u32 LastPickedName = 0;
};
extern LstActionState LstAct;

void lst_actions_reset();

// The address of the cursor row: false when the code window has no cursor.
// Assembly: the row's address, for an instruction row only. Source: the first
// line record at or after the cursor row's line (exact: of that very line).
// A failure beeps when `complain`.
bool cmd_cursor_address(u32& address, bool exact, bool complain);

// To source (mode kListingSource) or to assembly view; nothing when the
// listing is in that mode already. Without at_cursor the view goes to the
// program counter; with it, to the cursor row's place, the cursor at the
// pane's top row.
void lst_toggle_mode(u16 mode, bool at_cursor);

// Runs until the cursor row's address (exact); then the code pane shows the
// program counter and the stop reason. Without a cursor address: error 3 of
// kind 1.
void cmd_run_to_cursor();

// Deletes the breakpoint at the cursor row's address, or sets one (pass count
// 1) when there is none; with 63 in use only a beep. The row shows the result;
// request 7 tells the window side (P1 = 1 set, 0 deleted).
void cmd_toggle_break_at_cursor();

// Source view: the next module's file (after the last, the first).
void cmd_next_source_file();
// The file of module m, unless it is shown already.
void cmd_show_module(u16 m);
// The window side's file chooser (request 2) over the modules sorted by file
// name; a choice shows that file in source view.
void cmd_choose_source_file();

// The word or expression under the cursor of a source row (modes of
// lst_word_in_line): false, with `out` empty, when there is none. With
// kWordSelect the user sizes the selection from the cursor character with
// Left and Right and then acts on it: I inspects it, V shows its value, W
// adds it as a watch, G or Enter give it as the result (only these return
// true), F1..F10 keep it under that key, Esc ends.
constexpr u16 kWordSelect = 2;
bool lst_word_at_cursor(std::string& out, u16 how);
// The text under the assembly cursor of an instruction row: the word at
// AsmColumn; from the mnemonic column on, the mnemonic and its operands up to
// a ';' without blanks or labels. False (and a beep) on any other row.
bool lst_asm_text_at_cursor(std::string& out);

// Searches the code window's text through the window side (request 4) from
// the cursor: again 0 a new search, bit 0 the last search's options again, 3
// the next hit. A hit is brought into view and shown in attribute 32.
void cmd_find_text(u16 again);

// exp_inspect_at_cursor flags: bit 15 says the expression buffer holds the
// text already; the low byte is the value display's mode (0 the window
// side's value window, 1 the status line).
constexpr u16 kInspectBufferFilled = 0x8000;
// Shows the value of the word at the code cursor (or of the expression
// buffer) in the scope of the cursor's function. 0 when there is no word
// (error 2 of kind 1), else the value display's result.
u16 exp_inspect_at_cursor(u16 flags);
// The text as the error the window side shows (error 0 of kind 2).
void cmd_report_text(std::string_view text);
