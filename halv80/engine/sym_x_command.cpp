// X and its dumps. Every line goes through the paged line break, so a long
// listing stops at a page end when the user asks.
#include "halv80/engine/sym_x_command.h"

#include <algorithm>
#include <span>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"

namespace {

constexpr u32 kFirstType = 512;
constexpr std::size_t kTypeBytesShown = 32;

char fold_char(char c, bool fold) { return fold && c >= 'a' && c <= 'z' ? char(c - 32) : c; }

std::string name_of(u32 handle) {
  char text[kCommandLineSize];
  if (handle == 0 || sym_name_text(handle, text, sizeof text) == 0) return {};
  return text;
}

}  // namespace

bool sym_wildcard_match(std::string_view pattern, std::string_view name, bool fold) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || fold_char(pattern[p], fold) == fold_char(name[n], fold))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void sym_list_scopes() {
  for (u16 i = 0; i < SymScopes.ScopeCount; ++i) {
    const ScopeRecord* r = sym_scope_record(i);
    if (r == nullptr) break;
    if (con_line_break_paged()) return;
    con_printf("%4u ", i);
    const u16 kind = u16(r->kind.get() & 0xFF);
    u32 location = r->location.get(), type = r->type.get(), size = r->size.get(), link = r->link.get();
    std::string name = name_of(r->name.get());
    if (kind == kScopeModule) {
      con_puts("t:1        ");
      type = 0;
    } else if (kind == kScopeBlock) {
      con_puts("   t:2     ");
      type = 0;
      name.clear();
    } else if (kind >= kScopeStatic && kind <= kScopeOther) {
      con_printf("       t:%d ", kind);
    } else if (kind == kScopeBlockEnd) {
      con_puts("   t:ff    ");
      location = type = size = link = 0;
      name.clear();
    }
    con_printf("c:%-8lx s:%-4x n:%-5u ", type, size, link);
    con_printf("%08lx %s", location, name);
  }
}

void sym_list_types() {
  for (u32 index = kFirstType; index < kFirstType + Types.SlotCount; ++index) {
    if (con_line_break_paged()) return;
    std::span<const u8> record;
    if (!sym_type_record(index, record)) {
      con_printf("%08lx NULL", index);
      continue;
    }
    con_printf("%08lx %5d", index, u32(record.size()));
    for (std::size_t i = 0; i < std::min(record.size(), kTypeBytesShown); ++i) con_printf(" %02x", record[i]);
    if (record.size() > kTypeBytesShown) con_puts(" ..");
  }
}

void sym_list_lines() {
  const u16 current = SymModules.Current;
  const u16 has_current = SymModules.HasCurrent;
  for (u16 m = 0; m < SymModules.ModuleCount; ++m) {
    const ModuleRecord* module = sym_module_record(m);
    if (module == nullptr) break;
    if (con_line_break_paged()) break;
    con_printf(" %s", name_of(module->file_name.get()));
    SymModules.Current = m;
    SymModules.HasCurrent = 1;
    bool stopped = false;
    for (u32 i = 0; i < module->line_count.get(); ++i) {
      const LineRecord* line = sym_line_record(i);
      if (line == nullptr) break;
      if (con_line_break_paged()) {
        stopped = true;
        break;
      }
      con_printf("\t%08lx %u", line->address.get(), line->line.get() & 0x7FFF);
    }
    if (stopped) break;
  }
  SymModules.Current = current;
  SymModules.HasCurrent = has_current;
}

void sym_cmd_x() {
  if (sym_is_empty()) cmd_message(kMsgNoDebugInfo);
  cmd_skip_blanks();
  Paging.ListingLineCount = 1;
  Paging.ListingStopped = 0;
  if (cmd_match_keyword("%%LOCAL%%") == 0) return sym_list_scopes();
  if (cmd_match_keyword("%%CHAIN%%") == 0) return sym_list_types();
  if (cmd_match_keyword("%%LINE%%") == 0) return sym_list_lines();
  const bool global = cmd_match_keyword("%%GLOBAL%%") == 0;
  cmd_skip_blanks();
  std::string_view pattern(Cmd.ScannerCursor);
  while (!pattern.empty() && static_cast<unsigned char>(pattern.back()) < 0x21) pattern.remove_suffix(1);
  const bool fold = SymFlag.CaseSensitive != 1;
  for (u16 i = 0; i < Sym.Count; ++i) {
    const SymRecord* r = sym_record(i);
    if (r == nullptr) break;
    const char* name = sym_record_name(*r);
    const u32 value = r->value.get();
    if (name == nullptr || name[0] == '\0' || value == kSymDeleted) continue;
    if (!pattern.empty() && !sym_wildcard_match(pattern, name, fold)) continue;
    if (con_line_break_paged()) return;
    if (Cfg.MmuKind != kMmuNone)
      con_printf("%04x (%08lx) %s", tgt_to_logical(value), value, name);
    else
      con_printf("%04lx %s", value, name);
    if (global) con_printf(" CHAIN=%ld(%08lx)", r->type.get(), r->type.get());
  }
}
