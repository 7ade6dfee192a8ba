// Variables by name: the wildcard match of the variable listings and the
// value of a local or static variable in scope at a code address.
#pragma once

#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

// sym_wildcard_match results.
constexpr u16 kMatchNone = 0;
constexpr u16 kMatchEqual = 1;     // equal, the pattern has no wildcard
constexpr u16 kMatchWildcard = 2;  // matched with a wildcard

// '*' matches any run, '?' one character; other characters compare without
// case (ASCII letters).
u16 sym_wildcard_match(std::string_view pattern, std::string_view name);
// The value of the variable `name` in scope at the code address: a local
// first, then a static of the address's module. A register variable has no
// value here (0). The item is loaded (flags 0x80 or 0x40) through the
// evaluator's typed read. 1 found.
u16 sym_variable_value(std::string_view name, ExprValue& out, u32 address);
