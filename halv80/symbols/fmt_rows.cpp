// The row models. A row is built by printing into a capture of the row's
// 200-byte text; the value formatter's first-item record then tells whether
// the row can expand (pointer, struct, array) and how its children are made.
// Row states stay at their row positions across rebuilds, so a toggle asked
// for a row takes effect at the next refresh, and the flags of the rows after
// a row that expands or collapses are moved along with them.
#include "halv80/symbols/fmt_rows.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_variables.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_symbols.h"

FmtRowState FmtRows;

namespace {

// What the formatter recorded of a row's item: how its children are made.
struct FirstRecord {
  u16 kind = kFirstNone;
  ExprValue item{};
  u32 member_count = 0;
  u32 element_count = 0;
  u32 element_size = 0;
};

FirstRecord take_first() {
  FirstRecord r;
  r.kind = FmtVal.FirstKind;
  r.item = FmtVal.FirstItem;
  r.member_count = FmtVal.FirstMemberCount;
  r.element_count = FmtVal.FirstElementCount;
  r.element_size = FmtVal.FirstElementSize;
  return r;
}

// A pointer item takes its value first, so that selecting its element reads
// the pointer where it lives.
void load_pointer(ExprValue& item) {
  if ((item.flags & kValueAddress) != 0) return;
  ExprValue probe = item;
  const FmtFetch f = fmt_print_value(probe, kPrintFetch);
  if (f.kind != kFetchAddress) return;
  item = probe;
  item.flags = kValueAddress;
  item.value.set(f.value);
}

bool expandable_kind(u16 kind) { return kind == kFirstPointer || kind == kFirstStruct || kind == kFirstArray; }

// Captures what `print` writes into `text` (kRowTextSize bytes), guarded.
template <class F>
bool capture(char* text, F print) {
  fmt_first_item_clear();
  fmt_capture_reset();
  con_capture_begin(std::span<char>(text, kRowTextSize));
  const bool ok = fmt_guarded(print);
  con_capture_end();
  return ok;
}

void copy_expression(RowState& s, std::string_view text) {
  const std::size_t n = std::min(text.size(), kRowExpressionSize - 1);
  std::memcpy(s.expression, text.data(), n);
  s.expression[n] = '\0';
}

// Row state update when a row of an expandable item is built. Returns the
// marker; `saved` gets the flags of the rows after it when it was just
// expanded (they are cleared, so the children can be built in their place).
char set_state(RowTable& t, u16 row, std::size_t name_length, u8 (&saved)[kRowSlots], bool& saved_taken) {
  RowState& s = t.State[row];
  bool just_expanded = false, just_collapsed = false;
  if ((s.flags & kRowToggle) != 0) {
    s.flags = u8((s.flags ^ kRowExpanded) & ~kRowToggle);
    just_expanded = (s.flags & kRowExpanded) != 0;
    just_collapsed = !just_expanded;
  }
  s.flags = u8((s.flags & ~kRowUnreadableFlag) | kRowExpandable);
  if ((s.flags & kRowExpanded) != 0 && name_length < kRowNameExpandMax) {
    if (just_expanded) {
      std::memset(saved, 0, sizeof saved);
      for (u16 i = u16(row + 1); i < kRowSlots; ++i) {
        saved[i] = t.State[i].flags;
        t.State[i].flags = 0;
      }
      saved_taken = true;
    }
    return '-';
  }
  if ((s.flags & kRowExpanded) != 0) {
    s.flags = u8(s.flags & ~kRowExpanded);  // too long a name to expand
  } else if (just_collapsed) {
    // the rows below that belong to it go; the following ones move up
    u16 end = u16(row + 1);
    while (end < kRowSlots && t.State[end].level > s.level) ++end;
    const u16 removed = u16(end - row - 1);
    if (removed != 0) {
      std::memmove(&t.State[row + 1], &t.State[end], sizeof(RowState) * (kRowSlots - end));
      std::memset(&t.State[kRowSlots - removed], 0, sizeof(RowState) * removed);
    }
  }
  return '+';
}

void restore_saved(RowTable& t, u16 row, u16 children, const u8 (&saved)[kRowSlots]) {
  for (u32 i = u32(row) + 1; i + children < kRowSlots; ++i) t.State[i + children].flags = saved[i];
}

// The expression of element `index` of `expression` (an array or pointer of
// inspect kind flags & 0x0F) into `out` (kRowExpressionSize); false when it
// does not fit. `bracket`: an array element's index as the row shows it.
bool element_expression(u16 flags, std::string_view expression, i32 index, char* out,
                        std::string_view bracket = {}) {
  std::string e;
  const bool plain = fmt_declarator_kind(expression) == 0;
  if ((flags & 0x0F) == kFirstPointer) {
    if (index == 0) {
      e = plain ? "*" + std::string(expression) : "*(" + std::string(expression) + ")";
    } else {
      char number[16];
      sup_sprintf(number, "%ld", u32(index < 0 ? -index : index));
      e = "*(" + std::string(expression) + (index < 0 ? "-" : "+") + number + ")";
    }
  } else {
    char number[16];
    sup_sprintf(number, "[%ld]", u32(index));
    e = plain ? std::string(expression) : "(" + std::string(expression) + ")";
    e += bracket.empty() ? std::string_view(number) : bracket;
  }
  if (e.size() >= kRowExpressionSize) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, e.c_str(), e.size() + 1);
  return true;
}

