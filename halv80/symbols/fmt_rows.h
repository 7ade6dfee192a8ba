// The row models of the inspect, watch and local windows: the rows of typed
// values the windows show, built by the value formatter with its output
// captured into a row, a state record per row (nesting level, expand flags,
// the row's expression), the watch list the watch rows are made from, and
// the expansion states the local window keeps for the last five functions.
// Every evaluation runs guarded, so a failed target read ends only its row.
#pragma once

#include <cstddef>
#include <string_view>

#include "halv80/symbols/exp_value.h"
#include "halv80/symbols/fmt_value.h"
#include "platform/host/host_types.h"

constexpr std::size_t kRowTextSize = 200;
constexpr std::size_t kRowExpressionSize = 256;
constexpr u16 kRowSlots = 160;
constexpr u16 kRowsMax = 159;        // rows built at most
constexpr std::size_t kRowNameExpandMax = 64;  // a name this long or longer does not expand
constexpr u16 kRowNestMax = 15;      // expansion levels below a top-level row
constexpr u16 kLocalCacheEntries = 5;
constexpr u16 kLocalCacheRows = 10;
constexpr u16 kWatchEntriesMax = 16;
constexpr char kWatchUnknown[] = "????";  // a watch out of its range or failed
constexpr char kRowUnreadable[] = "???";  // a child row whose value could not be read

// Row state flags.
constexpr u8 kRowExpandable = 0x80;
constexpr u8 kRowUnreadableFlag = 0x04;
constexpr u8 kRowToggle = 0x02;
constexpr u8 kRowExpanded = 0x01;

// Inspect flags: the kind of the expanded item in the low nibble, a nested
// row, and the nesting level in bits 12-15.
constexpr u16 kInspectNested = 0x80;
constexpr u16 kInspectLevelStep = 0x1000;

struct RowState {
  u8 level;                          // 0 top-level local row, 1 top-level watch row, +1 per expansion
  u8 flags;                          // kRow...
  char expression[kRowExpressionSize];  // the row's expression or name
};
static_assert(sizeof(RowState) == 258);

struct RowTable {
  char Text[kRowSlots][kRowTextSize];
  RowState State[kRowSlots];
  u16 Count;                         // rows built, at most kRowsMax
};

struct LocalCacheEntry {
  u16 function;                      // scope index + 1 of the function
  u16 scroll;                        // the window's scroll position
  u16 caret;                         // and caret row
  struct {
    u8 row;                          // 0 with flags 0 ends the list
    u8 flags;
  } expanded[kLocalCacheRows];
};

// One watch-list entry (made by W, removed by Y).
constexpr u16 kWatchScopeVariable = 1;
constexpr u16 kWatchSymbol = 2;
constexpr u16 kWatchName = 0;        // `name` holds the expression text
struct WatchEntry {
  le32 low;                          // physical code range the entry is valid in
  le32 high;                         // (exclusive)
  le16 element_size;                 // 0 or 0xFFFF: variable, symbol or name; else a memory range's
  le32 index;                        // scope record or symbol index
  le16 kind;                         // kWatch...
  le32 name;                         // NameHandle of the expression text (kWatchName)
};
static_assert(sizeof(WatchEntry) == 20);

struct FmtRowState {
  RowTable Local{};
  RowTable Watch{};
  u16 LocalFunction = 0;             // scope index + 1 of the function last shown; 0 none
  LocalCacheEntry Cache[kLocalCacheEntries]{};
  u16 CacheCount = 0;
  WatchEntry Watches[kWatchEntriesMax]{};
  u16 WatchCount = 0;
  u16 WatchBuilt = 0;                // 1 after the first watch rebuild
  u16 LocalDisplayFlags = 0;         // bit 0: a location prefix before each local row
  // The builder.
  RowTable* Current = nullptr;       // the table rows go into
  u16 Level = 0;                     // level of the rows being built
  u16 Failed = 0;                    // 1 when the last guarded call unwound
};
extern FmtRowState FmtRows;

void fmt_rows_reset();

// Runs `body(context)` guarded: when no restart point is pushed yet, one is
// pushed around it; a failed target read (any command unwind) ends only the
// body. True when it ran through.
bool fmt_guarded_call(void (*body)(void*), void* context);
template <class F>
bool fmt_guarded(F body) {
  return fmt_guarded_call([](void* c) { (*static_cast<F*>(c))(); }, &body);
}

// One local or watch row of a variable (fmt_print_variable_line in builder
// mode), followed by its child rows when it is expanded.
void fmt_row_variable_line(ExprValue& item, std::string_view name);

// Inspect window rows (see exp_show.h for the inspect scope).
void fmt_print_named_value(u16 flags, ExprValue& item, char* out, std::string_view name);
void fmt_print_array_element(u16 flags, ExprValue& item, char* out, i32 index, u32 element_size);
void fmt_print_struct_members(u16 flags, ExprValue& item, char* out, u32 member);
// The expression and row of a child of `item` (an array or pointer of inspect
// kind flags & 0x0F). `expression` (kRowExpressionSize bytes) holds the
// parent's expression and receives element `index`'s: "a[3]", "*p",
// "*(p+3)"; the bracketed index of an array row is taken from `text`.
// `text` (kRowTextSize bytes) holds the row fmt_print_array_element made and
// receives the row as fmt_print_named_value prints it: behind the indent of
// its level for a nested row (kInspectNested), else type, child expression
// and value. False, with both left alone, when the expression does not fit.
bool fmt_build_element_expression(u16 flags, ExprValue& item, char* expression, char* text, i32 index);
// The same for a member row of a struct or union `item`: the member's name
// comes from `text` (the row fmt_print_struct_members made, "  (int )m = 1"),
// the child expression is "s.m", "q->m" for "*q", "(*q)->m" for "**q". False,
// with both left alone, when the row names no member or the expression does
// not fit.
bool fmt_build_member_expression(u16 flags, ExprValue& item, char* expression, char* text);

// Local window.
u16 fmt_local_refresh(u16& scroll, u16& caret);
void fmt_local_row_text(char* out, u16 index);
u16 fmt_local_row_expand(u16 request, u16 index);
// Watch window.
u16 fmt_watch_refresh();
void fmt_watch_row_text(char* out, u16 index);
u16 fmt_watch_row_expand(u16 request, u16 index);
void fmt_watch_remove(u16 entry);
