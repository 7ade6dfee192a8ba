// Variable listings by scope and the "?" / VAL command: the variables of the
// blocks around a code address, the statics of its module and the typed
// globals, each as a console line, an inline item of a backtrace line, or a
// row of the local or watch window.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

constexpr u16 kMsgNoVariable = 74;  // "\n Ｃの変数が見つかりません"
constexpr u16 kMsgSideEffect = 73;  // "\n 副作用のある演算子は使用できません"
// Nested blocks a listing walks at most.
constexpr int kListBlocksMax = 64;

// Lists the variables visible at `address` whose names match `pattern`
// (empty: all): the blocks from the innermost outward; with a pattern and at
// the PC (or with toolchain kind 16) also the module's statics and the typed
// globals. Returns the number of lines printed.
u16 fmt_list_variables(std::string_view pattern, u32 address);
// Prints the variables of block `block` (index + 1) whose names match; in
// comma mode (FmtVal.CommaMode) inline and separated by ',', at most
// `limit` of them. Returns 1 when the listing was stopped.
u16 fmt_print_scope_variables(u16 block, std::string_view pattern, u32 limit = 0xFFFF);
// One variable, when its name matches the pattern: a console line (type
// name, name, " = ", value) after a paging step, an inline "name=value" in
// comma mode, or a row of the row builder. 0 no match; 1 the listing is to
// stop (a paging stop, or a name equal to a pattern without wildcards);
// 2 matched.
u16 fmt_print_variable_line(ExprValue& item, std::string_view pattern, std::string_view name);
// "?" and VAL: print an expression by its type, or list variables.
void fmt_cmd_print();
// The typed parameter list of a backtrace line: the first `count` variables
// of the function that starts at `function_start`, inline and separated by
// ',', frame-relative ones read at `frame_base`; at most `width` characters.
// False (and `out` empty) when the function has no block scope.
bool fmt_parameter_list(u32 function_start, u16 frame_base, u16 count, std::size_t width, std::string& out);