// The expression of member `member` of `expression`; false when it does not fit.
bool member_expression(std::string_view expression, std::string_view member, char* out) {
  std::string e;
  if (fmt_declarator_kind(expression) == 1) {
    std::string rest(expression.substr(1));
    if (!rest.empty() && rest.front() == '*') e = "(" + rest + ")";
    else e = rest;
    e += "->";
  } else {
    e = std::string(expression) + ".";
  }
  e += member;
  if (e.size() >= kRowExpressionSize) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, e.c_str(), e.size() + 1);
  return true;
}

void build_children(RowTable& t, u16 row, const FirstRecord& parent, std::string_view expression, u16 level);

// Builds the next row of the current table: the text that `print` captures,
// its state at `level` with `expression`, the marker at `marker_at`, and its
// child rows when it is expanded. `child`: a value that cannot be read shows
// "???" and marks the row unreadable.
template <class F>
void add_row(u16 level, std::string_view expression, std::size_t name_length, std::size_t marker_at, bool child,
             F print) {
  RowTable& t = *FmtRows.Current;
  if (t.Count >= kRowsMax) return;
  const u16 row = t.Count;
  char text[kRowTextSize] = {};
  const bool ok = capture(text, print);
  const FirstRecord first = take_first();
  RowState& s = t.State[row];
  s.level = u8(level);
  copy_expression(s, expression);
  u8 saved[kRowSlots];
  bool saved_taken = false;
  bool expanded = false;
  if (ok && expandable_kind(first.kind)) {
    const char marker = set_state(t, row, name_length, saved, saved_taken);
    if (marker_at < std::strlen(text)) text[marker_at] = marker;
    expanded = marker == '-';
  } else {
    s.flags = u8(s.flags & kRowToggle);  // a toggle waits for the row to be expandable
    if (!ok) {
      s.flags |= kRowUnreadableFlag;
      const std::size_t n = std::strlen(text);
      if (child && n >= 3 && std::strcmp(text + n - 3, " = ") == 0 && n + 3 < kRowTextSize)
        std::memcpy(text + n, kRowUnreadable, sizeof kRowUnreadable);
    }
  }
  std::memcpy(t.Text[row], text, kRowTextSize);
  t.Count = u16(row + 1);
  if (!expanded) return;
  if (level < kRowNestMax) build_children(t, row, first, std::string_view(s.expression), u16(level + 1));
  if (saved_taken) restore_saved(t, row, u16(t.Count - row - 1), saved);
}

std::string indent_of(u16 level, u16 top) {
  return std::string(std::size_t(4 + 2 * (level > top + 1 ? level - top - 1 : 0)), ' ');
}

