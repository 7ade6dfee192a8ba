// The primary operands of the evaluator: numbers in several radixes,
// character constants, source-line addresses, frame words, the built-in
// status values, register names, identifiers resolved through the scopes,
// symbols and registers, and the C type names of casts and SIZEOF, which can
// add pointer and array type records on the fly. Every operand is read at
// Exp.Cursor into the caller's item; a failure sets Exp.AbortWord.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

// The characters besides the terminator that end a name or a number. Outside
// toolchain kind 16 a '?' ends a name as well.
constexpr char kExpOperatorChars[] = "+-*/&|!^<>=:().[],% \t";

// Array dimensions one cast declarator may give.
constexpr int kExpCastDimensions = 8;

// Reads one operand at the cursor into `item`.
void exp_primary(ExprValue& item);
// Digits below `radix` (letters of either case above 9) at `cursor`, which is
// moved past them; in radix 16 and 2 a '_' after a digit is skipped. The value
// wraps at 32 bits. No digit at all sets the abort word to 1.
u32 exp_parse_number(const char*& cursor, u16 radix);
// The character constant after the opening apostrophe at the cursor.
u32 exp_char_constant();
// The position of the first character that ends the name at `text`: an
// operator character or the terminator; "::" belongs to the name, and a
// double-byte character is one unit.
const char* exp_token_end(const char* text);
// Register index + 1, with bit 0x1000 for a 16-bit register, of the first
// register table entry named `name` (any case; the alternate set is never
// found); 0 when it is none or longer than 2 characters.
u16 exp_find_register(std::string_view name);
constexpr u16 kExpRegisterWord = 0x1000;
// Parses a source-line reference ("file:line", a line number, or a name with
// an optional "+n" / "-n") at `cursor`, which is moved past it; leaves the
// file in Exp.LineFile and the line in `line`. 0 parsed, 1 bad.
u16 exp_parse_line_spec(const char*& cursor, u16& line);
// The file the code window shows (the current module's, while it shows
// source lines) into `out`; false when it shows none.
bool exp_shown_source_file(char (&out)[kModuleNameSize]);
// Parses a type name and its closing ')' at `text`: on success sets the
// item's type and the flags a value of that type carries (0x80 scalar, 0x40
// pointer, 0 for struct, union, float and double) and returns the position
// after ')'; null when the text is no type name (or the type store is full,
// which also sets the abort word to 0xFFFF).
const char* exp_parse_cast_type(ExprValue& item, const char* text);
// Appends a synthetic type record above the highest defined type slot and
// returns its index; 0 (and abort word 0xFFFF) when there is no room.
u32 exp_add_type_record(std::span<const u8> record);
// Adds the pointer record 'z', kind, 0x83, target: its index, or 0 as above.
u32 exp_make_pointer_type(u32 target, u8 pointer_kind);
