// Expressions for the data windows and the code window: the scope suffix of a
// command operand, the checks the inspect window makes, an index range, and
// the code window's value display of the word under its cursor.
#pragma once

#include <string>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "platform/host/host_types.h"

// exp_show_value flags: 0 hands the row to the window side (request 1);
// others show it on the status line.
constexpr u16 kShowToWindow = 0;
constexpr u16 kShowResult = 255;
// Source lines searched backwards for a function head.
constexpr u16 kShowHeadLines = 20;

// What the window side copies when it opens an inspect window for the value
// the code window showed (request 1; the texts travel as P3 and P4).
struct InspectRequest {
  u16 Kind = 0;            // 1 plain value, 2 pointer, 3 struct or union, 4 array
  u32 Count = 0;           // members or elements
  ExprValue Item{};        // the expression's item
  u32 MemberInfo[4]{};     // struct: member count, type code, type and name list positions
  u32 ElementSize = 0;
  u32 AreaSize = 0;        // bytes of the item's type
  char Text[200]{};        // the row: " (type)expression = value"
  char Expression[256]{};  // the expression
};

struct ExpShowState {
  u32 InspectScope = 0;    // the code address the inspect window evaluates in
  char ExpressionBuffer[256]{};  // the word the code window acts on
  InspectRequest Request{};
};
extern ExpShowState ExpShow;

// Fills ExpShow.Request for `item`, just printed: its kind, counts and sizes
// from what the print recorded of its first item, `expression` as the
// expression and, when not null, `text` as the row.
void exp_record_inspect_request(const ExprValue& item, std::string_view expression, const char* text);

// Cuts ", address" (a comma outside brackets and quotes, then an address)
// off `operand` and gives the scope address it names; the PC without one.
// False when the address does not evaluate.
bool exp_scope_suffix(std::string& operand, u32& scope);
// The scope of the "?" command: with toolchain kind 16 while the code window
// shows a source file, its line 1's address; else exp_scope_suffix.
bool exp_command_scope(std::string& operand, u32& scope);
// 1 for an expression whose item has no value (struct, union, function; not
// float or double) or holds an array's address; 0 for scalars, pointers and
// invalid expressions. Evaluated without side effects in the inspect scope.
u16 exp_is_expandable(std::string_view expression);
// Evaluates with side effects allowed in the inspect scope, guarded: 1 valid;
// else message 1 through the error poster and 0.
u16 exp_check_expression(std::string_view expression);
// "first" or "first,last": (first, last + 1), or (first, first); needs scalar
// values and last >= first (signed). 0 and message 1 otherwise.
u16 exp_eval_range(std::string_view text, i32& first, i32& last);
// The code window's value display of ExpShow.ExpressionBuffer in `scope`
// (see exp_show.cpp). Returns 255.
u16 exp_show_value(u16 flags, u32 scope);