// The level of the top rows of the table being built.
u16 top_level() { return FmtRows.Current == &FmtRows.Watch ? 1 : 0; }

void build_children(RowTable& t, u16 row, const FirstRecord& parent, std::string_view expression, u16 level) {
  const u16 flags = parent.kind;
  std::vector<std::string> expressions;
  std::vector<std::string> names;
  char out[kRowExpressionSize];
  bool fits = true;
  if (parent.kind == kFirstPointer) {
    fits = element_expression(flags, expression, 0, out);
    expressions.emplace_back(out);
  } else if (parent.kind == kFirstArray) {
    const u32 count = std::min<u32>(parent.element_count, kRowsMax);
    for (u32 i = 0; i < count && fits; ++i) {
      fits = element_expression(flags, expression, i32(i), out);
      expressions.emplace_back(out);
    }
  } else {
    std::span<const u8> record;
    ExpMemberList list;
    if (exp_member_list(parent.item.type.get(), record, list)) {
      TypeFieldReader r(record, list.names);
      for (u32 i = 0; i < list.count && i < kRowsMax && fits; ++i) {
        std::span<const u8> name;
        u32 offset = 0;
        u16 bits = 0;
        if (!r.name(name) || !r.position_field(offset, bits)) break;
        names.emplace_back(name.begin(), name.end());
        fits = member_expression(expression, names.back(), out);
        expressions.emplace_back(out);
      }
    }
  }
  if (!fits) {
    // the child expressions would not fit the row state: no expansion
    t.State[row].flags = u8(t.State[row].flags & ~kRowExpanded);
    char* marker = std::strchr(t.Text[row], '-');
    if (marker != nullptr) *marker = '+';
    sup_record_error(kMsgData, 0);
    return;
  }
  const std::string indent = indent_of(level, top_level());
  const std::size_t marker_at = indent.size() + 1;
  for (std::size_t i = 0; i < expressions.size(); ++i) {
    if (t.Count >= kRowsMax) return;
    const std::string& e = expressions[i];
    if (parent.kind == kFirstStruct) {
      add_row(level, e, e.size(), marker_at, true, [&] {
        con_puts(indent);
        ExprValue m = parent.item;
        con_puts("  ");
        if (exp_select_member(m, names[i]) == 0) return;
        fmt_print_type_name(m);
        con_puts(names[i]);
        con_puts(" = ");
        fmt_print_value(m, kPrintFull);
      });
    } else {
      add_row(level, e, e.size(), marker_at, true, [&] {
        con_puts(indent);
        ExprValue element = parent.item;
        if (parent.kind == kFirstPointer) load_pointer(element);
        con_printf("  [%ld] = ", u32(i));
        if (exp_select_element(element, i32(i)) == 0) return;
        fmt_print_value(element, kPrintFull);
      });
    }
  }
}

bool pc_in(const WatchEntry& e) {
  const u32 pc = tgt_to_physical(Run.Regs.pc);
  return pc >= e.low.get() && pc < e.high.get();
}

// The item and name of a watch entry made from a scope record or symbol.
bool watch_item(const WatchEntry& e, ExprValue& item, std::string& name) {
  char text[1024];
  item = ExprValue{};
  if (e.kind.get() == kWatchScopeVariable) {
    const ScopeRecord* r = sym_scope_record(u16(e.index.get()));
    if (r == nullptr) return false;
    exp_value_from_scope(item, *r);
    if (item.storage_class == kStorageStatic) item.location.set(tgt_to_logical(item.location.get()));
    sym_name_text(r->name.get(), text, sizeof text);
    name = text;
    return true;
  }
  const SymRecord* s = sym_record(u16(e.index.get()));
  if (s == nullptr) return false;
  item.storage_class = kStorageSymbol;
  item.location.set(tgt_to_logical(s->value.get()) & 0xFFFF);
  item.type.set(s->type.get());
  name = sym_record_name(*s);
  if (name.size() > 1 && name.front() == '_') name.erase(0, 1);
  return true;
}

