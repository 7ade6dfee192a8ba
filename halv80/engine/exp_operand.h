// Numeric operands of commands. The full expression evaluator reads the same
// entry point; until then this reads one number: a digit string in the
// default radix, or with a radix prefix ("$" hexadecimal, "@" binary, "\"
// octal, "_" and a digit decimal, "0X" hexadecimal), or a character constant
// in apostrophes. A name that is no number is read as a number from its first
// character, so FF is 255 in radix 16.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

struct ExpState {
  i16 AbortWord = 0;  // 0 success; 1 syntax error
};
extern ExpState Exp;

// Evaluates the operand text at *cursor (the operand ends at the end of
// `text`) in the radix `radix`; moves *cursor over what it used and returns
// the value; sets Exp.AbortWord on an error.
u32 exp_eval_number_at_cursor(std::string_view text, std::size_t& used, u16 radix);
