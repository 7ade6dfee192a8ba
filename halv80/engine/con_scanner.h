// The console sink every handler prints through, the line reader that feeds
// the command loop, and the operand fetchers over ScannerCursor. Every value
// fetcher returns 0 and moves nothing while AbortFlag is set, so a handler may
// fetch all its operands and test AbortFlag once.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kCaptureLimit = 199;  // characters a capture keeps (screen width - 1)

using DiversionSink = void (*)(void* context, u8 c);

struct ScanState {
  u8 ScreenOutput = 1;             // 0: console output is dropped
  u8 LastChar = 0;                 // the last byte that reached the screen
  char* CaptureBuffer = nullptr;   // set: output goes into the caller's buffer
  std::size_t CaptureSize = 0;     // bytes the capture buffer holds
  u16 CaptureCount = 0;            // bytes captured so far
  u16 OutputDiversion = 0;         // 1: output goes to DivertTo (the trace-history text)
  DiversionSink DivertTo = nullptr;
  void* DivertContext = nullptr;
  u16 LongOperands = 0;            // 1: operand values are 32 bits; 0: their low 16 bits
  u16 SizeLetter = 'B';            // unit letter of the current memory command
  u16 PendingAbort = 0;            // an abort asked for by the window side
  u16 Depth = 0;                   // operand scanner: bracket depth
  u16 QuoteOpen = 0;               // operand scanner: inside '...'
  char Previous = 0;               // operand scanner: the previous character
};
extern ScanState Scan;

// The console sink: diversion, capture, the current window, the screen and
// log, the redirect file.
void con_putc(u8 c);
void con_puts(std::string_view text);
// `text` without its first n bytes; a double-byte character cut in half shows
// its second half as a blank.
void con_puts_from_column(std::string_view text, std::size_t n);
// Four blanks, a blank unless `text` begins with "-", then `text`.
void con_put_indented(std::string_view text);
// "%04x " of v (upper-case digits); the second form starts with a line break.
void con_put_hex16(u16 v);
void con_newline_hex16(u16 v);
// Exactly four decimal digits of v (its last four, thousands first) in
// `attribute`; the attribute that was current is restored after them.
void con_put_number4(u16 v, u8 attribute);
// Capture: output collects in `buffer` (at most kCaptureLimit characters and
// the terminator) until con_capture_end, which terminates it.
void con_capture_begin(std::span<char> buffer);
void con_capture_end();

// Reads the next line into CommandLine and points ScannerCursor at it; with no
// line left it unwinds to the restart point.
void con_read_line();
// 1 (and PendingAbort cleared) when Ctrl-C or Esc is pending or an abort was
// asked for; polls the keyboard once.
u16 con_check_abort();
// The next character for a key wait; Ctrl-S pauses until another key.
u8 con_next_input_char();
// Waits for the next key that is not 0 and not Ctrl-C; publishes the caret
// first. A key it returns ends the memory display's continuation.
u8 con_wait_key();

// Advances ScannerCursor over bytes below 0x21 (stops at the end and at 0x80+).
void cmd_skip_blanks();
const char* sup_skip_blanks(const char* text);
// The size kind that the command word carries after its first `base_length`
// letters ("DW": base 1, 'W'; "PIB": base 2, 'B'), through cmd_get_size_letter
// (so the toolchain's substitutions apply): the letter, also left in
// Scan.SizeLetter; 0 when the word has no such letter (SizeLetter unchanged).
// The command word starts the command line and the cursor stands behind it.
u16 cmd_command_size_kind(std::size_t base_length);
// Compares the upper-case `word` with the text at the cursor, ignoring the
// text's case (ASCII); on a match moves past it and returns 0, else returns 1.
u16 cmd_match_keyword(std::string_view word);
// The same on any text: the position after the word, or nullptr.
const char* sup_match_prefix_nocase(std::string_view word, const char* text);
// The operand at the cursor, evaluated: 32 bits.
u32 cmd_get_expression();
// cmd_get_expression cut to 16 bits unless LongOperands.
u32 cmd_get_value();
// An address operand: cmd_get_expression, where (unless LongOperands) a value
// above 0xFFFF is refused, not cut: AbortFlag is set and the result is 0, so
// that the caller reports its address error and writes nothing.
u32 cmd_get_address();
// Skips one "," if present, then cmd_get_address.
u32 cmd_get_address_after_comma();
// The digits of a masked value from `p`, the cursor's place in a writable
// line: hexadecimal (binary after '@', '_' skipped) up to a blank, tab, comma
// or the end; each don't-care 'X' becomes '0' in place. The mask has a 1 for
// every bit that counts; the bits above the digits typed stay 1.
u16 cmd_mask_dont_care_digits(char* p);
u32 cmd_get_value_after_comma();
u32 cmd_get_long_after_comma();
// cmd_get_value in radix 10, unless the operand starts with "!", "$" or "@".
u32 cmd_get_number_decimal();
// A floating-point literal into `out`; a bad one sets AbortFlag.
void cmd_get_float(double& out);
// Takes the unit letter of a memory command into SizeLetter.
void cmd_get_size_letter();
// 1 at the end of the line or at ".".
u16 cmd_at_end();
// One step of the operand scanner for c: false when c stands at top level.
bool cmd_operand_track(char c);