void watch_row(u16 number, const WatchEntry& e) {
  char head[8];
  sup_sprintf(head, "%2d| ", number);
  const std::string head_text = head;
  const u16 size = e.element_size.get();
  if (size != 0 && size != 0xFFFF) {
    // a memory range: the memory display's line of it, in its element size
    add_row(1, "", 0, 3, false, [&] {
      con_puts(head_text);
      mem_dump_lines(e.low.get(), e.high.get(), size);
    });
    return;
  }
  std::string name;
  ExprValue item{};
  bool have = false;
  u32 scope = Run.Regs.pc;
  if (e.kind.get() == kWatchScopeVariable || e.kind.get() == kWatchSymbol) {
    have = watch_item(e, item, name) && pc_in(e);
    scope = e.low.get();  // the frame is the one of the function holding the range
  } else {
    char text[kRowExpressionSize];
    sym_name_text(e.name.get(), text, sizeof text);
    name = text;
    have = true;
  }
  const bool by_name = e.kind.get() == kWatchName;
  const u32 saved_scope = Exp.ScopeAddress;  // a failed read skips the rest of the row
  add_row(1, name, name.size(), 3, false, [&] {
    con_puts(head_text);
    ExprValue v = item;
    if (by_name) have = exp_evaluate(v, scope, name, 0) == 0;
    else Exp.ScopeAddress = scope;
    if (!have) {
      Exp.AbortWord = 0;
      con_puts(name);
      con_puts(" = ");
      con_puts(kWatchUnknown);
      return;
    }
    fmt_print_type_name(v);
    con_puts(name);
    con_puts(" = ");
    fmt_print_value(v, kPrintFull);
  });
  Exp.ScopeAddress = saved_scope;
}

u16 row_flags(RowTable& t, u16 request, u16 index) {
  if (index >= kRowSlots) return 0;
  RowState& s = t.State[index];
  if (request == 0) return s.flags;
  if ((s.flags & kRowExpandable) == 0) return 0;
  if ((s.flags & kRowUnreadableFlag) != 0 && (s.flags & kRowExpanded) == 0) return 0;
  s.flags |= kRowToggle;
  return 1;
}

void row_text(const RowTable& t, char* out, u16 index, std::size_t limit) {
  if ((index & 0x8000) != 0) {
    const u16 i = index & 0x7FFF;
    if (i < kRowSlots) std::strncpy(out, t.State[i].expression, kRowExpressionSize - 1);
    else out[0] = '\0';
    if (i < kRowSlots) out[kRowExpressionSize - 1] = '\0';
    return;
  }
  if (index >= t.Count) {
    out[0] = '\0';
    return;
  }
  std::memcpy(out, t.Text[index], limit);
  out[limit] = '\0';
}

class BuilderScope {
 public:
  explicit BuilderScope(RowTable& t) : saved_current_(FmtRows.Current), saved_builder_(FmtVal.RowBuilder) {
    FmtRows.Current = &t;
    FmtVal.RowBuilder = 1;
  }
  ~BuilderScope() {
    FmtRows.Current = saved_current_;
    FmtVal.RowBuilder = saved_builder_;
  }
  BuilderScope(const BuilderScope&) = delete;
  BuilderScope& operator=(const BuilderScope&) = delete;

 private:
  RowTable* saved_current_;
  u16 saved_builder_;
};

}  // namespace

void fmt_rows_reset() { FmtRows = FmtRowState{}; }

bool fmt_guarded_call(void (*body)(void*), void* context) {
  FmtRows.Failed = 0;
  const char* saved_cursor = Cmd.ScannerCursor;
  try {
    if (Co.RestartPushed != 0) {
      body(context);  // an active guard is reused
    } else {
      RestartScope guard;
      body(context);
    }
    return true;
  } catch (const CommandUnwind&) {
    FmtRows.Failed = 1;
    Cmd.ScannerCursor = saved_cursor;
    return false;
  }
}

