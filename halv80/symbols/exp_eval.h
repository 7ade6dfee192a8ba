// The expression evaluator: a precedence-climbing parser over three tables of
// operator handlers, each working on one ExprValue in place. It serves the
// command operands (mode 0, and 1 for the assembler) and the typed C-level
// evaluation (modes 2 and 3). Errors never unwind: they set Exp.AbortWord and
// every parse level returns as soon as it sees it. Owns ExpState; one
// evaluation runs at a time, on a private copy of the text.
#pragma once

#include <cstddef>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "halv80/symbols/sym_modules.h"
#include "platform/host/host_types.h"

// Evaluation modes.
constexpr i16 kExpModeCommand = 0;    // command operands: plain numbers
constexpr i16 kExpModeAssembler = 1;  // operands of the line assembler
constexpr i16 kExpModeTyped = 2;      // typed, no side effects
constexpr i16 kExpModeCall = 3;       // typed, may assign and call target functions

// Abort word values besides 0 (no error).
constexpr u16 kExpSyntax = 1;              // syntax or type error
constexpr u16 kExpSideEffect = 0xFFFE;     // assignment, increment, decrement or call outside mode 3
constexpr u16 kExpFunctionName = 0xFFFD;   // a function parsed as a primary; cleared by a following '('
constexpr u16 kExpTypeStoreFull = 0xFFFF;  // no room for a synthetic type record

// Untyped constant: a number without suffix takes the other operand's type.
constexpr u32 kTypeUntyped = 0xFFFFFFFF;
// Plain codes of the evaluator's own results.
constexpr u32 kTypeInt = 1;
constexpr u32 kTypeLong = 2;
constexpr u32 kTypeUInt = 5;

// Storage classes of an item.
constexpr u8 kStorageComputed = 0;
constexpr u8 kStorageStatic = 3;
constexpr u8 kStorageFrame = 4;
constexpr u8 kStorageRegister = 5;
constexpr u8 kStorageSymbol = 6;

// The text buffer: 1,023 characters and the terminator.
constexpr std::size_t kExpTextSize = 1024;
// Nested parse levels (brackets, prefix operators, right operands) allowed in
// one evaluation; deeper nesting is a syntax error, so that no text can run
// the command stack dry.
constexpr u16 kExpDepthLimit = 64;

struct ExpState {
  char Text[kExpTextSize]{};         // the evaluation's own copy of the text; '?' cuts it for a moment
  char* Cursor = nullptr;            // into Text once an evaluation began; every handler advances it
  u32 ScopeAddress = 0;              // code address whose scope finds locals and statics
  i16 Mode = kExpModeCommand;        // kExpMode...
  u16 AbortWord = 0;                 // 0, or one of the kExp... error values
  u16 Depth = 0;                     // exp_parse calls open at the moment
  char LineFile[kModuleNameSize]{};  // file of the last source-line reference
};
extern ExpState Exp;

// The typed entry: evaluates `text` (after the defined-name expansion) into
// `result` with the scope of `scope_address`, in mode 2 (side_effects 0) or 3
// (side_effects 1). Clears the abort word first, leaves the mode at 0 after.
// Returns the abort word (0 success). A failed target read unwinds.
u16 exp_evaluate(ExprValue& result, u32 scope_address, std::string_view text, u16 side_effects);
// The numeric entry for command operands: evaluates `text` in the current
// mode (0, or 1 for the assembler) with the scope of the PC; `used` is set to
// the characters taken. Clears the abort word first; the caller checks it. A
// text that does not fit the buffer is a syntax error.
u32 exp_eval_number_at_cursor(std::string_view text, std::size_t& used);
// Parses one (sub-)expression at `level` into `item`; returns the abort word.
// On return Exp.Cursor stands on the character that ended it.
u16 exp_parse(ExprValue& item, u16 level);
// The level at which an operator of `precedence` parses its right operand, or
// 0 when it does not bind here. A following '=' (a compound assignment) is
// taken at level 15, or is a syntax error in modes 0 and 1.
u16 exp_binds(ExprValue& item, u16 precedence);
// The common end of the arithmetic operators: `right` holds the result value;
// `left` becomes it (see exp_eval.cpp for the typed rules and the compound
// assignment at level 15).
void exp_combine_result(ExprValue& left, ExprValue& right, u16 level);
// Loads the value of a variable item through the fetch mode of the value
// formatter: flags 0x80 and the scalar, or 0x40 and the address; nothing when
// the item has no value (struct, union, function). Keeps the parser level.
void exp_load_value(ExprValue& item);
// The usual-conversion type of two operand types: the larger code (compared
// as u32); an untyped constant takes the other's type; a plain code of 2 or
// below beats a larger code less than two above it.
u32 exp_result_type(u32 left, u32 right);
