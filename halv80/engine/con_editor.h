// The command-line editor and its history: one line edited in place on the
// console with its keys from key_next (special keys arrive as ESC with a
// command letter), recall by prefix from a 1,400-byte history ring, copy
// from the previous line, and pick lists of history lines or symbol names
// shown by the window side. The ring lives in the symbol store's second work
// area, the one the saved-state file keeps, with its three words in Saved;
// so the history survives a restart. Owns EditorState.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kEditBufferSize = 256;  // a line holds at most 255 characters
constexpr u16 kHistoryRingSize = 1400;
constexpr u16 kBrowseAtEnd = 0xFFFF;          // browse position: the write end

constexpr u16 kEditPreset = 0x01;       // con_edit_line: buf holds a pre-set answer
constexpr u16 kEditCommandLine = 0x80;  // con_edit_line: a plain ESC does not cancel

// EditorState::Recall: what the last CR did when it recalled instead of
// accepting ("!!", "!text"); editing went on in both cases.
constexpr u16 kRecallNone = 0;      // the last key was no such CR
constexpr u16 kRecallFound = 1;     // a line was recalled into the editor
constexpr u16 kRecallNotFound = 2;  // nothing was found: the line stayed, message 1 was raised

struct EditorState {
  u16 Browse = kBrowseAtEnd;      // the line last recalled, or the next symbol index
  u16 CursorAtLineEnd = 0;        // read by con_show_caret
  u8 OwnRing[kHistoryRingSize]{}; // the ring while there is no symbol store
  u8 HeldLead = 0;                // con_edit_putc: a lead byte waiting for its trail
  u16 TooLong = 0;                // 1: the line being typed went past the editor's room
  u16 Recall = kRecallNone;       // kRecall*: set by a recalling CR, cleared by the next key
};
extern EditorState Editor;

// Reads a command line into buf (at least kEditBufferSize bytes): binding
// mode 1 while it edits; the line is kept in the history.
void con_read_command_line(char* buf);
// Edits one line of at most `max` (cut to 255) characters into buf: 1 when
// accepted, 0 when cancelled (ESC outside command-line mode).
u16 con_edit_line(char* buf, u16 max, u16 flags);

// The history ring.
void hist_add(std::string_view line);
// dir 1 older, 0 newer; bit 7 set: symbol names (sym_complete) instead. 1
// when found, the text in out (kEditBufferSize bytes).
u16 hist_find(std::string_view prefix, char* out, u16 dir);
void hist_clear();

// The editor's character output: TAB to the next multiple of 8, a Shift-JIS
// lead byte held until its trail comes.
void con_edit_putc(u8 c);
// Publishes the caret position for the window side.
void con_show_caret();