void fmt_row_variable_line(ExprValue& item, std::string_view name) {
  if (FmtRows.Current == nullptr) return;
  const bool with_location = FmtRows.Current == &FmtRows.Local && (FmtRows.LocalDisplayFlags & 1) != 0;
  ExprValue v = item;
  add_row(FmtRows.Level, name, name.size(), 1, false, [&] {
    con_puts("  ");
    if (with_location) {
      const i32 offset = i32(v.location.get());
      if (v.storage_class == kStorageFrame) {
        if (offset < 0) con_printf("[FP-%04lx] ", u32(-offset));
        else con_printf("[FP+%04lx] ", u32(offset));
      } else if (v.storage_class == kStorageRegister) {
        const u32 r = v.location.get();
        con_printf("[%7s] ", r < u32(kRegCount) ? RegisterTable[r].name : "?");
      } else {
        con_printf("[%04x   ] ", v.location.get());
      }
    }
    con_puts(name);
    con_puts(" = ");
    fmt_print_value(v, kPrintFull);
  });
}

// --- Inspect rows ------------------------------------------------------------

void fmt_print_named_value(u16 flags, ExprValue& item, char* out, std::string_view name) {
  if ((flags & kInspectNested) != 0) {
    const std::string indent(std::size_t(4 + 2 * (flags / kInspectLevelStep)), ' ');
    std::string text = indent + out;
    text.resize(std::min(text.size(), kRowTextSize - 1));
    std::memcpy(out, text.c_str(), text.size() + 1);
    return;
  }
  if (flags == 0) {
    item = ExprValue{};
    if (exp_evaluate(item, ExpShow.InspectScope, name, 0) != 0) {
      Exp.AbortWord = 0;
      out[0] = '\0';
      return;
    }
  }
  if (capture(out, [&] {
        con_putc(' ');
        fmt_print_type_name(item);
        con_puts(name);
        con_puts(" = ");
        fmt_print_value(item, kPrintFull);
      }))
    exp_record_inspect_request(item, name, out);
}

void fmt_print_array_element(u16 flags, ExprValue& item, char* out, i32 index, u32 element_size) {
  ExprValue e = item;
  if ((flags & 0x0F) == kFirstPointer) {
    load_pointer(e);
    if (exp_select_element(e, 0) == 0) {
      out[0] = '\0';
      return;
    }
    element_size = exp_type_size(e.type.get());
  }
  e.location.set(e.location.get() + u32(index) * element_size);
  if ((flags & 0x0F) != kFirstPointer) {
    e.type.set(exp_element_type(item.type.get()));
    e.flags = 0;
    e.bit_field.set(0);
  }
  if (capture(out, [&] {
        con_printf("  [%ld] = ", u32(index));
        fmt_print_value(e, kPrintFull);
      }))
    exp_record_inspect_request(e, {}, out);
}

void fmt_print_struct_members(u16, ExprValue& item, char* out, u32 member) {
  std::span<const u8> record;
  ExpMemberList list;
  out[0] = '\0';
  if (!exp_member_list(item.type.get(), record, list) || member >= list.count) return;
  TypeFieldReader r(record, list.names);
  std::span<const u8> name;
  for (u32 i = 0; i <= member; ++i) {
    u32 offset = 0;
    u16 bits = 0;
    if (!r.name(name) || !r.position_field(offset, bits)) return;
  }
  const std::string member_name(name.begin(), name.end());
  ExprValue m = item;
  if (exp_select_member(m, member_name) == 0) return;
  if (capture(out, [&] {
        con_puts("  ");
        fmt_print_type_name(m);
        con_puts(member_name);
        con_puts(" = ");
        fmt_print_value(m, kPrintFull);
      }))
    exp_record_inspect_request(m, member_name, out);
}

