// Variable listings and the print command. Every listed variable becomes an
// item through the same mapping the evaluator uses (a static's location in
// logical form) and goes through fmt_print_variable_line.
#include "halv80/symbols/fmt_variables.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/fmt_value.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_variables.h"
#include "platform/host/host_text.h"

namespace {

constexpr std::size_t kNameBuffer = 1024;

// The item and name of a variable scope record; false for records that are
// no variables or whose type has no size.
bool scope_variable(const ScopeRecord& r, ExprValue& item, char (&name)[kNameBuffer]) {
  const u16 k = r.kind.get();
  if (k < kScopeStatic || k > kScopeOther) return false;
  if (exp_type_size(r.type.get()) == 0) return false;
  item = ExprValue{};
  exp_value_from_scope(item, r);
  if (item.storage_class == kStorageStatic) item.location.set(tgt_to_logical(item.location.get()));
  sym_name_text(r.name.get(), name, sizeof name);
  return true;
}

// The statics of the module holding `address` (blocks are jumped over).
u16 print_module_statics(std::string_view pattern, u32 address) {
  const u16 module = sym_find_scope(0, kScopeModule, address);
  if (module == 0) return 0;
  for (u32 i = module; i < SymScopes.ScopeCount;) {
    const ScopeRecord& r = *sym_scope_record(u16(i));
    const u16 k = r.kind.get();
    if (k == kScopeModule) return 0;
    if (k == kScopeBlock) {
      const u32 link = r.link.get();
      if (link <= i) return 0;  // no later block
      i = link;
      continue;
    }
    ExprValue item;
    char name[kNameBuffer];
    if (k == kScopeStatic && scope_variable(r, item, name) && fmt_print_variable_line(item, pattern, name) == 1)
      return 1;
    ++i;
  }
  return 0;
}

// Every global symbol that has a type of non-zero size. The name is shown
// without the one leading '_' the C compilers put before it, as the
// evaluator finds it.
u16 print_globals(std::string_view pattern) {
  for (u16 i = 0; i < Sym.Count; ++i) {
    const SymRecord* s = sym_record(i);
    if (s == nullptr) break;
    const u32 type = s->type.get();
    if (type == 0 || type == kSymDeleted || exp_type_size(type) == 0) continue;
    std::string_view name = sym_record_name(*s);
    if (name.empty()) continue;
    if (name.front() == '_' && name.size() > 1) name.remove_prefix(1);
    ExprValue item{};
    item.storage_class = kStorageSymbol;
    item.location.set(tgt_to_logical(s->value.get()) & 0xFFFF);
    item.type.set(type);
    if (fmt_print_variable_line(item, pattern, name) == 1) return 1;
  }
  return 0;
}

// The operand of the command: the rest of the line, blanks around it removed.
std::string command_operand() {
  std::string text = Cmd.ScannerCursor != nullptr ? Cmd.ScannerCursor : "";
  if (text.size() > kExpTextSize - 1) text.resize(kExpTextSize - 1);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// The command was typed as VAL (side effects allowed), not as "?".
bool typed_as_val() {
  const char* p = sup_skip_blanks(Cmd.CommandLine);
  return *p != '?';
}

}  // namespace

u16 fmt_print_variable_line(ExprValue& item, std::string_view pattern, std::string_view name) {
  const u16 match = pattern.empty() ? kMatchWildcard : sym_wildcard_match(pattern, name);
  if (match == kMatchNone) return 0;
  if (FmtVal.RowBuilder) {
    fmt_row_variable_line(item, name);
    return match;
  }
  if (FmtVal.CommaMode) {
    con_puts(name);
    con_putc('=');
    fmt_print_value(item, kPrintInline);
    return match;
  }
  if (con_line_break_paged() != 0) return 1;
  fmt_print_type_name(item);
  con_puts(name);
  con_puts(" = ");
  fmt_print_value(item, kPrintFull);
  return match;
}

u16 fmt_print_scope_variables(u16 block, std::string_view pattern, u32 limit) {
  if (block == 0) return 0;
  u16 first = 0, end = 0;
  sym_block_items(u16(block - 1), first, end);
  u32 shown = 0;
  for (u16 i = first; i < end && shown < limit; ++i) {
    const ScopeRecord* r = sym_scope_record(i);
    if (r == nullptr) break;
    ExprValue item;
    char name[kNameBuffer];
    if (!scope_variable(*r, item, name)) continue;
    if (FmtVal.CommaMode && shown != 0) con_putc(',');
    const u16 result = fmt_print_variable_line(item, pattern, name);
    if (result != 0) ++shown;
    if (result == 1) return 1;
  }
  return 0;
}

u16 fmt_list_variables(std::string_view pattern, u32 address) {
  Paging.ListingLineCount = 0;
  const u16 start = Paging.ListingLineCount;
  // The chain of blocks first: printing a value may search the scopes again.
  u16 blocks[kListBlocksMax];
  int count = 0;
  for (u16 b = sym_innermost_scope(address); b != 0 && count < kListBlocksMax; b = sym_next_block(b))
    blocks[count++] = b;
  bool stopped = false;
  for (int i = 0; i < count && !stopped; ++i) stopped = fmt_print_scope_variables(blocks[i], pattern) != 0;
  if (!stopped && !pattern.empty() && (address == Run.Regs.pc || Sw.ToolchainKind == 16)) {
    stopped = print_module_statics(pattern, address) != 0;
    if (!stopped) print_globals(pattern);
  }
  return u16(Paging.ListingLineCount - start);
}

void fmt_cmd_print() {
  const bool side_effects = typed_as_val();
  std::string operand = command_operand();
  Cmd.ScannerCursor = Cmd.CommandLine + std::strlen(Cmd.CommandLine);
  u32 scope = 0;
  if (!exp_command_scope(operand, scope)) {
    cmd_error(kMsgAddress);
    return;
  }
  if (operand.empty()) {
    if (fmt_list_variables("", scope) == 0) cmd_error(kMsgNoVariable);
    return;
  }
  ExprValue item{};
  const u16 abort = exp_evaluate(item, scope, operand, side_effects ? 1 : 0);
  if (abort == 0) {
    if (item.type.get() == kTypeUntyped) item.type.set(kTypeLong);
    fmt_first_item_clear();
    con_putc('\n');
    fmt_print_type_name(item);
    con_putc(' ');
    fmt_print_value(item, kPrintFull);
    con_request_refresh();  // VAL may have changed what the windows show
    return;
  }
  if (abort == kExpTypeStoreFull) {
    cmd_error(kMsgStoreFull);
    return;
  }
  if (abort == kExpSideEffect) {
    cmd_error(kMsgSideEffect);
    return;
  }
  Exp.AbortWord = 0;
  if (fmt_list_variables(operand, scope) == 0) cmd_error(kMsgNoVariable);
}

bool fmt_parameter_list(u32 function_start, u16 frame_base, u16 count, std::size_t width, std::string& out) {
  out.clear();
  if (sym_innermost_scope(function_start) == 0) return false;
  const u16 block = SymScopes.FirstBlock;  // the function's own block
  if (block == 0) return false;
  std::vector<char> buffer(std::min(width, kCaptureLimit) + 1, '\0');
  // the caller may be capturing itself: its capture goes on after this one
  char* const saved_buffer = Scan.CaptureBuffer;
  const std::size_t saved_size = Scan.CaptureSize;
  const u16 saved_count = Scan.CaptureCount;
  const ExpFrameOverride saved_frame = ExpFrame;
  const u16 saved_comma = FmtVal.CommaMode;
  const u16 saved_builder = FmtVal.RowBuilder;
  ExpFrame = ExpFrameOverride{1, frame_base};
  FmtVal.CommaMode = 1;
  FmtVal.RowBuilder = 0;
  con_capture_begin(buffer);
  struct Restore {
    char* buffer;
    std::size_t size;
    u16 count;
    ExpFrameOverride frame;
    u16 comma, builder;
    ~Restore() {
      Scan.CaptureBuffer = buffer;
      Scan.CaptureSize = size;
      Scan.CaptureCount = count;
      ExpFrame = frame;
      FmtVal.CommaMode = comma;
      FmtVal.RowBuilder = builder;
    }
  } restore{saved_buffer, saved_size, saved_count, saved_frame, saved_comma, saved_builder};
  fmt_print_scope_variables(block, "", count);
  con_capture_end();
  out.assign(buffer.data());
  return true;
}
