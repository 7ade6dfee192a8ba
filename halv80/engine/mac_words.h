// The macro language's screen words and PRINTF: BEL is key_beep (key input).
#pragma once

#include "platform/host/host_types.h"

// PRINTF and PF: a format, then up to ten values (each kept as 16 bits);
// "%s" prints the target's string at the value. An empty format sets AbortFlag.
void macro_printf();
// HOME: the cursor to column 0 of the window's top row.
void mac_word_home();
// LOCATE x,y (decimal by default): the cursor to column x of row top + y; the
// next echoed macro line then ends without its CR.
void mac_word_locate();
// CLS: blanks from the window's top row to the row before its bottom; the
// cursor to column 0 of the top row.
void mac_word_cls();
// The PRINTF format's escapes: \b \n \r \t, "\" with up to three octal digits
// (one byte), "\" with any other character that character. `out` holds
// kLineBufferSize bytes and is always terminated.
void mac_translate_escapes(const char* format, char* out);
// One byte of target memory at the low 16 bits of `address`: the target
// strings of PRINTF.
u8 mac_read_target_byte(u32 address);