namespace {

// The index in brackets at the start of an element row ("  [3] = ..."),
// after its line breaks and blanks; empty when the row has none.
std::string_view row_element_bracket(std::string_view row) {
  const std::size_t start = row.find_first_not_of("\n ");
  if (start == std::string_view::npos || row[start] != '[') return {};
  const std::size_t close = row.find(']', start);
  if (close == std::string_view::npos) return {};
  return row.substr(start, close - start + 1);
}

// The member's name in a member row: after its line breaks and blanks and a
// parenthesised type name, up to the blank and '=' that follow it.
std::string_view row_member_name(std::string_view row) {
  std::size_t p = row.find_first_not_of("\n ");
  if (p == std::string_view::npos) return {};
  if (row[p] == '(') {
    int depth = 0;
    for (; p < row.size(); ++p) {
      if (row[p] == '(') ++depth;
      if (row[p] == ')' && --depth == 0) break;
    }
    if (p >= row.size()) return {};  // the type name never closes
    ++p;
  }
  const std::size_t end = row.find(" =", p);
  if (end == std::string_view::npos) return {};
  return row.substr(p, end - p);
}

// The child's expression into `expression` and its row into `text`: a nested
// row keeps its text behind the indent of its level; any other row is printed
// afresh for the child item (when it could be selected) under the child's
// expression.
void finish_child_row(u16 flags, ExprValue& child, bool selected, char* expression, const char* built,
                      char* text) {
  std::memcpy(expression, built, std::strlen(built) + 1);
  if ((flags & kInspectNested) != 0 || selected) fmt_print_named_value(flags, child, text, built);
}

}  // namespace

bool fmt_build_element_expression(u16 flags, ExprValue& item, char* expression, char* text, i32 index) {
  const std::string parent(expression, strnlen(expression, kRowExpressionSize - 1));
  const std::string row(text, strnlen(text, kRowTextSize - 1));
  char built[kRowExpressionSize];
  if (!element_expression(flags, parent, index, built, row_element_bracket(row))) return false;
  ExprValue child = item;
  bool selected = false;
  // a pointer is read where it lives: a failed read leaves the row as it is
  if ((flags & kInspectNested) == 0)
    fmt_guarded([&] {
      if ((flags & 0x0F) == kFirstPointer) load_pointer(child);
      selected = exp_select_element(child, index) != 0;
    });
  finish_child_row(flags, child, selected, expression, built, text);
  return true;
}

bool fmt_build_member_expression(u16 flags, ExprValue& item, char* expression, char* text) {
  const std::string parent(expression, strnlen(expression, kRowExpressionSize - 1));
  const std::string row(text, strnlen(text, kRowTextSize - 1));
  const std::string member(row_member_name(row));
  char built[kRowExpressionSize];
  if (member.empty() || !member_expression(parent, member, built)) return false;
  ExprValue child = item;
  const bool selected = (flags & kInspectNested) == 0 && exp_select_member(child, member) != 0;
  finish_child_row(flags, child, selected, expression, built, text);
  return true;
}

// --- Local window ------------------------------------------------------------

