// The key journal: a playback script that types keys for the user (start-up
// switch -KEY) and a record file that keeps every live key (-LOG). The two
// formats differ: the record holds three bytes a key (flags, key code,
// character) with no separators; the playback file is text, one line each:
//   *TM_MAX n    ticks to wait before each line or code (decimal by default)
//   *TM_KEY n    ticks charged per typed character (decimal by default)
//   *CODE a b c  one key: flags, key code, character (current radix)
//   any other    text typed character by character, then CR
// A recorded key code is one byte, so pseudo-keys (PseudoKey, win_codes.h) cannot
// be recorded. Owns Journal.
#pragma once

#include <cstddef>
#include <string>

#include "platform/host/host_types.h"

constexpr std::size_t kJournalLineSize = 130;  // a playback line holds at most 129 characters

struct KeyJournal {
  int Playback = -1;         // the playback file, -1 none
  int Record = -1;           // the record file, -1 none
  std::string RecordName;    // the record file's name, for its reopen
  i16 Ticks = 0;             // ticks counted since the last key or line
  i16 TmMax = 0;             // *TM_MAX: ticks before each line or code
  i16 TmKey = 0;             // *TM_KEY: ticks per typed character
  u16 LastKeyInput = 0;      // the window side's key-input word at the last look
  char Line[kJournalLineSize]{};  // the line read; also the 3-byte record
  u16 TypedAt = 0;           // next character of the line being typed
  u16 Typing = 0;            // 1 while a text line is being typed
  u16 Written = 0;           // 1: a key was recorded since the last reopen
};
extern KeyJournal Journal;

// Opens the journal files the start-up switches name: recording with an
// empty name or a file that cannot be created is off; playback of a file
// that cannot be opened is off.
void key_journal_open();
// Closes both files (the record file first gets what it holds on disk).
void key_journal_close();
// Closes the record file, as the exit does.
void key_journal_close_record();
bool key_journal_playing();
// Counts the changes of the window side's key-input word into Ticks.
void key_journal_count_ticks();
// One journal step: 1 when a key stands in the key fields (Keys), else 0.
// With playback it yields to the window side while it waits its ticks; with
// live keys it waits once for the window side's key and records it.
u16 key_journal();
