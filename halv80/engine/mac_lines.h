// The line source of the command loop and the handling of one line: every
// line (typed, from a macro body, an input file, a breakpoint's command text
// or the built-in feed) passes here before anything executes. A line's first
// word is looked up in the macro store: a command token goes to the
// dispatcher, a language word runs here, any other body is a macro call.
#pragma once

#include <cstddef>

#include "platform/host/host_types.h"

constexpr std::size_t kLineBufferSize = 1024;
constexpr std::size_t kMaxFields = 40;
constexpr std::size_t kMacroArgs = 10;
constexpr u8 kMacroDepthLimit = 16;

constexpr u8 kBreakNone = 0;
constexpr u8 kBreakLevel = 1;  // BREAK: the innermost loop or macro ends
constexpr u8 kBreakAll = 2;    // Esc: every level ends

// One running body: a macro call's, or a loop's.
struct MacroFrame {
  const char* args[kMacroArgs]{};  // %0..%9, nullptr absent
  const char* position = nullptr;  // the next body line
};

struct MacState {
  char LineBuffer[kLineBufferSize]{};   // the line being handled, unchanged
  u16 FeedRunning = 0;      // 1 while the built-in definitions are being fed
  u16 FeedIndex = 0;        // the definition being fed
  u16 FeedStep = 0;         // 0 its "{" line, 1 its body, 2 its "}" line
  u16 CurrentCommand = 0;   // number of the command being run; 0 none
  u16 LineError = 0;        // the abort flag the last line ended with
  u8 Echo = 1;              // 1: macro lines are echoed (SALL 0, LALL 1)
  char FieldBuffer[kLineBufferSize]{};  // the split line's fields
  const char* Fields[kMaxFields]{};     // into FieldBuffer
  i8 FieldCount = 0;        // 0: the line was not split (field 0 is all of it)
  MacroFrame* Frame = nullptr;  // the running body's frame
  u8 Depth = 0;             // bodies being run
  u8 BreakRequest = kBreakNone;
  u8 LanguageWord = 0;      // 1 while a language word runs
  u8 SuppressEchoReturn = 0;  // LOCATE: the next echoed line ends without CR
  u8 BlockReader = 0;       // 1 while a block's lines are read
  u8 IfDepth = 0;           // IF blocks entered and not closed
  u8 IfActive = 0;          // IfDepth, or one below while a branch is skipped
  u16 PendingBreak = 0;     // a breakpoint whose command text is the next line
  const char* WordOperand = "";  // a language word's operand: the rest of field 0
};
extern MacState Mac;

// Sets up the store (its size from the start-up switch) and starts the
// built-in feed with output off.
void mac_load_builtins();
// Called at the restart point after every unwind: an unfinished definition is
// undone, temporary text dropped, and the per-line state put back to rest.
void mac_reset_line_state();
// The next line into LineBuffer: 1 when there is one, 0 when none.
// `block_reader`: a block's line (no "?" erased, KEYIN not replaced).
u16 mac_next_line(bool block_reader = false);
// A block's next line after a continuation prompt "?"; 0 when none.
u16 mac_read_block_line();
// Runs the line in LineBuffer; leaves its error state in LineError.
void cmd_run_line();
void mac_handle_line();
void mac_execute_line();
// Splits LineBuffer into Fields; unterminated quotes or brackets, a dangling
// comma or text after a closed bracket run fail with message 2.
void mac_split_arguments();
// Runs a user macro's body with the current fields as %0..%9.
void mac_call(const char* body);
// Runs the current frame's body line by line. Fails with message 11 at the
// 16th level.
void mac_run_body();
// The frame's next body line, with % substitution, into LineBuffer; 0 at the
// end of the body. A line that would not fit fails with message 2.
u16 mac_next_body_line();
// Reads lines up to the matching "}" into the text area at `dest`; the
// closing line stays in LineBuffer and the fields. Fails with message 10 when
// the lines run out, 9 when the text area is full.
void mac_collect_block(u32 dest);
// "{NAME": a block definition; `text` follows the "{".
void mac_define_block(const char* text);
// KILL (show false) and MLIST NAME (show true).
void mac_kill_or_show(bool show);
void mac_list();
// ".": NAME=value defines a user symbol, NAME=CAN deletes it.
void sym_cmd_dot();
// 1 when `line` (blanks skipped) opens a block: "{", "WHILE{", "DO{", "IF{",
// "}ELSEIF{", "FOR{", "}ELSE{" or "REPEAT{", in any case.
bool mac_opens_block(const char* line);
// The argument text of a field: without its first and last character when it
// starts with "[".
std::size_t mac_unbracket(const char* field, const char** start);