u16 fmt_local_refresh(u16& scroll, u16& caret) {
  if (((Run.ExecutionState & kExecRunning) != 0) || (Sw.NoMonitorMode & 1) != 0) return 0;
  RowTable& t = FmtRows.Local;
  const u32 pc = Run.Regs.pc;
  const u16 innermost = sym_innermost_scope(pc);
  const u16 function = innermost != 0 ? SymScopes.FirstBlock : 0;
  if (function != FmtRows.LocalFunction) {
    // the cache entry of the function last shown is replaced by its state now
    LocalCacheEntry* cache = FmtRows.Cache;
    for (u16 i = 0; i < FmtRows.CacheCount; ++i) {
      if (cache[i].function != FmtRows.LocalFunction) continue;
      std::memmove(&cache[i], &cache[i + 1], sizeof(LocalCacheEntry) * (FmtRows.CacheCount - i - 1));
      --FmtRows.CacheCount;
      break;
    }
    LocalCacheEntry entry{};
    entry.function = FmtRows.LocalFunction;
    entry.scroll = scroll;
    entry.caret = caret;
    u16 kept = 0;
    for (u16 r = 0; r < t.Count && kept < kLocalCacheRows; ++r) {
      if ((t.State[r].flags & 0x7F) == 0) continue;
      entry.expanded[kept].row = u8(r);
      entry.expanded[kept].flags = t.State[r].flags;
      ++kept;
    }
    if (FmtRows.LocalFunction != 0 && (kept != 0 || scroll != 0)) {
      const u16 moved = std::min<u16>(FmtRows.CacheCount, kLocalCacheEntries - 1);
      std::memmove(&cache[1], &cache[0], sizeof(LocalCacheEntry) * moved);
      cache[0] = entry;
      FmtRows.CacheCount = u16(moved + 1);
    }
    std::memset(t.State, 0, sizeof t.State);
    scroll = 0;
    caret = 0;
    for (u16 i = 0; i < FmtRows.CacheCount; ++i) {
      if (cache[i].function != function || function == 0) continue;
      for (const auto& pair : cache[i].expanded)
        if (pair.flags != 0 && pair.row < kRowSlots) t.State[pair.row].flags = pair.flags;
      scroll = cache[i].scroll;
      caret = cache[i].caret;
      break;
    }
    FmtRows.LocalFunction = function;
  }
  BuilderScope builder(t);
  FmtRows.Level = 0;
  t.Count = 0;
  u16 blocks[kListBlocksMax];
  int count = 0;
  for (u16 b = innermost; b != 0 && count < kListBlocksMax; b = sym_next_block(b)) blocks[count++] = b;
  const u32 saved_scope = Exp.ScopeAddress;
  Exp.ScopeAddress = pc;
  for (int i = 0; i < count; ++i) fmt_guarded([&] { fmt_print_scope_variables(blocks[i], ""); });
  Exp.ScopeAddress = saved_scope;
  return t.Count;
}

void fmt_local_row_text(char* out, u16 index) { row_text(FmtRows.Local, out, index, kRowTextSize - 1); }

u16 fmt_local_row_expand(u16 request, u16 index) { return row_flags(FmtRows.Local, request, index); }

// --- Watch window ------------------------------------------------------------

u16 fmt_watch_refresh() {
  RowTable& t = FmtRows.Watch;
  if ((Sw.NoMonitorMode & 1) != 0) return 0;
  if (((Run.ExecutionState & kExecRunning) != 0)) {
    const char* message = sup_load_message(kMsgTargetRunning);
    if (*message == '\n') ++message;
    std::strncpy(t.Text[0], message, kRowTextSize - 1);
    t.Text[0][kRowTextSize - 1] = '\0';
    t.Count = 1;
    return 1;
  }
  if (FmtRows.WatchBuilt == 0) {
    for (RowState& s : t.State) s.flags = 0;
    FmtRows.WatchBuilt = 1;
  }
  BuilderScope builder(t);
  FmtRows.Level = 1;
  t.Count = 0;
  for (u16 i = 0; i < FmtRows.WatchCount && i < kWatchEntriesMax && t.Count < kRowsMax; ++i)
    watch_row(u16(i + 1), FmtRows.Watches[i]);
  return t.Count;
}

void fmt_watch_row_text(char* out, u16 index) { row_text(FmtRows.Watch, out, index, kRowTextSize - 1); }

u16 fmt_watch_row_expand(u16 request, u16 index) { return row_flags(FmtRows.Watch, request, index); }

void fmt_watch_remove(u16 entry) {
  RowTable& t = FmtRows.Watch;
  // the top-level rows are those at level 1, one per entry in order
  u16 top = 0, first = 0xFFFF, end = t.Count;
  for (u16 r = 0; r < t.Count; ++r) {
    if (t.State[r].level != 1) continue;
    if (top == entry) first = r;
    else if (top == entry + 1) {
      end = r;
      break;
    }
    ++top;
  }
  if (first == 0xFFFF) return;
  const u16 removed = u16(end - first);
  std::memmove(&t.Text[first], &t.Text[end], kRowTextSize * (kRowSlots - end));
  std::memmove(&t.State[first], &t.State[end], sizeof(RowState) * (kRowSlots - end));
  std::memset(&t.Text[kRowSlots - removed], 0, kRowTextSize * removed);
  std::memset(&t.State[kRowSlots - removed], 0, sizeof(RowState) * removed);
  t.Count = u16(t.Count - std::min(t.Count, removed));
}
